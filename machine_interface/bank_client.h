// CBankClient: the link from a machine (or a host bank view) to the host's bank server.
// Notifications arrive with this client locked, on the thread that changed the server (the UI
// thread loading a bank file, or the thread of a machine that adds banks). The server keeps a list
// of any number of clients; each registered client hears every change. A view that lives on the
// UI thread must hand the news over through a queue when a bank may be added elsewhere.
#pragma once

#include "machine_interface/mutex.h"

class CHostBankServer;
class CVeskHost;

class CBankClient : public CMutex {
public:
    // Any thread: with a host that supports feature 0 and hands out a server, the server is
    // available.
    explicit CBankClient(CVeskHost* host);
    // Disconnects first when connected (locks the server: never destroy a client while holding
    // the server's lock on another thread).
    ~CBankClient() override;

    // UI (usually): locks the server around the registration. 1 when already connected or no
    // server is available; else registration's result.
    virtual int32_t ConnectBankServer();
    // UI (usually): locks the server around it. 4 when not connected; else unregistration's result.
    virtual int32_t DisconnectBankServer();
    // Any thread.
    virtual bool HasBankServer();
    // The thread that changed the server, server locked, then this client locked: a bank was
    // added at index bank (0-based, banks are never removed).
    virtual void OnBankAdded(int32_t bank);
    // Same threads and locks: information entry entry (0-based) was added to bank.
    virtual void OnBankInfoAdded(int32_t bank, int32_t entry);
    // Same threads and locks: preset preset (0-based) was added to bank.
    virtual void OnBankPresetAdded(int32_t bank, int32_t preset);

    CHostBankServer* m_bankServer = nullptr;
    uint8_t m_connected = 0;
    uint8_t m_serverAvailable = 0;
};
