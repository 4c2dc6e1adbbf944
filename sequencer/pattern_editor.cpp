#include "sequencer/pattern_editor.h"

#include "engine/change_counter.h"
#include "machine_interface/machine.h"
#include "machine_interface/port.h"
#include "platform/error.h"
#include "sequencer/edit_lock.h"
#include "sequencer/pattern_list_listener.h"
#include "sequencer/sequence.h"

#include <algorithm>

namespace {

constexpr const char* kKeyNames[12] = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};

float ClampValue(float value) {
    if (!(value >= 0.0f)) return 0.0f; // also NaN
    return std::min(value, 1.0f);
}

} // namespace

CPatternEditor::CPatternEditor(CVeskHost* host, CMutex* editorMutex) : m_host(host), m_mutex(editorMutex) {}

CPatternEditor::~CPatternEditor() {
    for (Pattern* pattern : m_patterns) delete pattern;
}

void CPatternEditor::AddListener(CPatternEditorListener* listener) { m_listeners.push_back(listener); }

void CPatternEditor::RemoveListener(CPatternEditorListener* listener) {
    m_listeners.erase(std::remove(m_listeners.begin(), m_listeners.end(), listener), m_listeners.end());
}

void CPatternEditor::Notify(PatternEditorChange change) {
    if (m_changes && (change == PatternEditorChange::Notes || change == PatternEditorChange::ControlTracks ||
                      change == PatternEditorChange::ControlSteps))
        m_changes->Raise();
    for (CPatternEditorListener* listener : m_listeners) listener->PatternEditorChanged(change);
}

bool CPatternEditor::IsListed(const CMachine* machine) const {
    return machine && std::find(m_machines.begin(), m_machines.end(), machine) != m_machines.end();
}

bool CPatternEditor::IsNamed() const {
    const CMachine* machine = m_current ? m_current->Machine() : m_machine;
    return machine && machine->m_namedNoteCount > 0;
}

// ----- Studio -----

void CPatternEditor::MachineAdded(CMachine* machine) {
    if (!machine || IsListed(machine)) return;
    bool hasControlInput = false;
    for (int32_t i = 0; i < machine->m_portCount; ++i) hasControlInput |= IsControlInput(machine->m_ports[i]);
    if (!hasControlInput) return;
    m_machines.push_back(machine);
    if (m_song)
        for (int32_t i = 0; i < machine->m_portCount; ++i)
            if (IsControlInput(machine->m_ports[i])) m_song->AnnounceControlPort(machine->m_ports[i]);
    Notify(PatternEditorChange::Machines);
}

void CPatternEditor::MachineRemoved(CMachine* machine) {
    if (!machine) return;
    for (int32_t i = m_patterns.Count() - 1; i >= 0; --i)
        if (m_patterns[i]->Machine() == machine) DestroyListed(i, false);
    {
        CEditLock lock(m_mutex);
        std::erase_if(m_released, [machine](const ReleasedNoteOff& off) { return off.port->m_owner == machine; });
    }
    const auto it = std::find(m_machines.begin(), m_machines.end(), machine);
    if (it == m_machines.end()) return;
    m_machines.erase(it);
    if (m_machine == machine) {
        m_machine = nullptr;
        m_ports.clear();
        m_port = nullptr;
        m_parameters.clear();
        m_propertyIndex = -1;
        Notify(PatternEditorChange::Selection);
    }
    Notify(PatternEditorChange::Machines);
}

void CPatternEditor::Clear() {
    CArray<Pattern> gone;
    {
        CEditLock lock(m_mutex);
        for (Pattern* pattern : m_patterns) gone.Add(pattern);
        m_patterns.Clear();
        m_released.clear(); // their machines go with the project
        m_current = nullptr;
        m_dragNote = nullptr;
        m_dragLane = -1;
    }
    for (Pattern* pattern : gone) {
        if (m_song) m_song->PatternRemoved(pattern);
        delete pattern;
    }
    Notify(PatternEditorChange::Selection);
}

void CPatternEditor::SetSampleRate(int32_t rate) {
    CEditLock lock(m_mutex);
    for (Pattern* pattern : m_patterns) pattern->SetSampleRate(rate);
}

