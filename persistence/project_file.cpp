#include "persistence/project_file.h"

#include "engine/studio.h"
#include "machine_interface/machine.h"
#include "machine_interface/machine_registry.h"
#include "machine_interface/port.h"
#include "machine_interface/vesk_host.h"
#include "platform/error.h"
#include "sequencer/sequencer.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr uint8_t kMagic[4] = {' ', 'P', 'B', 'T'};
constexpr int32_t kTextFieldSize = 1024;
constexpr char kLegacyBassName[24] = "VeskPlug::QX BrainSynth";
constexpr char kBassName[] = "VeskPlug::QX BassHead";
constexpr const char* kMidiInputIdentifier = "QX MIDI Input";

// Little-endian output into a growing byte block.
class CByteWriter {
public:
    void Bytes(const void* data, size_t size) {
        const auto* bytes = static_cast<const uint8_t*>(data);
        m_bytes.insert(m_bytes.end(), bytes, bytes + size);
    }
    void Int32(int32_t value) {
        uint8_t bytes[4];
        const auto bits = static_cast<uint32_t>(value);
        for (int i = 0; i < 4; ++i)
            bytes[i] = static_cast<uint8_t>(bits >> (8 * i));
        Bytes(bytes, 4);
    }
    void Float(float value) {
        uint32_t bits;
        std::memcpy(&bits, &value, 4);
        Int32(static_cast<int32_t>(bits));
    }
    void Byte(uint8_t value) { m_bytes.push_back(value); }
    // A NUL-terminated text in a fixed field, zeros after it (readers ignore those bytes).
    void Text(const std::string& text, size_t field) {
        const size_t length = std::min(text.size(), field - 1);
        Bytes(text.data(), length);
        m_bytes.insert(m_bytes.end(), field - length, 0);
    }
    // A size-prefixed block.
    void Block(const std::vector<uint8_t>& block) {
        Int32(static_cast<int32_t>(block.size()));
        Bytes(block.data(), block.size());
    }
    std::vector<uint8_t>& Result() { return m_bytes; }

private:
    std::vector<uint8_t> m_bytes;
};

// Reads items off the file's bytes; every short read is the file's corruption.
class CByteReader {
public:
    CByteReader(const uint8_t* data, size_t size, const std::string& path)
        : m_data(data), m_size(size), m_path(path) {}

    [[noreturn]] void Corrupt() const { platform::Raise("File '%s' Is Corrupt", m_path.c_str()); }
    size_t Remaining() const { return m_size - m_position; }
    const uint8_t* Take(size_t size) {
        if (size > Remaining()) Corrupt();
        const uint8_t* at = m_data + m_position;
        m_position += size;
        return at;
    }
    int32_t Int32() {
        const uint8_t* bytes = Take(4);
        uint32_t bits = 0;
        for (int i = 0; i < 4; ++i)
            bits |= static_cast<uint32_t>(bytes[i]) << (8 * i);
        return static_cast<int32_t>(bits);
    }
    float Float() {
        const auto bits = static_cast<uint32_t>(Int32());
        float value;
        std::memcpy(&value, &bits, 4);
        return value;
    }
    // A size the file states for the item that follows: never negative, never beyond the file's
    // end, never above the per-item cap.
    size_t ItemSize() {
        const int32_t size = Int32();
        if (size < 0 || static_cast<uint32_t>(size) > kMaxProjectItemSize ||
            static_cast<size_t>(size) > Remaining())
            Corrupt();
        return static_cast<size_t>(size);
    }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_position = 0;
    const std::string& m_path;
};

// A fixed text field up to its first NUL (the whole field when it has none).
std::string FieldText(const uint8_t* field, size_t size) {
    const auto* text = reinterpret_cast<const char*>(field);
    return std::string(text, strnlen(text, size));
}

void NumberMachines(CStudio& studio) {
    int32_t index = 0;
    for (CMachineContainer* frame : studio.Frames()) {
        CMachine* machine = frame->Machine();
        machine->m_projectIndex = index++;
        for (int32_t p = 0; p < machine->m_portCount; ++p)
            machine->m_ports[p]->m_portIndex = p;
    }
}

// The descriptor for a stored identifier. Files of earlier versions stored the empty identifier
// for every host machine but the master; those load as the MIDI input, which was the first
// registered of them.
CMachineInfo* FindDescriptor(const MachineRegistry& registry, const std::string& identifier) {
    if (CMachineInfo* info = registry.FindByIdentifier(identifier.c_str())) return info;
    if (identifier.empty()) return registry.FindByIdentifier(kMidiInputIdentifier);
    return nullptr;
}

// A size-prefixed blob handed to its reader; the reader's own complaint names the file as corrupt.
template <typename Reader> void ReadBlob(CByteReader& in, const std::string& path, Reader read) {
    const size_t size = in.ItemSize();
    const uint8_t* blob = in.Take(size);
    try {
        read(blob, size);
    } catch (const platform::CError& error) {
        platform::Raise("File '%s' Is Corrupt (%s)", path.c_str(), error.what());
    }
}

