// The HD recorder's rows: one CHDTrack per HD recorder track machine, kept in order by
// CHDTrackList. These are the models the recorder's window shows; they hold no widgets.
//
// Threads and locks: the machine's Process (processing thread) takes the row lock around Write;
// the buttons, the file choice and the periodic refresh (user-interface thread) take the same
// lock around their file and meter work. The list's own lock guards adding and removing rows;
// the master button takes it, then every row lock in list order. Each row's peak meter has its own
// lock (fed under the row lock by Write, aged by Refresh); the list's listeners are told on the
// user-interface thread (rows come and go with their machines, which that thread makes and
// deletes), with no lock held.
#pragma once

#include "engine/peak_meter.h"
#include "host_machines/wav/wav_file.h"
#include "machine_interface/mutex.h"
#include "sequencer/record_song_target.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

class CHDTrackMachine;

// The recorded-time read-out's text for t seconds: "hh:mm:ss.mmm", e.g. 65.5 -> "00:01:05.500".
std::string FormatRecordedTime(float seconds);

class CHDTrack {
public:
    explicit CHDTrack(CHDTrackMachine* machine);
    // Closes a running recording (with the row lock held).
    ~CHDTrack();
    CHDTrack(const CHDTrack&) = delete;
    CHDTrack& operator=(const CHDTrack&) = delete;

    // File operations; each needs the row lock held by the caller, else it raises "HD Track Not
    // Locked On Open" / "... On Write" / "... On Close".
    // Open: closes a running recording, then creates the file at the row's path; a file that
    // cannot be created leaves the row idle with its button released.
    void Open();
    // Scales the block by the volume in place, meters it and, while recording, appends it.
    // right is null for a mono row. Processing thread.
    void Write(float* left, float* right, int32_t frames);
    // Completes the header and closes the file; releases the button in any case.
    void Close();

    // "Select File To Save To" confirmed: closes a running recording, stores the path and the
    // format (1 = 16-bit PCM, 3 = 32-bit float). Takes the row lock itself.
    void ChooseFile(const std::string& path, int32_t format);
    // The row's "Record Stream" button pressed or released. Takes the row lock itself.
    void PressRecord(bool pressed);
    // Periodic refresh: ages the meter's held peaks and updates the read-out; true when the
    // read-out's text changed. Takes the row lock itself.
    bool Refresh();

    // Volume knob, 0..1 (starts at 1). Any thread.
    void SetVolume(float volume) { m_volume.store(volume, std::memory_order_relaxed); }
    float Volume() const { return m_volume.load(std::memory_order_relaxed); }
    // The peak meter's last values (largest |sample| of the last block, after the volume).
    float PeakLeft() const { return m_peakLeft.load(std::memory_order_relaxed); }
    float PeakRight() const { return m_peakRight.load(std::memory_order_relaxed); }
    // The row's meter, fed every block with those peaks (squared, so it reads the same dB as the
    // master's meter) and aged by Refresh. The row's window reads it.
    CPeakMeterModel& Meter() { return m_meter; }
    // The track label: "Track:" until the machine is named, then "Name: %s".
    void SetTrackName(const char* name);

    CHDTrackMachine* Machine() const { return m_machine; }
    bool IsStereo() const;
    bool IsRecording() const { return m_recording != 0; }
    bool RecordButton() const { return m_recordButton; }
    const std::string& Path() const { return m_path; }
    int32_t Format() const { return m_format; }
    int32_t FramesWritten() const { return m_framesWritten; }
    float RecordedSeconds() const { return m_recordedSeconds; }
    const std::string& TrackLabel() const { return m_trackLabel; }
    const std::string& FileLabel() const { return m_fileLabel; }
    const std::string& TimeText() const { return m_timeText; }

    CMutex m_lock; // the row lock

private:
    void RequireLock(const char* operation);

    CHDTrackMachine* m_machine;
    std::atomic<float> m_volume{1.0f};
    std::atomic<float> m_peakLeft{0.0f};
    std::atomic<float> m_peakRight{0.0f};
    CPeakMeterModel m_meter;
    std::string m_trackLabel = "Track:";
    std::string m_fileLabel = "File:";
    std::string m_path; // up to 1024 characters
    std::string m_timeText = "00:00:00.000";
    float m_shownSeconds = 0.0f;
    CWavFileWriter m_file;
    uint8_t m_recording = 0;
    bool m_recordButton = false;
    float m_recordedSeconds = 0.0f;
    int32_t m_framesWritten = 0;
    int32_t m_framesSinceHeader = 0; // the header is rewritten about once a second
    int32_t m_format = kWavFormatFloat;
};

// What the recorder's window hears of the row list. User-interface thread, no lock held.
class CHDTrackListListener {
public:
    virtual ~CHDTrackListListener() = default;
    // A row was appended at index.
    virtual void RowAdded(CHDTrack* row, int32_t index) = 0;
    // The row that was at index is destroyed; later rows moved up one place. The pointer is only
    // a key to find the row's view by.
    virtual void RowRemoved(const CHDTrack* gone, int32_t index) = 0;
};

// The rows in creation order. The studio has one list (Studio()), owned for the life of the
// program; the recorder's window observes it.
class CHDTrackList : public CRecordSongTarget {
public:
    CHDTrackList() = default;
    ~CHDTrackList() override;
    CHDTrackList(const CHDTrackList&) = delete;
    CHDTrackList& operator=(const CHDTrackList&) = delete;

    static CHDTrackList& Studio();

    // User-interface thread. Adding a listener twice adds it once.
    void AddListener(CHDTrackListListener* listener);
    void RemoveListener(CHDTrackListListener* listener);

    // A new row for the machine, at the end (y = 42 x its index). The list owns the row.
    CHDTrack* AddRow(CHDTrackMachine* machine);
    // Destroys the row (closing its file); later rows move up one place.
    void RemoveRow(CHDTrack* row);
    int32_t Count();
    CHDTrack* Row(int32_t index);
    // Pixel position of a row in the recorder's window.
    static constexpr int32_t kRowHeight = 42;

    // The master "Record Stream": opens (pressed) or closes (released) every row at once.
    // Rows without a path stay idle with their buttons released.
    void MasterRecord(bool pressed);
    bool MasterButton() const { return m_masterButton; }
    // Refreshes every row (user-interface thread timer).
    void Refresh();

    void StartRecordSong() override { MasterRecord(true); }
    void StopRecordSong() override { MasterRecord(false); }

    CMutex m_lock; // guards the row vector

private:
    std::vector<CHDTrack*> m_rows;
    std::vector<CHDTrackListListener*> m_listeners;
    bool m_masterButton = false;
};