void CPatternEditor::SetBufferSize(int32_t frames) {
    CEditLock lock(m_mutex);
    for (Pattern* pattern : m_patterns) pattern->SetBufferSize(frames);
}

// ----- Boxes -----

void CPatternEditor::FillPorts() {
    m_ports.clear();
    if (!m_machine) return;
    for (int32_t i = 0; i < m_machine->m_portCount; ++i) {
        CPort* port = m_machine->m_ports[i];
        if (!IsControlInput(port)) continue;
        m_ports.push_back(port);
        if (m_song) m_song->AnnounceControlPort(port);
    }
}

void CPatternEditor::FillParameters() {
    m_parameters.clear();
    m_propertyIndex = -1;
    if (!m_port || !m_port->m_owner) return;
    m_parameters.push_back(kVelocityParameter);
    for (int32_t i = 0; i < m_port->m_owner->m_parameterCount; ++i) m_parameters.push_back(i);
    m_propertyIndex = 0;
}

void CPatternEditor::SelectMachine(CMachine* machine) {
    MakeCurrent(nullptr);
    if (!machine || machine == m_machine || !IsListed(machine)) {
        m_machine = nullptr;
        m_ports.clear();
        m_port = nullptr;
        FillParameters();
        Notify(PatternEditorChange::Selection);
        return;
    }
    m_machine = machine;
    m_port = nullptr;
    FillPorts();
    // The first port is selected without moving any pattern: none is current at this point.
    m_port = m_ports.empty() ? nullptr : m_ports.front();
    FillParameters();
    const std::vector<Pattern*> patterns = MachinePatterns();
    MakeCurrent(patterns.empty() ? nullptr : patterns.front());
    Notify(PatternEditorChange::Selection);
}

void CPatternEditor::SelectPort(int32_t index) {
    if (index < 0 || index >= static_cast<int32_t>(m_ports.size())) {
        m_port = nullptr;
        FillParameters();
        Notify(PatternEditorChange::Selection);
        return;
    }
    m_port = m_ports[static_cast<size_t>(index)];
    FillParameters();
    if (m_current && m_current->Port() != m_port) {
        // Notes it holds end on the port they were started on.
        CEditLock lock(m_mutex);
        ReleaseHeldNotes(m_current);
        m_current->SetPort(m_port);
    }
    Notify(PatternEditorChange::Selection);
}

std::vector<Pattern*> CPatternEditor::MachinePatterns() const {
    std::vector<Pattern*> patterns;
    if (!m_machine) return patterns;
    for (Pattern* pattern : m_patterns)
        if (pattern->Machine() == m_machine) patterns.push_back(pattern);
    return patterns;
}

void CPatternEditor::SelectPattern(int32_t index) {
    const std::vector<Pattern*> patterns = MachinePatterns();
    MakeCurrent(index >= 0 && index < static_cast<int32_t>(patterns.size()) ? patterns[static_cast<size_t>(index)] : nullptr);
    Notify(PatternEditorChange::Selection);
}

void CPatternEditor::MakeCurrent(Pattern* pattern) {
    CEditLock lock(m_mutex);
    if (pattern == m_current) return;
    if (m_playDown && m_current) m_current->Stop(true);
    m_current = pattern;
    m_dragNote = nullptr;
    m_dragLane = -1;
    if (m_playDown && m_current) {
        m_current->SetLoop(m_loopDown);
        m_current->Start(true);
    }
}

std::vector<std::string> CPatternEditor::PropertyNames() const {
    std::vector<std::string> names;
    CMachine* machine = m_port ? m_port->m_owner : nullptr;
    for (const int32_t parameter : m_parameters) {
        if (parameter == kVelocityParameter) {
            names.emplace_back("Velocity");
            continue;
        }
        char text[256] = {};
        machine->GetParameterName(parameter, text);
        names.emplace_back(text[0] ? std::string(text) : platform::FormatText("Property %i", parameter));
    }
    return names;
}

void CPatternEditor::SelectProperty(int32_t index) {
    m_propertyIndex = index >= 0 && index < static_cast<int32_t>(m_parameters.size()) ? index : -1;
    Notify(PatternEditorChange::Selection);
}

