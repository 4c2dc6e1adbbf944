#include "machine_interface/bank_server.h"

#include "machine_interface/bank_client.h"

#include <algorithm>
#include <cstring>

namespace {
bool ValidIndex(int32_t index, size_t size) { return index >= 0 && static_cast<size_t>(index) < size; }

int32_t CopyText(const std::string& source, char* text) {
    if (!text) return kBankBadIndex;
    std::memcpy(text, source.c_str(), source.size() + 1);
    return kBankOk;
}

int32_t WriteLength(const std::string& source, int32_t* length) {
    if (!length) return kBankBadIndex;
    *length = static_cast<int32_t>(source.size());
    return kBankOk;
}
} // namespace

int32_t CHostBankServer::CheckChange() {
    if (!IsLocked()) return kBankNotLocked;
    if (m_notificationDepth > 0) return kBankNotifying;
    return kBankOk;
}

const CHostBankServer::Bank* CHostBankServer::FindBank(int32_t bank) const {
    return ValidIndex(bank, m_banks.size()) ? &m_banks[static_cast<size_t>(bank)] : nullptr;
}

template <typename Notify>
void CHostBankServer::NotifyClients(Notify notify) {
    ++m_notificationDepth;
    for (CBankClient* client : m_clients) {
        client->Lock();
        notify(client);
        client->Unlock();
    }
    --m_notificationDepth;
}

int32_t CHostBankServer::RegisterClient(CBankClient* client) {
    if (int32_t check = CheckChange()) return check;
    if (std::find(m_clients.begin(), m_clients.end(), client) != m_clients.end()) return kBankClientState;
    m_clients.push_back(client);
    return kBankOk;
}

int32_t CHostBankServer::UnregisterClient(CBankClient* client) {
    if (int32_t check = CheckChange()) return check;
    auto it = std::find(m_clients.begin(), m_clients.end(), client);
    if (it == m_clients.end()) return kBankClientState;
    m_clients.erase(it);
    return kBankOk;
}

int32_t CHostBankServer::AddBank(const char* name, int32_t* index) {
    if (int32_t check = CheckChange()) return check;
    m_banks.push_back(Bank{{}, {}, name ? name : ""});
    const int32_t bank = static_cast<int32_t>(m_banks.size()) - 1;
    NotifyClients([bank](CBankClient* client) { client->OnBankAdded(bank); });
    if (index) *index = bank;
    return kBankOk;
}

int32_t CHostBankServer::AddBankInfo(int32_t bank, const char* key, const char* value, int32_t* index) {
    if (int32_t check = CheckChange()) return check;
    if (!FindBank(bank)) return kBankBadIndex;
    auto& info = m_banks[static_cast<size_t>(bank)].info;
    info.push_back(InfoEntry{key ? key : "", value ? value : ""});
    const int32_t entry = static_cast<int32_t>(info.size()) - 1;
    NotifyClients([bank, entry](CBankClient* client) { client->OnBankInfoAdded(bank, entry); });
    if (index) *index = entry;
    return kBankOk;
}

int32_t CHostBankServer::AddBankPreset(int32_t bank, const char* name, int32_t* index) {
    if (int32_t check = CheckChange()) return check;
    if (!FindBank(bank)) return kBankBadIndex;
    auto& presets = m_banks[static_cast<size_t>(bank)].presets;
    presets.emplace_back(name ? name : "");
    const int32_t preset = static_cast<int32_t>(presets.size()) - 1;
    NotifyClients([bank, preset](CBankClient* client) { client->OnBankPresetAdded(bank, preset); });
    if (index) *index = preset;
    return kBankOk;
}

int32_t CHostBankServer::GetBankName(int32_t bank, char* text) {
    if (!IsLocked()) return kBankNotLocked;
    const Bank* found = FindBank(bank);
    return found ? CopyText(found->name, text) : kBankBadIndex;
}

int32_t CHostBankServer::GetBankNameLength(int32_t bank, int32_t* length) {
    if (!IsLocked()) return kBankNotLocked;
    const Bank* found = FindBank(bank);
    return found ? WriteLength(found->name, length) : kBankBadIndex;
}

int32_t CHostBankServer::GetBankInfoCount(int32_t bank, int32_t* count) {
    const Bank* found = FindBank(bank);
    if (!found || !count) return kBankBadIndex;
    *count = static_cast<int32_t>(found->info.size());
    return kBankOk;
}

int32_t CHostBankServer::GetBankInfoKeyLength(int32_t bank, int32_t entry, int32_t* length) {
    const Bank* found = FindBank(bank);
    if (!found || !ValidIndex(entry, found->info.size())) return kBankBadIndex;
    return WriteLength(found->info[static_cast<size_t>(entry)].key, length);
}

int32_t CHostBankServer::GetBankInfoKey(int32_t bank, int32_t entry, char* text) {
    const Bank* found = FindBank(bank);
    if (!found || !ValidIndex(entry, found->info.size())) return kBankBadIndex;
    return CopyText(found->info[static_cast<size_t>(entry)].key, text);
}

int32_t CHostBankServer::GetBankInfoValueLength(int32_t bank, int32_t entry, int32_t* length) {
    const Bank* found = FindBank(bank);
    if (!found || !ValidIndex(entry, found->info.size())) return kBankBadIndex;
    return WriteLength(found->info[static_cast<size_t>(entry)].value, length);
}

int32_t CHostBankServer::GetBankInfoValue(int32_t bank, int32_t entry, char* text) {
    const Bank* found = FindBank(bank);
    if (!found || !ValidIndex(entry, found->info.size())) return kBankBadIndex;
    return CopyText(found->info[static_cast<size_t>(entry)].value, text);
}

int32_t CHostBankServer::GetBankPresetCount(int32_t bank, int32_t* count) {
    const Bank* found = FindBank(bank);
    if (!found || !count) return kBankBadIndex;
    *count = static_cast<int32_t>(found->presets.size());
    return kBankOk;
}

int32_t CHostBankServer::GetBankPresetName(int32_t bank, int32_t preset, char* text) {
    const Bank* found = FindBank(bank);
    if (!found || !ValidIndex(preset, found->presets.size())) return kBankBadIndex;
    return CopyText(found->presets[static_cast<size_t>(preset)], text);
}

int32_t CHostBankServer::GetBankPresetNameLength(int32_t bank, int32_t preset, int32_t* length) {
    const Bank* found = FindBank(bank);
    if (!found || !ValidIndex(preset, found->presets.size())) return kBankBadIndex;
    return WriteLength(found->presets[static_cast<size_t>(preset)], length);
}
