// CRecordSongTarget: what the sequence editor's "Record Song" button drives — the HD recorder,
// starting and stopping recording on all its tracks. Both calls come from the user-interface
// thread (Record Song, Stop) or from RefreshDisplay after the song ended; never from the driver
// thread, and never with the editor mutex held.
#pragma once

class CRecordSongTarget {
public:
    virtual ~CRecordSongTarget() = default;
    // Starts recording on every track that has a file.
    virtual void StartRecordSong() = 0;
    // Stops every recording, completing each file's header.
    virtual void StopRecordSong() = 0;
};
