// CSoundFontLoader: reads a SoundFont 2 bank file ("RIFF" form "sfbk") and publishes what the
// bank explorer shows of it - the bank's name, its information entries and its preset names - to
// the host's bank server. Sample data are walked over, never read into the server.
//
// A file is accepted only when it has a top-level LIST, a version 2.x "ifil", a sound engine
// ("isng"), a bank name ("INAM") and a "phdr" of whole 38-byte records holding at least one
// preset before the terminal record. Anything else - another top-level LIST type, a wrong-sized
// "ifil" or "iver", a damaged chunk - is refused with kRiffDamaged (8); a file that cannot be
// opened gives kRiffCannotOpen (7).
//
// Threads: one loader belongs to one thread (the UI thread for the bank explorer). Publishing
// locks the bank server for its whole run and unlocks it on every way out, so the server's
// clients are told with the server locked (server, then client).
#pragma once

#include "host_machines/soundfont/riff_loader.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

class CHostBankServer;

class CSoundFontLoader : public CRIFFLoader {
public:
    // The length of a preset header record and of the name at its start, in bytes.
    static constexpr size_t kPresetRecordSize = 38;
    static constexpr size_t kPresetNameSize = 20;

    struct Version {
        uint16_t major = 0;
        uint16_t minor = 0;
    };
    struct InfoEntry {
        std::string key;
        std::string value;
    };

    // Reads and checks the file: kRiffOk, kRiffCannotOpen or kRiffDamaged. What an earlier read
    // found is forgotten first.
    int32_t Load(const std::string& path);
    // The same for a file's bytes in memory.
    int32_t LoadBytes(const uint8_t* bytes, size_t size);
    // With the server locked: AddBank with the bank name, the information entries in the order of
    // InfoEntries(), then every preset name. The first non-zero server result ends it and is
    // returned; kRiffDamaged when nothing was loaded.
    int32_t Publish(CHostBankServer& server) const;
    // Load, then Publish when the load succeeded: the bank explorer's "Load Bank".
    int32_t LoadBank(const std::string& path, CHostBankServer& server);

    // After a successful load:
    const std::string& BankName() const { return m_bankName.value(); }
    const std::string& SoundEngine() const { return m_soundEngine.value(); }
    Version FileVersion() const { return m_version.value(); }
    // The entries present, in publishing order: "SoundFont Version", "Sound Engine", "ROM",
    // "ROM Version", "Creation Date", "Sound Designer", "Product", "Copyright", "Comment", "Tools".
    std::vector<InfoEntry> InfoEntries() const;
    // The presets before the terminal record.
    int32_t PresetCount() const { return m_presetCount; }
    // A preset's name: its record's first 20 bytes, cut at the first zero byte.
    std::string PresetName(int32_t preset) const;

    int32_t HandleChunk(const RiffChunk& chunk, const uint8_t* data, size_t dataSize, int32_t depth,
                        int32_t kind) override;

private:
    // The blocks the walk tells apart.
    enum Kind : int32_t { kTopLevel = 0, kInfo = 1, kSampleData = 2, kPresetData = 3 };

    void Forget();
    // After the walk: the rules every accepted bank keeps.
    int32_t Check(int32_t walkResult);
    int32_t HandleInfo(const RiffChunk& chunk, const uint8_t* data, size_t dataSize);

    std::optional<Version> m_version;
    std::optional<Version> m_romVersion;
    std::optional<std::string> m_soundEngine, m_bankName, m_romName, m_creationDate, m_soundDesigner, m_product,
        m_copyright, m_comment, m_tools;
    const uint8_t* m_presetRecords = nullptr; // into the loaded contents
    int32_t m_presetCount = 0;
    bool m_listSeen = false;
    bool m_loaded = false;
};
