// The SoundFont reader: any bytes either load (code 0) or are refused as damaged (8), from memory
// and from a file alike. What loads publishes exactly its own name, entries and presets to a bank
// server, with a listening client told of each, and leaves the server unlocked.
#include "host_machines/soundfont/soundfont_loader.h"
#include "machine_interface/bank_client.h"
#include "machine_interface/bank_server.h"
#include "tests/fuzz/fuzz_support.h"

#include <cstring>
#include <string>

namespace {

class CCountingClient : public CBankClient {
public:
    explicit CCountingClient(CHostBankServer* server) : CBankClient(nullptr) {
        m_bankServer = server;
        m_serverAvailable = 1;
    }
    void OnBankAdded(int32_t) override { ++told; }
    void OnBankInfoAdded(int32_t, int32_t) override { ++told; }
    void OnBankPresetAdded(int32_t, int32_t) override { ++told; }
    int32_t told = 0;
};

// The server's text read the way a client reads it: the length, then that many bytes and a zero.
template <typename Length, typename Text> std::string ReadBack(Length length, Text text) {
    int32_t size = -1;
    fuzz::Check(length(&size) == 0 && size >= 0, "a published text has a length");
    std::string buffer(static_cast<size_t>(size) + 1, '\x7f');
    fuzz::Check(text(buffer.data()) == 0 && buffer.back() == '\0', "a published text is copied with its zero");
    buffer.pop_back();
    return buffer;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CSoundFontLoader loader;
    const int32_t result = loader.LoadBytes(data, size);
    fuzz::Check(result == kRiffOk || result == kRiffDamaged, "bytes are loaded or refused as damaged");
    CSoundFontLoader fromFile;
    fuzz::Check(fromFile.Load(fuzz::WriteScratch(data, size, ".sf2")) == result, "a file reads as its bytes do");

    CHostBankServer server;
    CCountingClient client(&server);
    fuzz::Check(client.ConnectBankServer() == 0, "the client connects");
    const int32_t published = loader.Publish(server);
    fuzz::Check(!server.IsLocked(), "publishing unlocks the server");
    if (result != kRiffOk) {
        fuzz::Check(published == kRiffDamaged && server.BankCount() == 0, "a refused file publishes nothing");
        return 0;
    }
    fuzz::Check(published == 0 && server.BankCount() == 1, "a loaded file publishes one bank");
    fuzz::Check(loader.PresetCount() >= 1, "a loaded bank has a preset");
    fuzz::Check(static_cast<size_t>(loader.PresetCount()) * CSoundFontLoader::kPresetRecordSize < size,
                "no more presets than the file has records");

    CMutexLock lock(server);
    fuzz::Check(ReadBack([&](int32_t* n) { return server.GetBankNameLength(0, n); },
                         [&](char* t) { return server.GetBankName(0, t); }) == loader.BankName(),
                "the bank's name is published whole");
    const auto entries = loader.InfoEntries();
    int32_t count = -1;
    fuzz::Check(server.GetBankInfoCount(0, &count) == 0 && count == static_cast<int32_t>(entries.size()),
                "every information entry is published");
    for (int32_t entry = 0; entry < count; ++entry) {
        const std::string key = ReadBack([&](int32_t* n) { return server.GetBankInfoKeyLength(0, entry, n); },
                                         [&](char* t) { return server.GetBankInfoKey(0, entry, t); });
        const std::string value = ReadBack([&](int32_t* n) { return server.GetBankInfoValueLength(0, entry, n); },
                                           [&](char* t) { return server.GetBankInfoValue(0, entry, t); });
        fuzz::Check(key == entries[static_cast<size_t>(entry)].key && value == entries[static_cast<size_t>(entry)].value,
                    "entries are published in order");
        fuzz::Check(value.size() < size, "no text longer than the file");
    }
    fuzz::Check(entries.front().key == std::string("SoundFont Version") && entries.front().value.rfind("2.", 0) == 0,
                "a loaded bank is version 2");
    fuzz::Check(server.GetBankPresetCount(0, &count) == 0 && count == loader.PresetCount(),
                "every preset is published");
    for (int32_t preset = 0; preset < count; ++preset) {
        const std::string name = ReadBack([&](int32_t* n) { return server.GetBankPresetNameLength(0, preset, n); },
                                          [&](char* t) { return server.GetBankPresetName(0, preset, t); });
        fuzz::Check(name == loader.PresetName(preset) && name.size() <= CSoundFontLoader::kPresetNameSize,
                    "a preset name is at most 20 characters, published as read");
    }
    fuzz::Check(client.told == 1 + static_cast<int32_t>(entries.size()) + count, "the client hears every addition");
    return 0;
}
