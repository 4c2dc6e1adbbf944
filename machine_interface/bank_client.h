// CBankClient: the link from a machine (or a host bank view) to the host's bank server.
// Notifications arrive with this client locked, on the thread that changed the server.
#pragma once

#include "machine_interface/mutex.h"

class CHostBankServer;
class CVeskHost;

class CBankClient : public CMutex {
public:
    // With a host that supports feature 0 and hands out a server, the server is available.
    explicit CBankClient(CVeskHost* host);
    // Disconnects first when connected.
    ~CBankClient() override;

    // 1 when already connected or no server is available; else registration's result.
    virtual int32_t ConnectBankServer();
    // 4 when not connected; else unregistration's result.
    virtual int32_t DisconnectBankServer();
    virtual bool HasBankServer();
    virtual void OnBankAdded(int32_t bank);
    virtual void OnBankInfoAdded(int32_t bank, int32_t entry);
    virtual void OnBankPresetAdded(int32_t bank, int32_t preset);

    CHostBankServer* m_bankServer = nullptr;
    uint8_t m_connected = 0;
    uint8_t m_serverAvailable = 0;
};
