#include "persistence/project_file.h"

#include "engine/studio.h"
#include "machine_interface/machine.h"
#include "machine_interface/machine_registry.h"
#include "machine_interface/port.h"
#include "machine_interface/vesk_host.h"
#include "platform/error.h"
#include "sequencer/sequencer.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdint>
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

// The identity facts of a machine type ride in the identifier field behind its NUL, at a fixed
// offset, framed by a tag, a length and a checksum: readers that take the identifier as text
// never see them, and the undefined bytes older writers left there are never taken for them.
constexpr size_t kIdentityOffset = 512;
constexpr uint8_t kIdentityTag[5] = {'T', 'b', 'I', 'd', 1};
constexpr size_t kIdentityRoom = size_t{kTextFieldSize} - kIdentityOffset - sizeof kIdentityTag - 2 - 4;

uint32_t Fnv1a(const uint8_t* data, size_t size) {
    uint32_t hash = 2166136261u;
    for (size_t i = 0; i < size; ++i) {
        hash ^= data[i];
        hash *= 16777619u;
    }
    return hash;
}

using IdentityFacts = std::vector<std::pair<std::string, std::string>>;

// The identifier field of a record: the identifier (all of its bytes, also those behind an early
// zero), then the identity facts when the type has any.
std::vector<uint8_t> IdentifierField(const char* identifier, const MachineIdentity* identity) {
    std::vector<uint8_t> field(size_t{kTextFieldSize}, 0);
    size_t length = std::min(std::strlen(identifier), size_t{kTextFieldSize} - 1);
    if (identity && identity->identifierSize > 0)
        length = std::max(length, std::min<size_t>(static_cast<size_t>(identity->identifierSize), kIdentityOffset));
    std::memcpy(field.data(), identifier, length);
    if (!identity || identity->facts.empty()) return field;
    std::string payload;
    for (const auto& [key, value] : identity->facts)
        payload += key + "=" + value + "\n";
    if (payload.size() > kIdentityRoom) return field; // never cut: facts are whole or absent
    uint8_t* at = field.data() + kIdentityOffset;
    std::memcpy(at, kIdentityTag, sizeof kIdentityTag);
    at += sizeof kIdentityTag;
    at[0] = static_cast<uint8_t>(payload.size() & 0xFF);
    at[1] = static_cast<uint8_t>(payload.size() >> 8);
    at += 2;
    std::memcpy(at, payload.data(), payload.size());
    const uint32_t sum = Fnv1a(at, payload.size());
    at += payload.size();
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<uint8_t>(sum >> (8 * i));
    return field;
}

// The facts stored in an identifier field; empty when it holds none (or only unrelated bytes).
IdentityFacts StoredIdentity(const uint8_t* field) {
    const uint8_t* at = field + kIdentityOffset;
    if (std::memcmp(at, kIdentityTag, sizeof kIdentityTag) != 0) return {};
    at += sizeof kIdentityTag;
    const size_t size = static_cast<size_t>(at[0]) | static_cast<size_t>(at[1]) << 8;
    at += 2;
    if (size > kIdentityRoom) return {};
    uint32_t sum = 0;
    for (int i = 0; i < 4; ++i)
        sum |= static_cast<uint32_t>(at[size + static_cast<size_t>(i)]) << (8 * i);
    if (sum != Fnv1a(at, size)) return {};
    IdentityFacts facts;
    const std::string payload(reinterpret_cast<const char*>(at), size);
    size_t start = 0;
    while (start < payload.size()) {
        size_t end = payload.find('\n', start);
        if (end == std::string::npos) end = payload.size();
        const std::string line = payload.substr(start, end - start);
        const size_t equals = line.find('=');
        if (equals != std::string::npos) facts.emplace_back(line.substr(0, equals), line.substr(equals + 1));
        start = end + 1;
    }
    return facts;
}