int32_t CPatternEditor::SelectedParameter() const {
    return m_propertyIndex >= 0 ? m_parameters[static_cast<size_t>(m_propertyIndex)] : kVelocityParameter;
}

bool CPatternEditor::SetNoteLength(int32_t steps) {
    if (steps < 1 || steps > kMaxNoteLength) return false;
    m_noteLength = steps;
    return true;
}

bool CPatternEditor::SetNewPatternLength(int32_t beats) {
    if (std::find(std::begin(kPatternLengths), std::end(kPatternLengths), beats) == std::end(kPatternLengths)) return false;
    m_newPatternLength = beats;
    return true;
}

// ----- Buttons -----

std::string CPatternEditor::FreePatternName(CMachine* machine) const {
    for (int32_t i = 1;; ++i) {
        const std::string name = platform::FormatText("Pattern %i", i);
        bool taken = false;
        for (const Pattern* pattern : m_patterns)
            taken |= pattern->Machine() == machine && name == pattern->Name();
        if (!taken) return name;
    }
}

void CPatternEditor::AppendPattern(Pattern* pattern) {
    if (m_changes) m_changes->Raise();
    {
        CEditLock lock(m_mutex);
        m_patterns.Add(pattern);
    }
    if (m_song) m_song->PatternAdded(pattern);
}

Pattern* CPatternEditor::AddPattern() {
    if (!m_machine || !m_port) return nullptr;
    auto* pattern = new Pattern(m_host, m_mutex, m_newPatternLength, FreePatternName(m_machine).c_str(), m_port);
    AppendPattern(pattern);
    MakeCurrent(pattern);
    Notify(PatternEditorChange::Selection);
    return pattern;
}

void CPatternEditor::DestroyListed(int32_t index, bool releaseNotes) {
    if (m_changes) m_changes->Raise();
    Pattern* pattern;
    {
        CEditLock lock(m_mutex);
        if (releaseNotes) ReleaseHeldNotes(m_patterns[index]);
        pattern = m_patterns.RemoveItem(index);
        if (pattern == m_current) {
            m_current = nullptr;
            m_dragNote = nullptr;
            m_dragLane = -1;
        }
    }
    // The song drops the pattern's placements before the pattern goes.
    if (m_song) m_song->PatternRemoved(pattern);
    delete pattern;
}

void CPatternEditor::RemovePattern() {
    if (!m_current) return;
    std::vector<Pattern*> patterns = MachinePatterns();
    const auto place = std::find(patterns.begin(), patterns.end(), m_current) - patterns.begin();
    DestroyListed(m_patterns.Find(m_current));
    patterns = MachinePatterns();
    Pattern* next = nullptr;
    if (!patterns.empty()) next = place < static_cast<ptrdiff_t>(patterns.size()) ? patterns[static_cast<size_t>(place)] : patterns.back();
    MakeCurrent(next);
    Notify(PatternEditorChange::Selection);
}

Pattern* CPatternEditor::CreatePattern(CPort* port, int32_t lengthBeats, const char* name) {
    if (!IsControlInput(port) || !IsListed(port->m_owner) || lengthBeats < 1 || lengthBeats > kMaxSongLength) return nullptr;
    const std::string freeName = name ? std::string(name) : FreePatternName(port->m_owner);
    auto* pattern = new Pattern(m_host, m_mutex, lengthBeats, freeName.c_str(), port);
    AppendPattern(pattern);
    if (port->m_owner == m_machine) Notify(PatternEditorChange::Selection);
    return pattern;
}

void CPatternEditor::DestroyPattern(Pattern* pattern) {
    const int32_t index = m_patterns.Find(pattern);
    if (index < 0) return;
    const bool wasCurrent = pattern == m_current;
    DestroyListed(index);
    if (wasCurrent) Notify(PatternEditorChange::Selection);
}

void CPatternEditor::MovePattern(Pattern* pattern, int32_t index) {
    const int32_t from = m_patterns.Find(pattern);
    if (from < 0) return;
    {
        CEditLock lock(m_mutex);
        m_patterns.RemoveItem(from);
        m_patterns.Insert(std::clamp(index, 0, m_patterns.Count()), pattern);
    }
    if (m_changes) m_changes->Raise();
    if (pattern->Machine() == m_machine) Notify(PatternEditorChange::Selection);
}

