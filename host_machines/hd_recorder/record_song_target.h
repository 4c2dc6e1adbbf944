// CRecordSongTarget: what the sequence editor's "Record Song" button drives. Down starts
// recording on every HD recorder track, up (or "Stop Pattern") stops it. User-interface thread.
#pragma once

class CRecordSongTarget {
public:
    virtual ~CRecordSongTarget() = default;
    // Starts recording on every track that has a file.
    virtual void StartRecordSong() = 0;
    // Stops every recording, completing each file's header.
    virtual void StopRecordSong() = 0;
};
