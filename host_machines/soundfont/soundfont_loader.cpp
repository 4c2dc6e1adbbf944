#include "host_machines/soundfont/soundfont_loader.h"

#include "machine_interface/bank_server.h"
#include "platform/error.h"

#include <cstring>

namespace {

uint16_t ReadLittle16(const uint8_t* bytes) {
    return static_cast<uint16_t>(bytes[0] | bytes[1] << 8);
}

// A text chunk: at most its size, cut at the first zero byte.
std::string CopyText(const uint8_t* data, size_t size) {
    const void* zero = std::memchr(data, 0, size);
    const size_t length = zero ? static_cast<size_t>(static_cast<const uint8_t*>(zero) - data) : size;
    return std::string(reinterpret_cast<const char*>(data), length);
}

std::string VersionText(const CSoundFontLoader::Version& version) {
    return platform::FormatText("%i.%i", static_cast<int>(version.major), static_cast<int>(version.minor));
}

} // namespace

void CSoundFontLoader::Forget() {
    m_version.reset();
    m_romVersion.reset();
    for (std::optional<std::string>* text : {&m_soundEngine, &m_bankName, &m_romName, &m_creationDate,
                                             &m_soundDesigner, &m_product, &m_copyright, &m_comment, &m_tools})
        text->reset();
    m_presetRecords = nullptr;
    m_presetCount = 0;
    m_listSeen = false;
    m_loaded = false;
}

int32_t CSoundFontLoader::Load(const std::string& path) {
    Forget();
    const int32_t result = ReadFile(path, "sfbk");
    if (result != kRiffOk) return result;
    return Check(WalkChunks(Contents().data(), Contents().size(), 0, kTopLevel));
}

int32_t CSoundFontLoader::LoadBytes(const uint8_t* bytes, size_t size) {
    Forget();
    const int32_t result = ReadBytes(bytes, size, "sfbk");
    if (result != kRiffOk) return result;
    return Check(WalkChunks(Contents().data(), Contents().size(), 0, kTopLevel));
}

int32_t CSoundFontLoader::Check(int32_t walkResult) {
    if (walkResult != kRiffOk) return walkResult;
    if (!m_listSeen || !m_bankName || !m_soundEngine || !m_version || m_presetCount < 1) return kRiffDamaged;
    m_loaded = true;
    return kRiffOk;
}

int32_t CSoundFontLoader::HandleChunk(const RiffChunk& chunk, const uint8_t* data, size_t dataSize, int32_t depth,
                                      int32_t kind) {
    switch (kind) {
    case kTopLevel: {
        if (!chunk.IsList()) return kRiffOk;
        m_listSeen = true;
        Kind inner;
        if (chunk.IsListOf("INFO")) inner = kInfo;
        else if (chunk.IsListOf("sdta")) inner = kSampleData;
        else if (chunk.IsListOf("pdta")) inner = kPresetData;
        else return kRiffDamaged;
        return WalkChunks(data, dataSize, depth + 1, inner);
    }
    case kInfo:
        return HandleInfo(chunk, data, dataSize);
    case kPresetData:
        if (!chunk.Is("phdr")) return kRiffOk;
        if (dataSize % kPresetRecordSize != 0 || dataSize / kPresetRecordSize < 2) return kRiffDamaged;
        m_presetRecords = data;
        // The last record only ends the list.
        m_presetCount = static_cast<int32_t>(dataSize / kPresetRecordSize - 1);
        return kRiffOk;
    default: // sample data and anything deeper are not read
        return kRiffOk;
    }
}

int32_t CSoundFontLoader::HandleInfo(const RiffChunk& chunk, const uint8_t* data, size_t dataSize) {
    if (chunk.Is("ifil") || chunk.Is("iver")) {
        if (dataSize != 4) return kRiffDamaged;
        const Version version{ReadLittle16(data), ReadLittle16(data + 2)};
        if (chunk.Is("iver")) {
            m_romVersion = version;
            return kRiffOk;
        }
        // Version 3 files hold compressed samples this reader does not know.
        if (version.major != 2) return kRiffDamaged;
        m_version = version;
        return kRiffOk;
    }
    static const struct {
        const char* id;
        std::optional<std::string> CSoundFontLoader::*text;
    } kTexts[] = {
        {"isng", &CSoundFontLoader::m_soundEngine},   {"INAM", &CSoundFontLoader::m_bankName},
        {"irom", &CSoundFontLoader::m_romName},       {"ICRD", &CSoundFontLoader::m_creationDate},
        {"IENG", &CSoundFontLoader::m_soundDesigner}, {"IPRD", &CSoundFontLoader::m_product},
        {"ICOP", &CSoundFontLoader::m_copyright},     {"ICMT", &CSoundFontLoader::m_comment},
        {"ISFT", &CSoundFontLoader::m_tools},
    };
    for (const auto& text : kTexts)
        if (chunk.Is(text.id)) this->*text.text = CopyText(data, dataSize);
    return kRiffOk;
}

std::vector<CSoundFontLoader::InfoEntry> CSoundFontLoader::InfoEntries() const {
    std::vector<InfoEntry> entries;
    auto add = [&](const char* key, const std::optional<std::string>& value) {
        if (value) entries.push_back({key, *value});
    };
    if (m_version) entries.push_back({"SoundFont Version", VersionText(*m_version)});
    add("Sound Engine", m_soundEngine);
    add("ROM", m_romName);
    if (m_romVersion) entries.push_back({"ROM Version", VersionText(*m_romVersion)});
    add("Creation Date", m_creationDate);
    add("Sound Designer", m_soundDesigner);
    add("Product", m_product);
    add("Copyright", m_copyright);
    add("Comment", m_comment);
    add("Tools", m_tools);
    return entries;
}

std::string CSoundFontLoader::PresetName(int32_t preset) const {
    if (preset < 0 || preset >= m_presetCount) return {};
    return CopyText(m_presetRecords + static_cast<size_t>(preset) * kPresetRecordSize, kPresetNameSize);
}

int32_t CSoundFontLoader::Publish(CHostBankServer& server) const {
    if (!m_loaded) return kRiffDamaged;
    // Held for the whole bank, so a client never sees a bank without its entries between two
    // of our calls.
    CMutexLock lock(server);
    int32_t bank = -1;
    int32_t result = server.AddBank(m_bankName->c_str(), &bank);
    if (result != kBankOk) return result;
    for (const InfoEntry& entry : InfoEntries()) {
        result = server.AddBankInfo(bank, entry.key.c_str(), entry.value.c_str(), nullptr);
        if (result != kBankOk) return result;
    }
    for (int32_t preset = 0; preset < m_presetCount; ++preset) {
        result = server.AddBankPreset(bank, PresetName(preset).c_str(), nullptr);
        if (result != kBankOk) return result;
    }
    return kBankOk;
}

int32_t CSoundFontLoader::LoadBank(const std::string& path, CHostBankServer& server) {
    const int32_t result = Load(path);
    return result == kRiffOk ? Publish(server) : result;
}
