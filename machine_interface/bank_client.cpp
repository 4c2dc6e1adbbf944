#include "machine_interface/bank_client.h"

#include "machine_interface/bank_server.h"
#include "machine_interface/vesk_host.h"

CBankClient::CBankClient(CVeskHost* host) {
    if (host && host->SupportsFeature(0) && host->GetBankServer(&m_bankServer) == 0 && m_bankServer)
        m_serverAvailable = 1;
}

CBankClient::~CBankClient() {
    if (m_connected) DisconnectBankServer();
}

int32_t CBankClient::ConnectBankServer() {
    if (m_connected || !m_serverAvailable) return 1;
    m_bankServer->Lock();
    const int32_t result = m_bankServer->RegisterClient(this);
    m_bankServer->Unlock();
    if (result == 0) m_connected = 1;
    return result;
}

int32_t CBankClient::DisconnectBankServer() {
    if (!m_connected) return 4;
    m_bankServer->Lock();
    const int32_t result = m_bankServer->UnregisterClient(this);
    m_bankServer->Unlock();
    m_connected = 0;
    return result;
}

bool CBankClient::HasBankServer() { return m_serverAvailable != 0; }
void CBankClient::OnBankAdded(int32_t) {}
void CBankClient::OnBankInfoAdded(int32_t, int32_t) {}
void CBankClient::OnBankPresetAdded(int32_t, int32_t) {}
