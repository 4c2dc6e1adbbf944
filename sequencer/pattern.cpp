#include "sequencer/pattern.h"

#include "machine_interface/machine.h"
#include "machine_interface/port.h"
#include "machine_interface/vesk_host.h"
#include "sequencer/edit_lock.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// A stored control value as played: inside 0..1, NaN as 0.
float PlayedValue(float value) {
    if (!(value >= 0.0f)) return 0.0f;
    return std::min(value, 1.0f);
}

int32_t ClampToInt32(int64_t value) {
    return static_cast<int32_t>(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

} // namespace

float StepLength(int32_t sampleRate, float bpm) {
    return bpm > 0.0f ? static_cast<float>(sampleRate) * 4.0f / bpm : 0.0f;
}

CStepGrid::CStepGrid(int32_t sampleRate, float bpm) {
    if (sampleRate > 0 && bpm > 0.0f && std::isfinite(bpm)) {
        m_perStep = static_cast<double>(sampleRate) * 4.0;
        m_divisor = static_cast<double>(bpm);
    }
}

CStepGrid CStepGrid::FromStepLength(float samples) {
    CStepGrid grid;
    if (samples > 0.0f && std::isfinite(samples)) {
        grid.m_perStep = static_cast<double>(samples);
        grid.m_divisor = 1.0;
    }
    return grid;
}

int64_t CStepGrid::StepStart(int64_t step) const {
    if (!IsValid()) return 0;
    // step x rate x 4 is an exact integer in a double for any step a pattern or song can hold.
    const double samples = std::trunc(static_cast<double>(step) * m_perStep / m_divisor);
    constexpr double kLimit = 4.0e18;
    return static_cast<int64_t>(std::clamp(samples, -kLimit, kLimit));
}

int64_t CStepGrid::FirstStepStartingAtOrAfter(int64_t sample, int64_t from) const {
    if (!IsValid() || StepStart(from) >= sample) return from;
    // The inverse gives the answer to a step or so; a search around it makes it exact. `before`
    // always begins before the sample, `after` at or after it.
    constexpr int64_t kLastStep = int64_t{1} << 52;
    const double estimate = std::ceil(static_cast<double>(sample) * m_divisor / m_perStep);
    int64_t after = std::max(from + 1, static_cast<int64_t>(std::clamp(estimate, 0.0, static_cast<double>(kLastStep))));
    for (int64_t widen = 1; StepStart(after) < sample; widen *= 2) {
        if (after >= kLastStep - widen) return kLastStep;
        after += widen;
    }
    int64_t before = std::max(from, after - 2);
    if (StepStart(before) >= sample) before = from;
    while (after - before > 1) {
        const int64_t middle = before + (after - before) / 2;
        (StepStart(middle) < sample ? before : after) = middle;
    }
    return after;
}

int64_t CStepGrid::Rescale(int64_t sample, const CStepGrid& from) const {
    if (!IsValid() || !from.IsValid()) return sample;
    const double steps = static_cast<double>(sample) * from.m_divisor / from.m_perStep;
    return static_cast<int64_t>(std::trunc(steps * m_perStep / m_divisor));
}

float CStepGrid::StepsAt(int64_t sample) const {
    if (!IsValid()) return 0.0f;
    return static_cast<float>(static_cast<double>(sample) * m_divisor / m_perStep);
}

int32_t PortIndexOf(const CPort* port) {
    const CMachine* machine = port ? port->m_owner : nullptr;
    if (!machine) return -1;
    for (int32_t i = 0; i < machine->m_portCount; ++i)
        if (machine->m_ports[i] == port) return i;
    return -1;
}

bool IsControlInput(const CPort* port) { return port && port->IsControl() && port->IsInput(); }

Pattern::Pattern(CVeskHost* host, CMutex* editorMutex, int32_t lengthBeats, const char* name, CPort* port)
    : m_host(host), m_mutex(editorMutex), m_length(lengthBeats), m_name(name ? name : ""), m_port(port),
      m_sampleRate(host->GetSampleRate()), m_bufferSize(host->GetBufferSize()), m_bpm(host->GetBPM()) {}

Pattern::~Pattern() {
    for (PatternNote* note = m_firstNote; note;) {
        PatternNote* next = note->next;
        delete note;
        note = next;
    }
    for (ControlTrack* track : m_controlTracks) delete track;
}

CMachine* Pattern::Machine() const { return m_port ? m_port->m_owner : nullptr; }

bool Pattern::IsNamedNoteMachine() const {
    const CMachine* machine = Machine();
    return machine && machine->m_namedNoteCount > 0;
}

void Pattern::SetName(const char* name) {
    CEditLock lock(m_mutex);
    m_name = name ? name : "";
}

bool Pattern::SetLength(int32_t beats) {
    if (beats < 1 || beats > 4096) return false;
    CEditLock lock(m_mutex);
    m_length = beats;
    for (ControlTrack* track : m_controlTracks)
        if (track->steps.size() < static_cast<size_t>(StepCount())) track->steps.resize(static_cast<size_t>(StepCount()));
    return true;
}

void Pattern::SetPort(CPort* port) {
    CEditLock lock(m_mutex);
    m_port = port;
    UpdatePlayableTracks();
}

PatternNote* Pattern::AddNote(int32_t start, int32_t length, int32_t note) {
    auto* added = new PatternNote{start, length, note, m_lastNote, nullptr};
    CEditLock lock(m_mutex);
    if (m_lastNote)
        m_lastNote->next = added;
    else
        m_firstNote = added;
    m_lastNote = added;
    ++m_noteCount;
    if (m_velocityTrack && start >= 0 && start < static_cast<int32_t>(m_velocityTrack->steps.size())) {
        ControlStep& step = m_velocityTrack->steps[static_cast<size_t>(start)];
        if (!step.set) {
            step.set = 1;
            step.value = kDefaultVelocity;
        }
    }
    return added;
}

void Pattern::RemoveNote(PatternNote* note) {
    {
        CEditLock lock(m_mutex);
        if (note->prev)
            note->prev->next = note->next;
        else
            m_firstNote = note->next;
        if (note->next)
            note->next->prev = note->prev;
        else
            m_lastNote = note->prev;
        --m_noteCount;
        if (m_velocityTrack && note->start >= 0 && note->start < static_cast<int32_t>(m_velocityTrack->steps.size())) {
            bool another = false;
            for (const PatternNote* other = m_firstNote; other && !another; other = other->next)
                another = other->start == note->start;
            if (!another) m_velocityTrack->steps[static_cast<size_t>(note->start)] = ControlStep{};
        }
    }
    delete note;
}

void Pattern::SetNote(PatternNote* note, int32_t start, int32_t length, int32_t number) {
    CEditLock lock(m_mutex);
    const int32_t oldStart = note->start;
    note->start = start;
    note->length = length;
    note->note = number;
    if (!m_velocityTrack || oldStart == start) return;
    // A moved note takes its velocity along to an unset step (it would play silent there) and
    // leaves its old step as RemoveNote would.
    const int32_t steps = static_cast<int32_t>(m_velocityTrack->steps.size());
    ControlStep carried{1, kDefaultVelocity};
    if (oldStart >= 0 && oldStart < steps && m_velocityTrack->steps[static_cast<size_t>(oldStart)].set)
        carried.value = m_velocityTrack->steps[static_cast<size_t>(oldStart)].value;
    if (start >= 0 && start < steps) {
        ControlStep& step = m_velocityTrack->steps[static_cast<size_t>(start)];
        if (!step.set) step = carried;
    }
    bool another = false;
    for (const PatternNote* other = m_firstNote; other && !another; other = other->next)
        another = other->start == oldStart;
    if (!another && oldStart >= 0 && oldStart < steps) m_velocityTrack->steps[static_cast<size_t>(oldStart)] = ControlStep{};
}

int32_t Pattern::AddControlTrack(int32_t parameter) {
    return AppendTrack(new ControlTrack{parameter, std::vector<ControlStep>(static_cast<size_t>(std::max(0, StepCount())))});
}

int32_t Pattern::AddStoredControlTrack(int32_t parameter, std::vector<ControlStep> steps) {
    return AppendTrack(new ControlTrack{parameter, std::move(steps)});
}

int32_t Pattern::AppendTrack(ControlTrack* track) {
    CEditLock lock(m_mutex);
    const int32_t index = m_controlTracks.Add(track);
    UpdatePlayableTracks();
    return index;
}

void Pattern::RemoveControlTrack(int32_t index) {
    ControlTrack* track;
    {
        CEditLock lock(m_mutex);
        track = m_controlTracks.RemoveItem(index);
        UpdatePlayableTracks();
    }
    delete track;
}

void Pattern::UpdatePlayableTracks() {
    // The first track of a parameter is the one played (the editor makes no second one); the
    // first velocity track shapes the notes.
    const CMachine* machine = Machine();
    const int32_t parameterCount = machine ? machine->m_parameterCount : 0;
    m_velocityTrack = nullptr;
    for (int32_t i = 0; i < m_controlTracks.Count(); ++i) {
        ControlTrack* track = m_controlTracks[i];
        bool first = true;
        for (int32_t j = 0; j < i && first; ++j) first = m_controlTracks[j]->parameter != track->parameter;
        if (track->parameter == kVelocityParameter) {
            if (first) m_velocityTrack = track;
            track->playable = false; // never sent as a parameter change
        } else {
            track->playable = first && track->parameter >= 0 && track->parameter < parameterCount;
        }
    }
}

int32_t Pattern::FindControlTrack(int32_t parameter) const {
    for (int32_t i = 0; i < m_controlTracks.Count(); ++i)
        if (m_controlTracks[i]->parameter == parameter) return i;
    return -1;
}

void Pattern::SetControlStep(int32_t track, int32_t step, float value) {
    CEditLock lock(m_mutex);
    if (track < 0 || track >= m_controlTracks.Count()) return;
    std::vector<ControlStep>& steps = m_controlTracks[track]->steps;
    if (step < 0 || step >= static_cast<int32_t>(steps.size())) return;
    steps[static_cast<size_t>(step)] = ControlStep{1, std::clamp(value, 0.0f, 1.0f)};
}

void Pattern::ClearControlStep(int32_t track, int32_t step) {
    CEditLock lock(m_mutex);
    if (track < 0 || track >= m_controlTracks.Count()) return;
    std::vector<ControlStep>& steps = m_controlTracks[track]->steps;
    if (step < 0 || step >= static_cast<int32_t>(steps.size())) return;
    steps[static_cast<size_t>(step)] = ControlStep{};
}

void Pattern::Start(bool reset) {
    CEditLock lock(m_mutex);
    m_playing = true;
    m_stopping = false;
    if (reset) m_position = 0;
}

void Pattern::Stop(bool reset) {
    CEditLock lock(m_mutex);
    if (m_playing) m_stopping = true;
    if (reset) m_position = 0;
}

void Pattern::SetLoop(bool loop) {
    CEditLock lock(m_mutex);
    m_loop = loop;
}

float Pattern::DisplayPosition() {
    CEditLock lock(m_mutex);
    const CStepGrid grid(m_sampleRate, m_bpm);
    if (((m_playing && !m_stopping) || m_position != 0) && grid.IsValid()) return grid.StepsAt(m_position);
    return -1.0f;
}

float Pattern::VelocityAt(int32_t step) const {
    if (!m_velocityTrack) return kDefaultVelocity;
    // A note outside the track (only possible from a damaged file) plays at the default.
    if (step < 0 || step >= static_cast<int32_t>(m_velocityTrack->steps.size())) return kDefaultVelocity;
    return PlayedValue(m_velocityTrack->steps[static_cast<size_t>(step)].value);
}

bool Pattern::IsPlayableNote(const PatternNote* note) const {
    const CMachine* machine = Machine();
    const int32_t range = machine && machine->m_namedNoteCount > 0 ? machine->m_namedNoteCount : kOrdinaryNoteCount;
    return note->start >= 0 && note->start < StepCount() && note->length >= 1 && note->note >= 0 && note->note < range;
}

void Pattern::EmitNote(int32_t kind, int64_t time, int32_t note, float velocity, float frequency) {
    ControlEvent event{};
    event.size = sizeof(ControlEvent);
    event.kind = kind;
    event.index = note;
    event.value = velocity;
    event.frequency = frequency;
    if (time < m_bufferSize) {
        event.time = ClampToInt32(time);
        m_port->m_controlBuffer->AddEvent(&event);
    } else {
        // A note held for longer than the queue can count waits as long as it can.
        event.time = ClampToInt32(time - m_bufferSize);
        m_carryOver.AddEvent(&event);
    }
}

std::vector<ControlEvent> Pattern::TakeCarryOver() {
    CEditLock lock(m_mutex);
    std::vector<ControlEvent> events;
    for (const CControlBuffer::Node* node = m_carryOver.m_head; node; node = node->next) events.push_back(node->event);
    m_carryOver.Clear();
    return events;
}

void Pattern::AdvanceCarryOver(uint64_t bufferSerial) {
    if (m_advancedIn == bufferSerial) return;
    m_advancedIn = bufferSerial;
    const bool wasEmpty = m_carryOver.GetCount() == 0;
    m_carryOver.CopyTo(&m_scratch);
    m_carryOver.Clear();
    ControlEvent event;
    while (m_scratch.GetNextEvent(&event)) {
        // An event at exactly the buffer size belongs to the first frame of the next buffer.
        if (event.time >= m_bufferSize) {
            event.time -= m_bufferSize;
            m_carryOver.AddEvent(&event);
        } else if (m_port) {
            m_port->m_controlBuffer->AddEvent(&event);
        }
    }
    if (wasEmpty && m_stopping) m_playing = false;
}

void Pattern::Render(int32_t outputOffset, int64_t windowStart, int32_t windowLength, const CStepGrid& grid,
                     int64_t firstStep) {
    if (!m_port || !m_port->m_controlBuffer || windowLength <= 0 || !grid.IsValid()) return;
    const int64_t windowEnd = windowStart + windowLength;
    const int64_t origin = grid.StepStart(firstStep);
    auto stepTime = [&](int64_t step) { return grid.StepStart(firstStep + step) - origin; };
    const int32_t steps = StepCount();
    // The steps that start inside the window, [first, end): the notes and control steps outside
    // cost a comparison each.
    auto firstStartingAtOrAfter = [&](int64_t from, int64_t time) {
        return static_cast<int32_t>(
            std::min<int64_t>(grid.FirstStepStartingAtOrAfter(time + origin, firstStep + from) - firstStep, steps));
    };
    const int32_t first = firstStartingAtOrAfter(0, windowStart);
    const int32_t end = firstStartingAtOrAfter(first, windowEnd);
    if (first >= end) return;

    // Control steps first, in track order; only the tracks marked playable send.
    bool anyPlayable = false;
    for (const ControlTrack* track : m_controlTracks) anyPlayable |= track->playable;
    if (anyPlayable) {
        for (int32_t i = first; i < end; ++i) {
            const int64_t t = stepTime(i);
            for (const ControlTrack* track : m_controlTracks) {
                if (!track->playable || static_cast<size_t>(i) >= track->steps.size()) continue;
                const ControlStep& step = track->steps[static_cast<size_t>(i)];
                if (!step.set) continue;
                ControlEvent event{};
                event.size = sizeof(ControlEvent);
                event.time = ClampToInt32(t - windowStart + outputOffset);
                event.kind = kEventParameter;
                event.index = track->parameter;
                event.value = PlayedValue(step.value);
                m_port->m_controlBuffer->AddEvent(&event);
            }
        }
    }

    const bool named = IsNamedNoteMachine();
    for (const PatternNote* note = m_firstNote; note; note = note->next) {
        if (note->start < first || note->start >= end || !IsPlayableNote(note)) continue;
        const int64_t t = stepTime(note->start);
        const int64_t onTime = t - windowStart + outputOffset;
        const float velocity = VelocityAt(note->start);
        // The note lasts trunc(length x S) samples from its start.
        const int64_t offTime = onTime + grid.StepStart(note->length);
        if (named) {
            EmitNote(kEventTriggerOn, onTime, note->note, velocity, 0.0f);
            EmitNote(kEventTriggerOff, offTime, note->note, velocity, 0.0f);
        } else {
            float frequency = 0.0f;
            m_host->GetNoteFrequency(static_cast<uint32_t>(note->note), &frequency);
            EmitNote(kEventNoteOn, onTime, note->note, velocity, frequency);
            EmitNote(kEventNoteOff, offTime, note->note, velocity, frequency);
        }
    }
}

void Pattern::PlayTick(uint64_t bufferSerial) {
    m_bpm = m_host->GetBPM();
    const CStepGrid grid(m_sampleRate, m_bpm);
    const int64_t total = grid.StepStart(StepCount());
    if (total > 0)
        m_position %= total;
    else
        m_position = 0;

    CMachine* machine = Machine();
    if (machine) machine->Lock();
    AdvanceCarryOver(bufferSerial);
    if (!m_stopping) {
        if (total <= 0) {
            // Nothing to play; without loop the end is reached at once.
            if (!m_loop) m_playing = false;
        } else {
            // Render the rest of the pattern, and with loop on its head (again and again when the
            // pattern is shorter than the buffer), until the buffer is full.
            int32_t offset = 0;
            while (offset < m_bufferSize) {
                const auto length = static_cast<int32_t>(std::min<int64_t>(m_bufferSize - offset, total - m_position));
                Render(offset, m_position, length, grid);
                offset += length;
                m_position += length;
                if (m_position < total) break;
                m_position = 0;
                if (!m_loop) {
                    m_playing = false;
                    break;
                }
            }
        }
    }
    if (machine) machine->Unlock();
}
