// The colours the note grid and the control lanes share, so both panes read as one editor.
#pragma once

#include <QColor>

namespace pattern_editor::colors {

inline const QColor kBeatsEven(238, 240, 244);   // beats 0-3, 8-11, ...
inline const QColor kBeatsOdd(224, 228, 236);    // beats 4-7, 12-15, ...
inline const QColor kBlackKeyRow(0, 0, 30, 24);  // laid over a black key's row
inline const QColor kPastEnd(176, 179, 186);     // right of the pattern's last step
inline const QColor kStepLine(0, 0, 0, 16);
inline const QColor kBeatLine(0, 0, 0, 48);
inline const QColor kBarLine(0, 0, 0, 96);
inline const QColor kRowLine(0, 0, 0, 18);
inline const QColor kNote(64, 112, 196);
inline const QColor kNoteEdge(28, 52, 110);
inline const QColor kNoteHover(104, 156, 236);
inline const QColor kNoteSelected(232, 142, 44);
inline const QColor kNoteSelectedEdge(140, 76, 10);
inline const QColor kWhiteKey(250, 250, 250);
inline const QColor kBlackKey(58, 60, 68);
inline const QColor kKeyText(30, 30, 36);
inline const QColor kBlackKeyText(236, 236, 240);
inline const QColor kKeyEdge(150, 152, 160);
inline const QColor kCursor(214, 40, 40);
inline const QColor kRubber(40, 90, 200);
inline const QColor kRubberFill(40, 90, 200, 40);
inline const QColor kHandle(64, 112, 196);
inline const QColor kHandleEdge(28, 52, 110);
inline const QColor kStem(64, 112, 196, 110);
inline const QColor kLaneEdge(120, 124, 134);
inline const QColor kLabelColumn(232, 233, 238);

} // namespace pattern_editor::colors
