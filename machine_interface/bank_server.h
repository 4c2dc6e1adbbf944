// CHostBankServer: the process-wide catalogue of sound banks (name, information entries, preset
// names). Owned by the host services. Clients lock the server around every call; every change
// happens with the server locked, and notifications lock each client in turn (server, then
// client). Banks are only ever added.
//
// Threads: any thread may call any operation with the server locked (a change without the lock
// is refused with 3). The listeners are the registered clients, any number of them, told in
// registration order on the thread that made the change; a client may not change the server
// while being told (6). Indices are 0-based; texts are copied into buffers the caller sized with
// the matching ...Length call (length without the terminating zero).
#pragma once

#include "machine_interface/mutex.h"

#include <string>
#include <vector>

class CBankClient;

// Result codes of the server (and CBankClient's 4).
enum BankResult : int32_t {
    kBankOk = 0,
    kBankClientState = 1,    // client already registered / not registered
    kBankBadIndex = 2,       // bad index or missing output
    kBankNotLocked = 3,
    kBankNotConnected = 4,
    kBankNotifying = 6,      // re-entrant change refused while notifying
};

class CHostBankServer : public CMutex {
public:
    struct InfoEntry {
        std::string key;
        std::string value;
    };
    struct Bank {
        std::vector<InfoEntry> info;
        std::vector<std::string> presets;
        std::string name;
    };

    CHostBankServer() = default;
    ~CHostBankServer() override = default;

    virtual int32_t RegisterClient(CBankClient* client);
    virtual int32_t UnregisterClient(CBankClient* client);
    virtual int32_t AddBank(const char* name, int32_t* index);
    virtual int32_t AddBankInfo(int32_t bank, const char* key, const char* value, int32_t* index);
    virtual int32_t GetBankName(int32_t bank, char* text);
    virtual int32_t GetBankNameLength(int32_t bank, int32_t* length);
    virtual int32_t GetBankInfoCount(int32_t bank, int32_t* count);
    virtual int32_t GetBankInfoKeyLength(int32_t bank, int32_t entry, int32_t* length);
    virtual int32_t GetBankInfoKey(int32_t bank, int32_t entry, char* text);
    virtual int32_t GetBankInfoValueLength(int32_t bank, int32_t entry, int32_t* length);
    virtual int32_t GetBankInfoValue(int32_t bank, int32_t entry, char* text);
    virtual int32_t AddBankPreset(int32_t bank, const char* name, int32_t* index);
    virtual int32_t GetBankPresetCount(int32_t bank, int32_t* count);
    virtual int32_t GetBankPresetName(int32_t bank, int32_t preset, char* text);
    virtual int32_t GetBankPresetNameLength(int32_t bank, int32_t preset, int32_t* length);

    int32_t BankCount() const { return static_cast<int32_t>(m_banks.size()); }

private:
    // 3 when not locked, 6 while notifying, else 0: the guard of every change.
    int32_t CheckChange();
    const Bank* FindBank(int32_t bank) const;
    template <typename Notify>
    void NotifyClients(Notify notify);

    int32_t m_notificationDepth = 0;
    std::vector<CBankClient*> m_clients;
    std::vector<Bank> m_banks;
};