std::string Lowered(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// How well a type's names fit an instance name: the default instance names are a type's name,
// perhaps with a number after it, so a whole name counts most, then the longest shared start.
size_t NameScore(const std::string& instanceName, const CMachineInfo* info, const MachineIdentity* identity) {
    std::string wanted = Lowered(instanceName);
    while (!wanted.empty() && (std::isdigit(static_cast<unsigned char>(wanted.back())) || wanted.back() == ' '))
        wanted.pop_back();
    std::vector<std::string> names{info->m_displayName};
    if (identity) names.insert(names.end(), identity->names.begin(), identity->names.end());
    size_t best = 0;
    for (const std::string& name : names) {
        const std::string candidate = Lowered(name);
        if (candidate.empty()) continue;
        if (candidate == wanted || candidate == Lowered(instanceName)) return SIZE_MAX;
        size_t shared = 0;
        while (shared < candidate.size() && shared < wanted.size() && candidate[shared] == wanted[shared]) ++shared;
        best = std::max(best, shared);
    }
    return best;
}

std::string Described(const CMachineInfo* info, const MachineIdentity* identity) {
    return identity && !identity->description.empty() ? identity->description : std::string(info->m_displayName);
}

// The descriptor for a stored identifier. Files of earlier versions stored the empty identifier
// for every host machine but the master; those load as the MIDI input, which was the first
// registered of them.
CMachineInfo* FindDescriptor(const MachineRegistry& registry, const std::string& identifier, const uint8_t* field,
                             const std::string& instanceName, std::vector<std::string>* notes) {
    const std::vector<CMachineInfo*> candidates = registry.FindAllByIdentifier(identifier.c_str());
    if (candidates.empty())
        return identifier.empty() ? registry.FindByIdentifier(kMidiInputIdentifier) : nullptr;
    const IdentityFacts stored = StoredIdentity(field);
    if (stored.empty() && candidates.size() == 1) return candidates.front();

    CMachineInfo* chosen = candidates.front();
    if (!stored.empty()) {
        // Each fact counts more than all after it together; the first best in registration order wins.
        uint64_t best = 0;
        const uint64_t all = (uint64_t{1} << stored.size()) - 1;
        for (CMachineInfo* info : candidates) {
            const MachineIdentity* identity = registry.IdentityOf(info);
            uint64_t score = 0;
            for (size_t i = 0; identity && i < stored.size(); ++i) {
                for (const auto& fact : identity->facts)
                    if (fact == stored[i]) score |= uint64_t{1} << (stored.size() - 1 - i);
            }
            if (score > best) {
                best = score;
                chosen = info;
            }
        }
        if (best == all) return chosen;
        if (notes) {
            std::string saved;
            for (const auto& [key, value] : stored) saved += (saved.empty() ? "" : ", ") + key + " " + value;
            notes->push_back(platform::FormatText(
                "Machine '%s': no installed machine type matches all it was saved with (%s); chose %s",
                instanceName.c_str(), saved.c_str(), Described(chosen, registry.IdentityOf(chosen)).c_str()));
        }
        return chosen;
    }

    size_t best = 0;
    for (CMachineInfo* info : candidates) {
        const size_t score = NameScore(instanceName, info, registry.IdentityOf(info));
        if (score > best) {
            best = score;
            chosen = info;
        }
    }
    if (notes)
        notes->push_back(platform::FormatText(
            "Machine '%s': %zu installed machine types share its identifier and the file does not say which; "
            "chose %s by its name",
            instanceName.c_str(), candidates.size(), Described(chosen, registry.IdentityOf(chosen)).c_str()));
    return chosen;
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
        const MachineRegistry* registry = studio.Host()->Registry();
        const std::vector<uint8_t> identifier =
            IdentifierField(frame->Info()->m_identifier, registry ? registry->IdentityOf(frame->Info()) : nullptr);
        out.Bytes(identifier.data(), identifier.size());
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
                             const std::string& path, ProjectVersion* versionOut,
                             std::vector<std::string>* notes) {
    CByteReader in(data, size, path);
    const uint8_t* header = in.Take(6);
    if (std::memcmp(header, kMagic, 4) != 0) in.Corrupt();
    ProjectVersion version{static_cast<int8_t>(header[4]), static_cast<int8_t>(header[5])};
    if (version.major > 3) platform::Raise("File '%s' Has Incompatible Version Number", path.c_str());
    if (versionOut) *versionOut = version;
    const float tempo = in.Float();
    // Only the tempo field's range plays: a tempo near 0 stretches a step past any length a
    // song can have (the song's length overflows), a huge one shrinks it to nothing. Neither is
    // a tempo this program writes, so the file is damaged.
    if (!(tempo >= kMinProjectTempo && tempo <= kMaxProjectTempo)) in.Corrupt();
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

        CMachineInfo* info = FindDescriptor(registry, identifier, record + kTextFieldSize, name, notes);
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
    m_studio->Changes().Clear();
}

std::vector<uint8_t> CProject::ReadFile(const std::filesystem::path& path) {
    const std::string shown = path.string();
    std::vector<uint8_t> bytes;
    std::FILE* file = std::fopen(shown.c_str(), "rb");
    if (!file) platform::Raise("Failed To Open File '%s' For Reading", shown.c_str());
    uint8_t chunk[65536];
    size_t n = 0;
    while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        bytes.insert(bytes.end(), chunk, chunk + n);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) platform::Raise("Failed To Open File '%s' For Reading", shown.c_str());
    return bytes;
}