void CPatternEditor::OrderMachines(const std::vector<CMachine*>& order) {
    auto rank = [&order](const CMachine* machine) {
        return std::find(order.begin(), order.end(), machine) - order.begin();
    };
    const std::vector<CMachine*> before = m_machines;
    std::stable_sort(m_machines.begin(), m_machines.end(),
                     [&rank](const CMachine* a, const CMachine* b) { return rank(a) < rank(b); });
    if (m_machines != before) Notify(PatternEditorChange::Machines);
}

void CPatternEditor::PatternChanged(Pattern* pattern) {
    if (m_changes) m_changes->Raise();
    if (pattern != m_current) return;
    m_dragNote = nullptr;
    m_dragLane = -1;
    Notify(PatternEditorChange::Selection);
    Notify(PatternEditorChange::ControlTracks);
    Notify(PatternEditorChange::Notes);
}

bool CPatternEditor::AddControlTrack() {
    if (!m_current || m_propertyIndex < 0) return false;
    const int32_t parameter = SelectedParameter();
    if (m_current->FindControlTrack(parameter) >= 0) return false;
    m_current->AddControlTrack(parameter);
    Notify(PatternEditorChange::ControlTracks);
    return true;
}

bool CPatternEditor::RemoveControlTrack() {
    if (!m_current || m_propertyIndex < 0) return false;
    const int32_t index = m_current->FindControlTrack(SelectedParameter());
    if (index < 0) return false;
    m_dragLane = -1;
    m_current->RemoveControlTrack(index);
    Notify(PatternEditorChange::ControlTracks);
    return true;
}

// ----- Note grid -----

int32_t CPatternEditor::RowCount() const {
    const CMachine* machine = m_current ? m_current->Machine() : m_machine;
    if (!machine) return 0;
    return machine->m_namedNoteCount > 0 ? machine->m_namedNoteCount : kOrdinaryNoteCount;
}

int32_t CPatternEditor::NoteForRow(int32_t row) const { return IsNamed() ? row : kOrdinaryNoteCount - 1 - row; }

int32_t CPatternEditor::RowForNote(int32_t note) const { return IsNamed() ? note : kOrdinaryNoteCount - 1 - note; }

std::string CPatternEditor::NoteLabel(int32_t note) const {
    if (IsNamed()) {
        char text[256] = {};
        CMachine* machine = m_current ? m_current->Machine() : m_machine;
        machine->GetNoteName(note, text);
        return text;
    }
    if (note < 0) return {};
    return platform::FormatText("%s-%i", kKeyNames[note % 12], note / 12);
}

bool CPatternEditor::IsValidNote(int32_t start, int32_t length, int32_t note, const PatternNote* ignore) const {
    if (!m_current) return false;
    if (note < 0 || note >= RowCount()) return false;
    const int32_t steps = m_current->StepCount();
    if (length < 1 || start < 0 || start >= steps || start + length > steps) return false;
    for (const PatternNote* other = m_current->FirstNote(); other; other = other->next) {
        if (other == ignore || other->note != note) continue;
        if (start < other->start + other->length && other->start < start + length) return false;
    }
    return true;
}

PatternNote* CPatternEditor::NoteAt(int32_t step, int32_t note) const {
    if (!m_current) return nullptr;
    for (PatternNote* other = m_current->FirstNote(); other; other = other->next)
        if (other->note == note && step >= other->start && step < other->start + other->length) return other;
    return nullptr;
}

PatternNote* CPatternEditor::AddNoteAt(int32_t step, int32_t note) {
    if (!IsValidNote(step, m_noteLength, note, nullptr)) return nullptr;
    PatternNote* added = m_current->AddNote(step, m_noteLength, note);
    Notify(PatternEditorChange::Notes);
    return added;
}

void CPatternEditor::RemoveNote(PatternNote* note) {
    if (!m_current || !note) return;
    m_dragNote = nullptr;
    m_current->RemoveNote(note);
    Notify(PatternEditorChange::Notes);
}

void CPatternEditor::BeginNoteDrag(PatternNote* note, NoteZone zone) {
    if (!m_current || !note) return;
    m_dragNote = note;
    m_dragZone = zone;
    m_dragStart = note->start;
    m_dragLength = note->length;
    m_dragPitch = note->note;
}

