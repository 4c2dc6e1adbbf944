#include "machine_interface/bank_client.h"
#include "machine_interface/bank_server.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// A client that records notifications and can try to change the server from inside one.
class CListeningClient : public CBankClient {
public:
    explicit CListeningClient(CHostBankServer* server) : CBankClient(nullptr) {
        m_bankServer = server;
        m_serverAvailable = 1;
    }
    void OnBankAdded(int32_t bank) override {
        seen.push_back("bank " + std::to_string(bank) + (IsLocked() ? " locked" : " unlocked"));
        if (reenter) {
            reenterResult = m_bankServer->AddBank("inner", nullptr);
            char name[64] = {};
            readResult = m_bankServer->GetBankName(bank, name);
            readName = name;
        }
    }
    void OnBankInfoAdded(int32_t bank, int32_t entry) override {
        seen.push_back("info " + std::to_string(bank) + "." + std::to_string(entry));
    }
    void OnBankPresetAdded(int32_t bank, int32_t preset) override {
        seen.push_back("preset " + std::to_string(bank) + "." + std::to_string(preset));
    }
    std::vector<std::string> seen;
    bool reenter = false;
    int32_t reenterResult = -1;
    int32_t readResult = -1;
    std::string readName;
};

} // namespace

TEST(BankServer, ChangesNeedTheLock) {
    CHostBankServer server;
    int32_t index = -1;
    EXPECT_EQ(server.AddBank("Piano", &index), 3);
    EXPECT_EQ(server.BankCount(), 0);
    EXPECT_EQ(index, -1);
    CListeningClient client(&server);
    EXPECT_EQ(server.RegisterClient(&client), 3);
    EXPECT_EQ(server.UnregisterClient(&client), 3);
    int32_t length = 0;
    EXPECT_EQ(server.GetBankNameLength(0, &length), 3);
}

TEST(BankServer, RegistrationCodes) {
    CHostBankServer server;
    CListeningClient a(&server);
    CListeningClient b(&server);
    CMutexLock lock(server);
    EXPECT_EQ(server.UnregisterClient(&a), 1);  // empty list
    EXPECT_EQ(server.RegisterClient(&a), 0);
    EXPECT_EQ(server.RegisterClient(&a), 1);
    EXPECT_EQ(server.UnregisterClient(&b), 1);
    EXPECT_EQ(server.RegisterClient(&b), 0);
    EXPECT_EQ(server.UnregisterClient(&a), 0);
    EXPECT_EQ(server.UnregisterClient(&a), 1);
}

TEST(BankServer, NotificationsReachEveryClientLockedInOrder) {
    CHostBankServer server;
    CListeningClient a(&server);
    CListeningClient b(&server);
    EXPECT_EQ(a.ConnectBankServer(), 0);
    EXPECT_EQ(b.ConnectBankServer(), 0);
    CMutexLock lock(server);
    int32_t bank = -1;
    ASSERT_EQ(server.AddBank("Strings", &bank), 0);
    EXPECT_EQ(bank, 0);
    int32_t entry = -1;
    ASSERT_EQ(server.AddBankInfo(0, "SoundFont Version", "2.1", &entry), 0);
    EXPECT_EQ(entry, 0);
    ASSERT_EQ(server.AddBankPreset(0, "Violin", nullptr), 0);
    ASSERT_EQ(server.AddBankPreset(0, "Cello", &entry), 0);
    EXPECT_EQ(entry, 1);
    const std::vector<std::string> expected = {"bank 0 locked", "info 0.0", "preset 0.0", "preset 0.1"};
    EXPECT_EQ(a.seen, expected);
    EXPECT_EQ(b.seen, expected);
    EXPECT_FALSE(a.IsLocked());
}

TEST(BankServer, ChangesFromInsideANotificationAreRefused) {
    CHostBankServer server;
    CListeningClient client(&server);
    ASSERT_EQ(client.ConnectBankServer(), 0);
    client.reenter = true;
    CMutexLock lock(server);
    ASSERT_EQ(server.AddBank("Outer", nullptr), 0);
    EXPECT_EQ(client.reenterResult, 6);
    EXPECT_EQ(client.readResult, 0);  // reading is allowed
    EXPECT_EQ(client.readName, "Outer");
    EXPECT_EQ(server.BankCount(), 1);
}

TEST(BankServer, IndicesAndTexts) {
    CHostBankServer server;
    CMutexLock lock(server);
    ASSERT_EQ(server.AddBank("Brass", nullptr), 0);
    EXPECT_EQ(server.AddBankInfo(1, "k", "v", nullptr), 2);
    EXPECT_EQ(server.AddBankInfo(-1, "k", "v", nullptr), 2);
    EXPECT_EQ(server.AddBankPreset(5, "p", nullptr), 2);
    ASSERT_EQ(server.AddBankInfo(0, "Sound Engine", "EMU8000", nullptr), 0);
    ASSERT_EQ(server.AddBankPreset(0, "Trumpet", nullptr), 0);

    int32_t count = -1;
    EXPECT_EQ(server.GetBankInfoCount(0, &count), 0);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(server.GetBankInfoCount(0, nullptr), 2);
    EXPECT_EQ(server.GetBankInfoCount(1, &count), 2);
    char text[32];
    EXPECT_EQ(server.GetBankInfoKey(0, 1, text), 2);  // entry index equal to the count
    EXPECT_EQ(server.GetBankInfoKey(0, -1, text), 2);
    EXPECT_EQ(server.GetBankInfoKey(0, 0, nullptr), 2);
    int32_t length = 0;
    EXPECT_EQ(server.GetBankInfoValueLength(0, 0, &length), 0);
    EXPECT_EQ(length, 7);
    EXPECT_EQ(server.GetBankInfoValue(0, 0, text), 0);
    EXPECT_STREQ(text, "EMU8000");
    EXPECT_EQ(server.GetBankInfoKeyLength(0, 0, &length), 0);
    EXPECT_EQ(length, 12);

    // The whole name is copied with its terminating NUL.
    std::memset(text, 'x', sizeof text);
    EXPECT_EQ(server.GetBankPresetNameLength(0, 0, &length), 0);
    EXPECT_EQ(length, 7);
    EXPECT_EQ(server.GetBankPresetName(0, 0, text), 0);
    EXPECT_EQ(std::string(text, 8), std::string("Trumpet\0", 8));
    EXPECT_EQ(text[8], 'x');
    EXPECT_EQ(server.GetBankPresetName(0, 1, text), 2);
    EXPECT_EQ(server.GetBankPresetCount(0, &count), 0);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(server.GetBankNameLength(0, &length), 0);
    EXPECT_EQ(length, 5);
    EXPECT_EQ(server.GetBankName(0, nullptr), 2);
    EXPECT_EQ(server.GetBankName(1, text), 2);
}
