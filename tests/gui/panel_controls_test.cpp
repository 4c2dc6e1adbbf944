// The toolkit's drawn controls and windows: size bars, labels, group frames, menu buttons and
// dialogs, and one window showing every standard control for people to look at.
#include "gui/button.h"
#include "gui/color_manager.h"
#include "gui/combo_box.h"
#include "gui/dialog.h"
#include "gui/edit_box.h"
#include "gui/frame.h"
#include "gui/icon_button.h"
#include "gui/icon_list.h"
#include "gui/label.h"
#include "gui/list_box.h"
#include "gui/menu_button.h"
#include "gui/size_bar.h"
#include "gui/tab_control.h"
#include "gui/up_down.h"
#include "platform/error.h"
#include "tests/gui/controls_test_support.h"
#include "tests/gui/gui_test_support.h"

#include <QAction>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QSet>
#include <QTest>

#include <gtest/gtest.h>

namespace {

using gui_test::Rgb;

TEST(SizeBar, DragsWithinTheOwnersLimitsAndTheParent) {
    gui_test::CRecorder window;
    window.Make(300, 200);
    gui::CSizeBar bar;
    bar.CreateSizeBar(&window, gui::SizeBarDirection::kLeftRight, 60, 0, 200, 4);
    bar.Show();
    EXPECT_EQ(bar.Width(), 4);
    EXPECT_EQ(bar.Height(), 200);
    EXPECT_EQ(bar.Widget()->cursor().shape(), Qt::SizeHorCursor);
    // A tenth to nine tenths of the width, as the bank explorer's panes.
    bar.SetLimits(30, 270);
    EXPECT_EQ(bar.Position(), 60);
    QWidget* w = bar.Widget();
    QTest::mousePress(w, Qt::LeftButton, {}, QPoint(2, 50));
    EXPECT_TRUE(bar.HasCapture());
    QTest::mouseMove(w, QPoint(42, 50)); // 40 pixels to the right, measured from the grab point
    EXPECT_EQ(bar.Position(), 100);
    EXPECT_EQ(bar.Y(), 0); // never moves across its direction
    EXPECT_EQ(window.reports, std::vector<std::string>{"changed SizeBar"});
    QTest::mouseMove(w, QPoint(2 + 500, 80));
    EXPECT_EQ(bar.Position(), 270);
    QTest::mouseMove(w, QPoint(2 + 400, 80)); // still beyond: no move, no report
    EXPECT_EQ(window.reports.size(), 2u);
    QTest::mouseMove(w, QPoint(-500, 80));
    EXPECT_EQ(bar.Position(), 30);
    EXPECT_EQ(window.reports.size(), 3u);
    QTest::mouseRelease(w, Qt::LeftButton, {}, QPoint(-500, 80));
    EXPECT_FALSE(bar.HasCapture());
    QTest::mouseMove(w, QPoint(50, 80)); // moving without the button moves nothing
    EXPECT_EQ(bar.Position(), 30);
    EXPECT_EQ(window.reports.size(), 3u);

    // Limits past the parent stop at its far edge; new limits pull the bar in without a report.
    bar.SetLimits(0, 1000);
    bar.SetPosition(5000);
    EXPECT_EQ(bar.Position(), 296);
    bar.SetLimits(10, 20);
    EXPECT_EQ(bar.Position(), 20);
    bar.SetLimits(50, 40); // upside down: held at the maximum
    EXPECT_EQ(bar.Position(), 40);
    EXPECT_EQ(window.reports.size(), 3u);
}

TEST(SizeBar, AnUpDownBarMovesVerticallyAndStopsWhenItLosesTheCapture) {
    gui_test::CRecorder window;
    window.Make(300, 200);
    gui::CSizeBar bar;
    bar.CreateSizeBar(&window, gui::SizeBarDirection::kUpDown, 0, 100, 300, 4);
    bar.Show();
    bar.SetLimits(20, 180);
    EXPECT_EQ(bar.Widget()->cursor().shape(), Qt::SizeVerCursor);
    EXPECT_EQ(bar.Width(), 300);
    QTest::mousePress(bar.Widget(), Qt::LeftButton, {}, QPoint(150, 1));
    QTest::mouseMove(bar.Widget(), QPoint(170, -29));
    EXPECT_EQ(bar.Position(), 70);
    EXPECT_EQ(bar.X(), 0);
    bar.ReleaseCapture(); // taken away (the window lost the pointer, say)
    EXPECT_FALSE(bar.IsDragging());
    QTest::mouseMove(bar.Widget(), QPoint(150, 50));
    EXPECT_EQ(bar.Position(), 70);
    EXPECT_EQ(window.reports.size(), 1u);
    QTest::mouseRelease(bar.Widget(), Qt::LeftButton, {}, QPoint(150, 50));
}

TEST(Label, AlignsItsTextAndShortensWhatDoesNotFit) {
    gui_test::CRecorder window;
    window.Make(200, 60);
    gui::CLabel label;
    label.CreateLabel(&window, "Tempo", 0, 0, 120, 20);
    label.Show();
    const QRgb face = Rgb(64, 64, 64);
    auto ink = [&] { return gui_test::InkOf(label.Widget()->grab().toImage(), face, QRect(0, 0, 120, 20)); };
    const QRect left = ink();
    ASSERT_FALSE(left.isEmpty());
    EXPECT_LT(left.left(), 3);
    EXPECT_FALSE(gui_test::PixelsOf(label.Widget()->grab().toImage(), Rgb(224, 224, 224)).isEmpty());
    label.SetAlignment(Qt::AlignRight | Qt::AlignVCenter);
    const QRect right = ink();
    EXPECT_GT(right.right(), 116);
    EXPECT_NEAR(right.width(), left.width(), 1); // text may sit between pixels
    label.SetAlignment(Qt::AlignCenter);
    const QRect centre = ink();
    EXPECT_LE(std::abs((centre.left() + centre.right()) - 119), 2);
    // A long text ends in an ellipsis inside the label instead of being cut.
    label.SetAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    label.SetText("An Unusually Long Machine Name That Cannot Fit");
    const QRect cut = ink();
    EXPECT_LE(cut.right(), 119);
    EXPECT_THROW(label.SetTextSlot(38), platform::CError);
}

TEST(Frame, AnEtchedOutlineWithItsCaptionSetIntoTheTopEdge) {
    gui_test::CRecorder window;
    window.Make(220, 120);
    gui::CFrame frame;
    frame.CreateFrame(&window, "Transport", 10, 10, 200, 100);
    frame.Show();
    const QImage image = frame.Widget()->grab().toImage();
    const int mid = 60;
    EXPECT_EQ(image.pixel(0, mid) & 0xFFFFFF, Rgb(0, 0, 0));       // outer line sunken: shadow
    EXPECT_EQ(image.pixel(1, mid) & 0xFFFFFF, Rgb(128, 128, 128)); // inner line raised: light
    EXPECT_EQ(image.pixel(100, mid) & 0xFFFFFF, Rgb(64, 64, 64));  // inside: the face
    const int top = frame.ContentTop() / 2 - 1;
    EXPECT_EQ(image.pixel(190, top) & 0xFFFFFF, Rgb(0, 0, 0));  // the top edge beyond the caption
    EXPECT_EQ(image.pixel(9, top) & 0xFFFFFF, Rgb(64, 64, 64)); // the gap before the caption
    const QRect caption = gui_test::PixelsOf(image, Rgb(224, 224, 224));
    ASSERT_FALSE(caption.isEmpty());
    EXPECT_GE(caption.left(), 12);
    EXPECT_LT(caption.bottom(), frame.ContentTop());
}

TEST(MenuButton, ReportsTheChosenEntryAndNeverAGreyedOne) {
    gui_test::CRecorder window;
    window.Make(200, 100);
    gui::CMenuButton button;
    button.CreateMenuButton(&window, "Options", 10, 10, 80, 22);
    button.Show();
    const int rename = button.AddEntry("Rename...");
    const int remove = button.AddEntry("Delete", false);
    button.AddSeparator();
    const int help = button.AddEntry("Help");
    EXPECT_EQ(button.EntryCount(), 3);
    EXPECT_EQ(help, 2);
    EXPECT_EQ(button.ChosenEntry(), -1);
    EXPECT_FALSE(button.IsEntryEnabled(remove));
    EXPECT_FALSE(button.IsEntryEnabled(7));
    EXPECT_EQ(button.Menu()->actions().size(), 4); // the separator is an action of the menu

    // A click drops the menu down below the button instead of reporting a click.
    QTest::mouseClick(button.Widget(), Qt::LeftButton, {}, QPoint(20, 10));
    EXPECT_TRUE(button.Menu()->isVisible());
    EXPECT_EQ(button.Menu()->pos().y(), button.Widget()->mapToGlobal(QPoint(0, 22)).y());
    EXPECT_EQ(window.Count("clicked MenuButton"), 0);
    button.Menu()->hide();

    button.EntryAction(rename)->trigger();
    EXPECT_EQ(button.ChosenEntry(), rename);
    EXPECT_EQ(window.reports, std::vector<std::string>{"changed MenuButton"});
    button.EntryAction(remove)->trigger(); // greyed: nothing happens
    EXPECT_EQ(button.ChosenEntry(), rename);
    EXPECT_EQ(window.reports.size(), 1u);
    button.SetEntryEnabled(remove, true);
    button.EntryAction(remove)->trigger();
    EXPECT_EQ(button.ChosenEntry(), remove);
    EXPECT_EQ(window.reports.size(), 2u);

    // A disabled menu button drops nothing down.
    button.SetEnabled(false);
    QTest::mouseClick(button.Widget(), Qt::LeftButton, {}, QPoint(20, 10));
    EXPECT_FALSE(button.Menu()->isVisible());
}

// A dialog that refuses OK while its name field is empty.
class CNameDialog : public gui::CDialog {
public:
    gui::CEditBox name;
    std::vector<gui::DialogAnswer> finished;
    void Make() {
        CreateDialog(nullptr, "Rename", 260, 90);
        name.CreateEditBox(this, 10, 10, 240, 22);
        name.Show();
    }

protected:
    bool Accepting() override { return !name.Text().isEmpty(); }
    void Finished(gui::DialogAnswer answer) override { finished.push_back(answer); }
};

TEST(Dialog, TheOpenDialogAnswersThroughItsButtonsAndKeys) {
    CNameDialog dialog;
    dialog.Make();
    EXPECT_EQ(dialog.ContentHeight(), 90 - 16 - 24);
    EXPECT_EQ(dialog.Title(), "Rename");
    dialog.Open();
    gui_test::Screenshot(dialog.Widget(), "dialog_rename");
    EXPECT_TRUE(dialog.IsOpen());
    EXPECT_TRUE(dialog.Widget()->isVisible());
    EXPECT_EQ(dialog.Answer(), gui::DialogAnswer::kNone);
    // OK is refused while the field is empty.
    QTest::mouseClick(dialog.OkButton().Widget(), Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_TRUE(dialog.IsOpen());
    EXPECT_TRUE(dialog.finished.empty());
    dialog.name.SetText("Bass 2");
    QTest::mouseClick(dialog.OkButton().Widget(), Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_FALSE(dialog.IsOpen());
    EXPECT_FALSE(dialog.Widget()->isVisible());
    EXPECT_EQ(dialog.Answer(), gui::DialogAnswer::kOk);
    EXPECT_EQ(dialog.finished, std::vector<gui::DialogAnswer>{gui::DialogAnswer::kOk});

    // Escape, the close box, and Enter from inside the text field.
    dialog.Open();
    QTest::keyClick(dialog.Widget(), Qt::Key_Escape);
    EXPECT_EQ(dialog.Answer(), gui::DialogAnswer::kCancel);
    dialog.Open();
    EXPECT_FALSE(dialog.Widget()->close()); // the dialog hides itself instead
    EXPECT_EQ(dialog.Answer(), gui::DialogAnswer::kCancel);
    dialog.Open();
    QTest::keyClick(dialog.name.LineEdit(), Qt::Key_Return);
    EXPECT_EQ(dialog.Answer(), gui::DialogAnswer::kOk);
    // Answers after closing change nothing.
    dialog.Reject();
    EXPECT_EQ(dialog.Answer(), gui::DialogAnswer::kOk);
    EXPECT_EQ(dialog.finished.size(), 4u);
}

TEST(Dialog, ExecWaitsInItsOwnLoopForTheAnswer) {
    CNameDialog dialog;
    dialog.Make();
    dialog.name.SetText("Lead");
    // Events queued before Exec are handled by its loop, which ends with the answer.
    QApplication::postEvent(dialog.Widget(), new QKeyEvent(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier));
    EXPECT_EQ(dialog.Exec(), gui::DialogAnswer::kOk);
    EXPECT_FALSE(dialog.Widget()->isVisible());
    EXPECT_EQ(dialog.Widget()->windowModality(), Qt::NonModal);

    // A click on Cancel, as press and release queued for the button.
    QWidget* cancel = dialog.CancelButton().Widget();
    const QPointF at(10, 10);
    QApplication::postEvent(cancel, new QMouseEvent(QEvent::MouseButtonPress, at, cancel->mapToGlobal(at),
                                                    Qt::LeftButton, Qt::LeftButton, Qt::NoModifier));
    QApplication::postEvent(cancel, new QMouseEvent(QEvent::MouseButtonRelease, at, cancel->mapToGlobal(at),
                                                    Qt::LeftButton, Qt::NoButton, Qt::NoModifier));
    EXPECT_EQ(dialog.Exec(), gui::DialogAnswer::kCancel);
    EXPECT_EQ(dialog.finished,
              (std::vector<gui::DialogAnswer>{gui::DialogAnswer::kOk, gui::DialogAnswer::kCancel}));
}

// Small pictures for the icon controls, drawn here rather than loaded.
QIcon TransportIcon(int kind) {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(Qt::NoPen);
    switch (kind) {
    case 0: { // play
        QPainterPath path;
        path.moveTo(4, 2);
        path.lineTo(13, 8);
        path.lineTo(4, 14);
        path.closeSubpath();
        painter.fillPath(path, QColor(120, 220, 120));
        break;
    }
    case 1: // stop
        painter.fillRect(4, 4, 8, 8, QColor(220, 220, 220));
        break;
    default: // record
        painter.setBrush(QColor(230, 70, 60));
        painter.drawEllipse(QRectF(3, 3, 10, 10));
        break;
    }
    painter.end();
    return QIcon(pixmap);
}

QIcon MachineIcon(QColor colour) {
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(QPen(colour.lighter(140), 1));
    painter.setBrush(colour);
    painter.drawRoundedRect(QRectF(3.5, 6.5, 25, 19), 3, 3);
    painter.setBrush(QColor(30, 30, 30));
    painter.drawEllipse(QRectF(8, 11, 8, 8));
    painter.drawEllipse(QRectF(18, 11, 8, 8));
    painter.end();
    return QIcon(pixmap);
}

TEST(StandardControls, EveryControlTogetherOnADarkPanel) {
    gui_test::CRecorder window;
    window.Make(560, 340);
    window.SetTitle("Standard Controls");

    gui::CTabControl tabs;
    tabs.CreateTabControl(&window, 8, 8, 544, 26);
    for (const char* page : {"Machines", "Patterns", "Song", "Wave Table"}) tabs.AddPage(page);
    tabs.SetPage(1);

    gui::CFrame transport;
    transport.CreateFrame(&window, "Transport", 8, 42, 264, 104);
    gui::CButton play, stop, record;
    play.CreateButton(&window, "Play", 20, 64, 72, 24);
    stop.CreateButton(&window, "Stop", 100, 64, 72, 24);
    record.CreateButton(&window, "Record", 180, 64, 80, 24);
    stop.SetEnabled(false);
    gui::CIconButton playIcon, stopIcon, recordIcon;
    playIcon.CreateIconButton(&window, TransportIcon(0), "Play Pattern", 20, 100, 26, 26);
    stopIcon.CreateIconButton(&window, TransportIcon(1), "Stop Pattern", 50, 100, 26, 26);
    recordIcon.CreateIconButton(&window, TransportIcon(2), "Record Song", 80, 100, 26, 26);
    recordIcon.SetEnabled(false);
    gui::CLabel tempoLabel;
    tempoLabel.CreateLabel(&window, "Tempo:", 122, 104, 60, 18, Qt::AlignRight | Qt::AlignVCenter);
    gui::CUpDown tempo;
    tempo.CreateUpDown(&window, 188, 102, 70, 22, 1, 1000, 1, 126);

    gui::CFrame machine;
    machine.CreateFrame(&window, "Machine", 288, 42, 264, 104);
    gui::CLabel nameLabel, waveLabel;
    nameLabel.CreateLabel(&window, "Name:", 300, 66, 56, 18);
    gui::CEditBox name;
    name.CreateEditBox(&window, 360, 64, 180, 22);
    name.SetText("Bass Line 1");
    waveLabel.CreateLabel(&window, "Wave:", 300, 100, 56, 18);
    gui::CComboBox wave;
    wave.CreateComboBox(&window, 360, 98, 120, 24);
    for (const char* w : {"Sine", "Saw", "Square", "Noise"}) wave.AddEntry(w);
    wave.SetSelection(1);
    gui::CMenuButton options;
    options.CreateMenuButton(&window, "Edit", 486, 98, 54, 24);
    options.AddEntry("Rename...");
    options.AddEntry("Delete", false);

    gui::CListBox list;
    list.CreateListBox(&window, 8, 156, 200, 176);
    for (const char* m : {"Master", "Stomp", "QuadDelay", "BassHead", "Drum Kit", "Reverb Room"}) list.AddEntry(m);
    list.SetSelection(3);
    gui::CSizeBar divider;
    divider.CreateSizeBar(&window, gui::SizeBarDirection::kLeftRight, 212, 156, 176, 5);
    divider.SetLimits(56, 504);
    gui::CIconList icons;
    icons.CreateIconList(&window, 221, 156, 331, 176, 32);
    icons.AddIcon(MachineIcon(QColor(70, 130, 70)), "Generators");
    icons.AddIcon(MachineIcon(QColor(70, 100, 150)), "Effects");
    icons.AddIcon(MachineIcon(QColor(150, 110, 60)), "Controllers");
    icons.AddIcon(MachineIcon(QColor(130, 70, 130)), "Plug-ins");
    icons.SetSelection(1);

    for (gui::CControl* c : std::initializer_list<gui::CControl*>{
             &tabs, &transport, &play, &stop, &record, &playIcon, &stopIcon, &recordIcon, &tempoLabel, &tempo,
             &machine, &nameLabel, &name, &waveLabel, &wave, &options, &list, &divider, &icons})
        c->Show();
    // Record is shown held down.
    QTest::mousePress(record.Widget(), Qt::LeftButton, {}, QPoint(10, 10));
    ASSERT_EQ(record.CurrentState(), gui::CButton::State::kPressed);

    const QImage shot = gui_test::Screenshot(window.Widget(), "standard_controls");
    QTest::mouseRelease(record.Widget(), Qt::LeftButton, {}, QPoint(10, 10));

    const QString path = QString(TAMBOREL_SCREENSHOT_DIR) + "/standard_controls.png";
    ASSERT_TRUE(QFile::exists(path));
    QImage written(path);
    ASSERT_FALSE(written.isNull());
    EXPECT_EQ(written.size(), shot.size());
    QSet<QRgb> colours;
    for (int y = 0; y < written.height(); y += 2)
        for (int x = 0; x < written.width(); x += 2) colours.insert(written.pixel(x, y) & 0xFFFFFF);
    EXPECT_GT(colours.size(), 20); // not blank: faces, fields, text, icons
    EXPECT_TRUE(colours.contains(Rgb(64, 64, 64)));  // the panel face
    EXPECT_TRUE(colours.contains(Rgb(32, 32, 32)));  // the fields
    EXPECT_TRUE(colours.contains(Rgb(48, 48, 48)));  // a disabled button
}

} // namespace