bool HasInfoText(ProjectVersion version) {
    return version.major >= 3 || (version.major == 2 && version.minor == 1);
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Writing

std::vector<uint8_t> WriteProjectBytes(CStudio& studio, CSequencer& sequencer, const std::string& info) {
    CMutexLock lock(studio.Mutex());
    const std::vector<CMachineContainer*>& frames = studio.Frames();
    CByteWriter out;
    out.Bytes(kMagic, 4);
    out.Byte(static_cast<uint8_t>(kProjectMajorVersion));
    out.Byte(static_cast<uint8_t>(kProjectMinorVersion));
    out.Float(studio.Host()->GetBPM());
    out.Int32(static_cast<int32_t>(frames.size()));

    NumberMachines(studio);
    for (CMachineContainer* frame : frames) {
        CMachine* machine = frame->Machine();
        const void* state = nullptr;
        int32_t stateSize = 0;
        bool parameterList = false;
        machine->GetState(&state, &stateSize, &parameterList);
        if (stateSize < 0 || (stateSize > 0 && !state))
            platform::Raise("Machine '%s' Returned An Invalid State", frame->m_name.c_str());
        out.Text(frame->m_name, kTextFieldSize);
        out.Text(frame->Info()->m_identifier, kTextFieldSize);
        out.Int32(frame->m_x);
        out.Int32(frame->m_y);
        out.Int32(frame->m_panelMode);
        out.Int32(stateSize);
        out.Byte(parameterList ? 1 : 0);
        out.Bytes(state, static_cast<size_t>(stateSize));
    }

    for (CMachineContainer* frame : frames) {
        CByteWriter cables;
        int32_t count = 0;
        for (int32_t c = 0; c < frame->ConnectorCount(); ++c)
            count += frame->Connector(c)->m_connections.Count();
        cables.Int32(count);
        for (int32_t c = 0; c < frame->ConnectorCount(); ++c) {
            const CConnector* input = frame->Connector(c);
            for (const CConnection* cable : input->m_connections) {
                cables.Int32(cable->m_source->m_frame->Machine()->m_projectIndex);
                cables.Int32(cable->m_source->m_port->m_portIndex);
                cables.Int32(frame->Machine()->m_projectIndex);
                cables.Int32(input->m_port->m_portIndex);
                cables.Float(cable->TargetVolume());
            }
        }
        out.Block(cables.Result());
        out.Block(sequencer.WritePatternBlob(frame->Machine()->m_projectIndex));
    }
    // After every pattern blob: those numbered the serials the song refers to.
    out.Block(sequencer.WriteSequenceBlob());

    out.Int32(static_cast<int32_t>(info.size() + 1));
    out.Bytes(info.c_str(), info.size() + 1);
    return std::move(out.Result());
}

// ---------------------------------------------------------------------------------------------
// Reading

std::string ReadProjectBytes(CStudio& studio, CSequencer& sequencer, const uint8_t* data, size_t size,
                             const std::string& path, ProjectVersion* versionOut) {
    CByteReader in(data, size, path);
    const uint8_t* header = in.Take(6);
    if (std::memcmp(header, kMagic, 4) != 0) in.Corrupt();
    ProjectVersion version{static_cast<int8_t>(header[4]), static_cast<int8_t>(header[5])};
    if (version.major > 3) platform::Raise("File '%s' Has Incompatible Version Number", path.c_str());
    if (versionOut) *versionOut = version;
    const float tempo = in.Float();
    // A tempo that is not a positive number would stop time in the sequencer.
    if (!std::isfinite(tempo) || tempo <= 0.0f) in.Corrupt();
    studio.Host()->SetBPM(tempo);

    const int32_t machineCount = in.Int32();
    if (machineCount < 0 || static_cast<size_t>(machineCount) > in.Remaining() / kMachineRecordSize)
        in.Corrupt();

    const MachineRegistry& registry = *studio.Host()->Registry();
    std::vector<CMachine*> machines;
    for (int32_t i = 0; i < machineCount; ++i) {
        uint8_t record[kMachineRecordSize];
        std::memcpy(record, in.Take(kMachineRecordSize), kMachineRecordSize);
        // Projects of the bass synthesizer's earlier name carry it in the name field.
        if (std::memcmp(record, kLegacyBassName, sizeof kLegacyBassName) == 0)
            std::memcpy(record, kBassName, sizeof kBassName);
        const std::string name = FieldText(record, kTextFieldSize);
        const std::string identifier = FieldText(record + kTextFieldSize, kTextFieldSize);
        auto field = [&record](size_t offset) {
            uint32_t bits = 0;
            for (int b = 0; b < 4; ++b)
                bits |= static_cast<uint32_t>(record[offset + b]) << (8 * b);
            return static_cast<int32_t>(bits);
        };
        const int32_t x = field(2048), y = field(2052), panelMode = field(2056), stateSize = field(2060);
        const bool parameterList = record[2064] != 0;
        if (stateSize < 0 || static_cast<uint32_t>(stateSize) > kMaxProjectItemSize) in.Corrupt();
        const uint8_t* state = in.Take(static_cast<size_t>(stateSize));

        CMachineInfo* info = FindDescriptor(registry, identifier);
        if (!info)
            platform::Raise("Machine of Name '%s' and UniqueID '%s' Could Not Be Loaded", name.c_str(),
                            identifier.c_str());
        CMachineContainer* frame =
            studio.CreateFrame(info->CreateMachine(), info, name.c_str(), x, y,
                               stateSize > 0 ? state : nullptr, stateSize, parameterList);
        frame->m_panelMode = panelMode;
        CMachine* machine = frame->Machine();
        machine->m_projectIndex = i;
        for (int32_t p = 0; p < machine->m_portCount; ++p)
            machine->m_ports[p]->m_portIndex = p;
        machines.push_back(machine);
    }

    const size_t cableRecord = version.major <= 1 ? 16 : 20;
    for (int32_t i = 0; i < machineCount; ++i) {
        const size_t blockSize = in.ItemSize();
        CByteReader cables(in.Take(blockSize), blockSize, path);
        const int32_t count = cables.Int32();
        if (count < 0 || static_cast<size_t>(count) > cables.Remaining() / cableRecord) in.Corrupt();
        for (int32_t c = 0; c < count; ++c) {
            const int32_t sourceMachine = cables.Int32();
            const int32_t sourcePort = cables.Int32();
            const int32_t destinationMachine = cables.Int32();
            const int32_t destinationPort = cables.Int32();
            const float volume = cableRecord == 20 ? cables.Float() : 1.0f;
            // Indices that name nothing connect nothing.
            studio.ConnectByIndices(sourceMachine, sourcePort, destinationMachine, destinationPort, volume);
        }
        ReadBlob(in, path, [&sequencer](const uint8_t* blob, size_t blobSize) {
            sequencer.ReadPatternBlob(blob, blobSize);
        });
    }
    // After every pattern blob: the song finds its patterns by their serials.
    ReadBlob(in, path, [&sequencer](const uint8_t* blob, size_t blobSize) {
        sequencer.ReadSequenceBlob(blob, blobSize);
    });

    if (!HasInfoText(version)) return {};
    const int32_t length = in.Int32();
    if (length < 1) return {};
    if (static_cast<uint32_t>(length) > kMaxProjectItemSize) in.Corrupt();
    const uint8_t* text = in.Take(static_cast<size_t>(length));
    return FieldText(text, static_cast<size_t>(length));
}

// ---------------------------------------------------------------------------------------------
// The open project

CProject::CProject(CStudio* studio, CSequencer* sequencer) : m_studio(studio), m_sequencer(sequencer) {}

void CProject::New() {
    m_path.clear();
    m_info.clear();
    m_incomplete = false;
    m_version = ProjectVersion{};
    m_studio->NewProject();
}

void CProject::Open(const std::filesystem::path& path) {
    m_studio->Clear();
    m_path = path;
    m_info.clear();
    m_incomplete = true; // until the last item has been read
    m_version = ProjectVersion{};
    const std::string shown = path.string();
    std::vector<uint8_t> bytes;
    {
        std::FILE* file = std::fopen(shown.c_str(), "rb");
        if (!file) platform::Raise("Failed To Open File '%s' For Reading", shown.c_str());
        uint8_t chunk[65536];
        size_t n = 0;
        while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0)
            bytes.insert(bytes.end(), chunk, chunk + n);
        const bool failed = std::ferror(file) != 0;
        std::fclose(file);
        if (failed) platform::Raise("Failed To Open File '%s' For Reading", shown.c_str());
    }
    m_info = ReadProjectBytes(*m_studio, *m_sequencer, bytes.data(), bytes.size(), shown, &m_version);
    m_incomplete = false;
}

void CProject::Save() {
    if (m_path.empty()) platform::Raise("No Project Path");
    if (m_incomplete)
        platform::Raise("Project '%s' Was Loaded Incompletely; Save It Under Another Name", m_path.c_str());
    WriteFileSafely(m_path, WriteProjectBytes(*m_studio, *m_sequencer, m_info));
}

void CProject::SaveAs(const std::filesystem::path& path) {
    WriteFileSafely(path, WriteProjectBytes(*m_studio, *m_sequencer, m_info));
    m_path = path;
    m_incomplete = false;
}

std::string CProject::WindowTitle() const {
    if (m_path.empty()) return "Tamborel Studio";
    return "Tamborel Studio - " + m_path.filename().string();
}
