#include "machine_interface/machine.h"

#include "machine_interface/vesk_host.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

CMachine::CMachine(CVeskHost* host) : CBankClient(host), m_host(host) {}

CMachine::~CMachine() {
    DeletePorts();
    DeletePrograms();
    std::free(m_name);
    std::free(m_stateBlock);
}

void CMachine::ProcessLate() {}
bool CMachine::GetGUIRect(int16_t*, int16_t*, int16_t*, int16_t*) { return false; }
WindowHandle CMachine::CreateGUI(WindowHandle) { return nullptr; }
void CMachine::OnGUIShown() {}
void CMachine::OnGUIHidden() {}
void CMachine::UpdateGUI() {}
float CMachine::GetParameter(int32_t) { return 0.0f; }

void CMachine::SetParameter(int32_t index, float value) {
    if (m_currentProgram < 0 || m_currentProgram >= m_programCount || !m_programs) return;
    Program* program = m_programs[m_currentProgram];
    if (index >= 0 && index < program->valueCount) program->values[index] = value;
}

void CMachine::AutomateParameter(int32_t index, float value) {
    if (m_host) m_host->ParameterChanged(this, index, value);
    SetParameter(index, value);
}

void CMachine::GetParameterName(int32_t, char* text) { text[0] = '\0'; }
void CMachine::GetParameterDisplay(int32_t index, char* text) { FormatParameter(index, GetParameter(index), text); }
void CMachine::FormatParameter(int32_t, float, char* text) { text[0] = '\0'; }
void CMachine::GetNoteName(int32_t, char* text) { text[0] = '\0'; }

void CMachine::SetProgram(int32_t index) {
    BeginProgramLoad();
    m_currentProgram = index;
    if (index >= 0 && index < m_programCount) {
        const Program* program = m_programs[index];
        for (int32_t i = 0; i < m_parameterCount && i < program->valueCount; ++i) SetParameter(i, program->values[i]);
    }
    EndProgramLoad();
}

void CMachine::GetProgramName(char* text) {
    if (m_currentProgram >= 0 && m_currentProgram < m_programCount)
        std::memcpy(text, m_programs[m_currentProgram]->name, sizeof(Program::name));
    else
        text[0] = '\0';
}

void CMachine::SetProgramName(const char* text) {
    if (m_currentProgram < 0 || m_currentProgram >= m_programCount) return;
    char* name = m_programs[m_currentProgram]->name;
    std::snprintf(name, sizeof(Program::name), "%s", text);
}

void CMachine::GetProgramNameIndexed(int32_t index, char* text) {
    if (index < 0 || index >= m_programCount) return;
    std::memcpy(text, m_programs[index]->name, sizeof(Program::name));
}

int32_t CMachine::GetProgram() { return m_currentProgram; }

void CMachine::ResizePortBuffers(int32_t frames) {
    for (int32_t i = 0; i < m_portCount; ++i)
        if (m_ports[i]->m_audioBuffer) m_ports[i]->m_audioBuffer->Resize(frames);
}

void CMachine::BeginProgramLoad() { ++m_programLoadDepth; }
void CMachine::EndProgramLoad() { --m_programLoadDepth; }

void CMachine::SetName(const char* name) {
    char* copy = strdup(name ? name : "");
    std::free(m_name);
    m_name = copy;
}

const char* CMachine::GetName() { return m_name; }

void CMachine::SetState(const void* data, int32_t size, bool) {
    if (!data || size < 8) return;
    const auto* bytes = static_cast<const uint8_t*>(data);
    int32_t count = 0;
    std::memcpy(&count, bytes + 4, sizeof count);
    // A count larger than the block holds applies only the values that are present, and values
    // past the machine's own parameters (a block from another machine or a damaged file) would
    // reach parameter tables beyond their ends, so they are not applied.
    const int32_t present = (size - 8) / 4;
    if (count > present) count = present;
    if (count > m_parameterCount) count = m_parameterCount;
    // Parameters run 0..1; a damaged block's values outside that range are brought to its
    // nearest end, and values that are not numbers are not applied.
    for (int32_t i = 0; i < count; ++i) {
        float value = 0.0f;
        std::memcpy(&value, bytes + 8 + 4 * i, sizeof value);
        if (std::isnan(value)) continue;
        AutomateParameter(i, std::clamp(value, 0.0f, 1.0f));
    }
}

void CMachine::GetState(const void** data, int32_t* size, bool* parameterList) {
    const int32_t count = m_parameterCount;
    const int32_t bytes = 8 + 4 * count;
    auto* block = static_cast<uint8_t*>(StateBlock(bytes));
    std::memcpy(block, kParameterListMagic, 4);
    std::memcpy(block + 4, &count, sizeof count);
    for (int32_t i = 0; i < count; ++i) {
        const float value = GetParameter(i);
        std::memcpy(block + 8 + 4 * i, &value, sizeof value);
    }
    *data = block;
    *size = bytes;
    *parameterList = true;
}

CPort* CMachine::AddPort(int32_t flags, const char* name) {
    auto** ports = static_cast<CPort**>(std::realloc(m_ports, sizeof(CPort*) * (m_portCount + 1)));
    if (!ports) throw std::bad_alloc();
    m_ports = ports;
    CPort* port = new CPort(m_host, this, flags, name);
    m_ports[m_portCount++] = port;
    return port;
}

void CMachine::DeletePorts() {
    for (int32_t i = 0; i < m_portCount; ++i) delete m_ports[i];
    std::free(m_ports);
    m_ports = nullptr;
    m_portCount = 0;
}

void CMachine::CreatePrograms(int32_t count) {
    DeletePrograms();
    if (count <= 0) return;
    m_programs = static_cast<Program**>(std::calloc(static_cast<size_t>(count), sizeof(Program*)));
    if (!m_programs) throw std::bad_alloc();
    for (int32_t p = 0; p < count; ++p) {
        auto* program = new Program{};
        program->valueCount = m_parameterCount;
        program->values = new float[static_cast<size_t>(m_parameterCount > 0 ? m_parameterCount : 1)];
        for (int32_t i = 0; i < m_parameterCount; ++i) program->values[i] = GetParameter(i);
        if (count == 1)
            std::snprintf(program->name, sizeof program->name, "Default");
        else
            std::snprintf(program->name, sizeof program->name, "Program %03i", p);
        m_programs[p] = program;
        m_programCount = p + 1;
    }
    m_currentProgram = 0;
}

void CMachine::DeletePrograms() {
    for (int32_t p = 0; p < m_programCount; ++p) {
        delete[] m_programs[p]->values;
        delete m_programs[p];
    }
    std::free(m_programs);
    m_programs = nullptr;
    m_programCount = 0;
}

void* CMachine::StateBlock(int32_t size) {
    if (size > m_stateCapacity) {
        void* block = std::realloc(m_stateBlock, static_cast<size_t>(size));
        if (!block) throw std::bad_alloc();
        m_stateBlock = block;
        m_stateCapacity = size;
    }
    return m_stateBlock;
}
