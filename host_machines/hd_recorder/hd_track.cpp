#include "host_machines/hd_recorder/hd_track.h"

#include "host_machines/hd_track_machine.h"
#include "machine_interface/sample_peaks.h"
#include "machine_interface/vesk_host.h"
#include "platform/error.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

std::string FormatRecordedTime(float seconds) {
    const double t = seconds;
    const int hours = static_cast<int>(std::fmod(t / 3600.0, 100.0));
    const int minutes = static_cast<int>(std::fmod(t / 60.0, 60.0));
    const int wholeSeconds = static_cast<int>(std::fmod(t, 60.0));
    const int milliseconds = static_cast<int>(std::fmod(t, 1.0) * 1000.0);
    char text[32];
    std::snprintf(text, sizeof text, "%2i:%2i:%2i.%3i", hours, minutes, wholeSeconds, milliseconds);
    for (int at : {0, 3, 6, 9, 10})
        if (text[at] == ' ') text[at] = '0';
    return text;
}

CHDTrack::CHDTrack(CHDTrackMachine* machine) : m_machine(machine) {}

CHDTrack::~CHDTrack() {
    CMutexLock lock(m_lock);
    Close();
}

bool CHDTrack::IsStereo() const {
    return m_machine->m_stereo != 0;
}

void CHDTrack::RequireLock(const char* operation) {
    if (!m_lock.IsLocked())
        platform::Raise("%s", (std::string("HD Track Not Locked On ") + operation).c_str());
}

void CHDTrack::Open() {
    RequireLock("Open");
    if (m_recording) Close();
    const auto sampleRate = static_cast<uint32_t>(m_machine->m_host->GetSampleRate());
    if (m_path.empty() ||
        !m_file.Open(m_path, static_cast<uint16_t>(m_format), IsStereo() ? 2 : 1, sampleRate)) {
        m_recordButton = false;
        return;
    }
    m_framesWritten = 0;
    m_framesSinceHeader = 0;
    m_recording = 1;
    m_recordButton = true;
}

void CHDTrack::Write(float* left, float* right, int32_t frames) {
    RequireLock("Write");
    const float volume = Volume();
    const float peakLeft = sample_peaks::ScaleAndMagnitude(left, frames, volume);
    const float peakRight = right ? sample_peaks::ScaleAndMagnitude(right, frames, volume) : peakLeft;
    m_peakLeft.store(peakLeft, std::memory_order_relaxed);
    m_peakRight.store(peakRight, std::memory_order_relaxed);
    m_meter.InputAbsolute(peakLeft, peakRight);
    if (!m_recording) return;

    const int32_t sampleRate = m_machine->m_host->GetSampleRate();
    m_recordedSeconds += static_cast<float>(frames) / static_cast<float>(sampleRate);
    m_file.AppendFrames(left, right, frames);
    m_framesWritten += frames;
    // A crash must not cost the recording: keep the header's sizes current about once a second,
    // so a file left behind plays up to the last rewrite.
    m_framesSinceHeader += frames;
    if (m_framesSinceHeader >= sampleRate) {
        m_file.RewriteHeader();
        m_framesSinceHeader = 0;
    }
}

void CHDTrack::Close() {
    RequireLock("Close");
    if (m_recording) {
        m_recording = 0;
        m_recordedSeconds = 0.0f;
        m_file.Close();
    }
    m_recordButton = false;
}

void CHDTrack::ChooseFile(const std::string& path, int32_t format) {
    CMutexLock lock(m_lock);
    if (m_recording) Close();
    m_path = path.substr(0, 1024);
    m_fileLabel = "File: '" + m_path + "'";
    m_format = format == kWavFormatPcm ? kWavFormatPcm : kWavFormatFloat;
}

void CHDTrack::PressRecord(bool pressed) {
    CMutexLock lock(m_lock);
    if (pressed) {
        Open();
        m_recordButton = m_recording != 0;
    } else if (m_recording) {
        Close();
    } else {
        m_recordButton = false;
    }
}

bool CHDTrack::Refresh() {
    m_meter.Decay();
    CMutexLock lock(m_lock);
    if (m_recordedSeconds == m_shownSeconds) return false;
    m_shownSeconds = m_recordedSeconds;
    m_timeText = FormatRecordedTime(m_shownSeconds);
    return true;
}

void CHDTrack::SetTrackName(const char* name) {
    CMutexLock lock(m_lock);
    m_trackLabel = std::string("Name: ") + (name ? name : "");
}

CHDTrackList::~CHDTrackList() {
    for (CHDTrack* row : m_rows)
        delete row;
}

CHDTrackList& CHDTrackList::Studio() {
    static CHDTrackList list;
    return list;
}

void CHDTrackList::AddListener(CHDTrackListListener* listener) {
    if (listener && std::find(m_listeners.begin(), m_listeners.end(), listener) == m_listeners.end())
        m_listeners.push_back(listener);
}

void CHDTrackList::RemoveListener(CHDTrackListListener* listener) {
    m_listeners.erase(std::remove(m_listeners.begin(), m_listeners.end(), listener), m_listeners.end());
}

CHDTrack* CHDTrackList::AddRow(CHDTrackMachine* machine) {
    CHDTrack* row = new CHDTrack(machine);
    int32_t index = 0;
    {
        CMutexLock lock(m_lock);
        m_rows.push_back(row);
        index = static_cast<int32_t>(m_rows.size()) - 1;
    }
    const std::vector<CHDTrackListListener*> listeners = m_listeners;
    for (CHDTrackListListener* listener : listeners)
        listener->RowAdded(row, index);
    return row;
}

void CHDTrackList::RemoveRow(CHDTrack* row) {
    int32_t index = -1;
    {
        CMutexLock lock(m_lock);
        const auto position = std::find(m_rows.begin(), m_rows.end(), row);
        if (position != m_rows.end()) {
            index = static_cast<int32_t>(position - m_rows.begin());
            m_rows.erase(position);
        }
    }
    delete row;
    if (index < 0) return;
    const std::vector<CHDTrackListListener*> listeners = m_listeners;
    for (CHDTrackListListener* listener : listeners)
        listener->RowRemoved(row, index);
}

int32_t CHDTrackList::Count() {
    CMutexLock lock(m_lock);
    return static_cast<int32_t>(m_rows.size());
}

CHDTrack* CHDTrackList::Row(int32_t index) {
    CMutexLock lock(m_lock);
    return index >= 0 && index < static_cast<int32_t>(m_rows.size()) ? m_rows[static_cast<size_t>(index)]
                                                                     : nullptr;
}

void CHDTrackList::MasterRecord(bool pressed) {
    CMutexLock lock(m_lock);
    // All rows are held at once so that every file starts (or ends) at the same buffer.
    for (CHDTrack* row : m_rows)
        row->m_lock.Lock();
    for (CHDTrack* row : m_rows) {
        if (pressed)
            row->Open();
        else
            row->Close();
    }
    for (CHDTrack* row : m_rows)
        row->m_lock.Unlock();
    m_masterButton = pressed;
}

void CHDTrackList::Refresh() {
    CMutexLock lock(m_lock);
    for (CHDTrack* row : m_rows)
        row->Refresh();
}
