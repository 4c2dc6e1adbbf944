// CPatternListListener: what the song hears of the pattern list. The pattern editor tells it of
// control input ports it meets and of patterns made and destroyed, so the song keeps a row per
// port and drops the placements of a pattern before the pattern goes. The sequencer wires the
// song in; the pattern editor knows only this interface.
//
// User-interface thread, studio mutex held; never with the editor mutex held (the listener takes
// it for its own edits).
#pragma once

class CPort;
class Pattern;

class CPatternListListener {
public:
    virtual ~CPatternListListener() = default;
    // A control input port of a listed machine; announced again whenever its machine's ports are
    // listed, so the listener ignores ports it knows.
    virtual void AnnounceControlPort(CPort* port) = 0;
    // After the pattern joined the list.
    virtual void PatternAdded(Pattern* pattern) = 0;
    // After the pattern left the list and before it is destroyed.
    virtual void PatternRemoved(Pattern* pattern) = 0;
};