bool CPatternEditor::DragNote(int32_t steps, int32_t rowsDown) {
    PatternNote* note = m_dragNote;
    if (!m_current || !note) return false;
    int32_t start = note->start, length = note->length, pitch = note->note;
    switch (m_dragZone) {
    case NoteZone::Move: {
        const int32_t newStart = m_dragStart + steps;
        const int32_t newPitch = IsNamed() ? m_dragPitch + rowsDown : m_dragPitch - rowsDown;
        if (IsValidNote(newStart, length, newPitch, note)) {
            start = newStart;
            pitch = newPitch;
        } else if (IsValidNote(note->start, length, newPitch, note)) {
            pitch = newPitch;
        } else if (IsValidNote(newStart, length, note->note, note)) {
            start = newStart;
        }
        break;
    }
    case NoteZone::ResizeStart: {
        const int32_t newLength = m_dragLength - steps;
        if (newLength > 0 && IsValidNote(m_dragStart + steps, newLength, note->note, note)) {
            start = m_dragStart + steps;
            length = newLength;
        }
        break;
    }
    case NoteZone::ResizeEnd: {
        const int32_t newLength = m_dragLength + steps;
        if (newLength > 0 && IsValidNote(note->start, newLength, note->note, note)) length = newLength;
        break;
    }
    }
    if (start == note->start && length == note->length && pitch == note->note) return false;
    m_current->SetNote(note, start, length, pitch);
    Notify(PatternEditorChange::Notes);
    return true;
}

// ----- Control lanes -----

bool CPatternEditor::PressStep(int32_t lane, int32_t step, float value) {
    if (!m_current || lane < 0 || lane >= m_current->ControlTrackCount()) return false;
    const ControlTrack* track = m_current->GetControlTrack(lane);
    if (step < 0 || step >= static_cast<int32_t>(track->steps.size())) return false;
    if (track->steps[static_cast<size_t>(step)].set) return false;
    m_current->SetControlStep(lane, step, ClampValue(value));
    Notify(PatternEditorChange::ControlSteps);
    return true;
}

void CPatternEditor::BeginStepDrag(int32_t lane, int32_t step) {
    if (!m_current || lane < 0 || lane >= m_current->ControlTrackCount()) return;
    const ControlTrack* track = m_current->GetControlTrack(lane);
    if (step < 0 || step >= static_cast<int32_t>(track->steps.size())) return;
    m_dragLane = lane;
    m_dragStep = step;
    m_dragValue = track->steps[static_cast<size_t>(step)].value;
}

float CPatternEditor::DragStep(float change) {
    if (!m_current || m_dragLane < 0) return 0.0f;
    const float value = ClampValue(m_dragValue + change);
    m_current->SetControlStep(m_dragLane, m_dragStep, value);
    Notify(PatternEditorChange::ControlSteps);
    return value;
}

void CPatternEditor::ClearStep(int32_t lane, int32_t step) {
    if (!m_current) return;
    m_dragLane = -1;
    m_current->ClearControlStep(lane, step);
    Notify(PatternEditorChange::ControlSteps);
}

std::string CPatternEditor::LaneLabel(int32_t lane) const {
    if (!m_current || lane < 0 || lane >= m_current->ControlTrackCount()) return {};
    const int32_t parameter = m_current->GetControlTrack(lane)->parameter;
    if (parameter == kVelocityParameter) return "Velocity";
    char text[256] = {};
    if (CMachine* machine = m_current->Machine()) machine->GetParameterName(parameter, text);
    return text[0] ? std::string(text) : platform::FormatText("Property %i", parameter);
}

std::string CPatternEditor::LaneValueText(int32_t lane, float value) const {
    if (!m_current || lane < 0 || lane >= m_current->ControlTrackCount()) return {};
    char text[256] = {};
    if (CMachine* machine = m_current->Machine()) machine->FormatParameter(m_current->GetControlTrack(lane)->parameter, value, text);
    return text;
}

// ----- Pattern list and blobs -----

Pattern* CPatternEditor::FindBySerial(int32_t serial) const {
    for (Pattern* pattern : m_patterns)
        if (pattern->m_serial == serial) return pattern;
    return nullptr;
}