void CProject::Begin(const std::filesystem::path& path) {
    m_studio->Clear();
    m_path = path;
    m_info.clear();
    m_incomplete = true; // until the last item has been read
    m_version = ProjectVersion{};
    m_notes.clear();
}

void CProject::Load(const std::vector<uint8_t>& bytes, const std::string& shown) {
    try {
        m_info = ReadProjectBytes(*m_studio, *m_sequencer, bytes.data(), bytes.size(), shown, &m_version, &m_notes);
    } catch (...) {
        // What was built stays, and differs from the file: the views show it, the changes stand.
        m_studio->Observer().ProjectLoaded();
        throw;
    }
    m_incomplete = false;
    m_studio->Changes().Clear();
}

void CProject::Open(const std::filesystem::path& path) {
    Begin(path);
    Load(ReadFile(path), path.string());
    m_studio->Observer().ProjectLoaded();
}

void CProject::Recover(const std::filesystem::path& recoveryFile, const std::filesystem::path& projectPath) {
    Begin(projectPath);
    Load(ReadFile(recoveryFile), recoveryFile.string());
    m_studio->Changes().Raise(); // the project differs from its own file
    m_studio->Observer().ProjectLoaded();
}

std::vector<uint8_t> CProject::Bytes() const {
    return WriteProjectBytes(*m_studio, *m_sequencer, m_info);
}

void CProject::SaveCopy(const std::filesystem::path& path) const {
    WriteFileSafely(path, Bytes(), OldFile::Drop);
}

CProject::Snapshot CProject::TakeSnapshot() const {
    Snapshot snapshot;
    snapshot.bytes = Bytes();
    snapshot.path = m_path;
    snapshot.version = m_version;
    snapshot.notes = m_notes;
    snapshot.incomplete = m_incomplete;
    snapshot.changed = HasChanges();
    return snapshot;
}

void CProject::Restore(const Snapshot& snapshot) {
    Begin(snapshot.path);
    // The bytes were written from this studio a moment ago, so they load; should they not, the
    // error passes through with the project marked incomplete.
    Load(snapshot.bytes, snapshot.path.string());
    m_version = snapshot.version;
    m_notes = snapshot.notes;
    m_incomplete = snapshot.incomplete;
    if (snapshot.changed) m_studio->Changes().Raise();
    m_studio->Observer().ProjectLoaded();
}

void CProject::Save() {
    if (m_path.empty()) platform::Raise("No Project Path");
    if (m_incomplete)
        platform::Raise("Project '%s' Was Loaded Incompletely; Save It Under Another Name", m_path.c_str());
    WriteFileSafely(m_path, Bytes());
    m_studio->Changes().Clear(); // only a save that reached the disk
}

void CProject::SaveAs(const std::filesystem::path& path) {
    WriteFileSafely(path, Bytes());
    m_path = path;
    m_incomplete = false;
    m_studio->Changes().Clear();
}

void CProject::SetInfo(const std::string& text) {
    if (text == m_info) return;
    m_info = text;
    m_studio->Changes().Raise();
}

bool CProject::HasChanges() const {
    return m_studio->Changes().HasChanges();
}

uint64_t CProject::ChangeCount() const {
    return m_studio->Changes().Count();
}

std::string CProject::WindowTitle() const {
    if (m_path.empty()) return "Tamborel Studio";
    return "Tamborel Studio - " + m_path.filename().string();
}
