#include "machine_interface/machine.h"
#include "machine_interface/machine_registry.h"
#include "machine_interface/vesk_host.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <thread>
#include <vector>

#include <pthread.h>
#include <sched.h>

namespace {

// Three parameters that remember what they were given.
class CThreeKnobs : public CMachine {
public:
    explicit CThreeKnobs(CVeskHost* host, int32_t programs = 1) : CMachine(host) {
        m_parameterCount = 3;
        AddPort(kPortStereoIn, "In");
        AddPort(kPortMonoOut, "Out");
        AddPort(kPortControlIn, "Control In");
        CreatePrograms(programs);
    }
    void Delete() override { delete this; }
    void Process() override {}
    void SetSampleRate(int32_t) override {}
    void SetBufferSize(int32_t) override {}
    bool IsGenerator() override { return true; }
    float GetParameter(int32_t index) override { return index >= 0 && index < 3 ? m_values[index] : 0.0f; }
    void SetParameter(int32_t index, float value) override {
        if (index >= 0 && index < 3) m_values[index] = value;
        ++m_sets;
        CMachine::SetParameter(index, value);
    }
    float m_values[3] = {0.25f, 0.5f, 0.75f};
    int m_sets = 0;
};

class CRecordingContext : public CHostContext {
public:
    void ApplyParameter(CMachine* machine, int32_t index, float value) override {
        calls.push_back({index, value});
        machine->SetParameter(index, value);
    }
    struct Call {
        int32_t index;
        float value;
    };
    std::vector<Call> calls;
};

struct HostFixture : ::testing::Test {
    MachineRegistry registry;
    CVeskHost host{44100, 128, 0x16, &registry};
};

std::vector<uint8_t> Block(int32_t count, std::vector<float> values) {
    std::vector<uint8_t> block(8 + 4 * values.size());
    std::memcpy(block.data(), "hPbT", 4);
    std::memcpy(block.data() + 4, &count, 4);
    std::memcpy(block.data() + 8, values.data(), 4 * values.size());
    return block;
}

} // namespace

using Machine = HostFixture;

TEST_F(Machine, PortsGetBuffersOfTheHostsSize) {
    auto* machine = new CThreeKnobs(&host);
    ASSERT_EQ(machine->m_portCount, 3);
    CAudioBuffer* in = machine->m_ports[0]->m_audioBuffer;
    ASSERT_NE(in, nullptr);
    EXPECT_EQ(in->m_length, 128);
    EXPECT_TRUE(in->m_stereo);
    EXPECT_NE(in->m_channel2, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(in->m_channel1) % 64, 0u);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(in->m_channel2) % 64, 0u);
    EXPECT_EQ(machine->m_ports[1]->m_audioBuffer->m_channel2, nullptr);
    EXPECT_EQ(machine->m_ports[1]->m_controlBuffer, nullptr);
    EXPECT_NE(machine->m_ports[2]->m_controlBuffer, nullptr);
    EXPECT_EQ(machine->m_ports[2]->m_audioBuffer, nullptr);
    EXPECT_EQ(machine->m_ports[0]->m_owner, machine);
    EXPECT_STREQ(machine->m_ports[2]->m_name, "Control In");
    machine->Delete();
}

TEST_F(Machine, NewBuffersAreSilentAndResizeKeepsTheBufferAtTheSameLength) {
    CAudioBuffer buffer(64, true);
    for (int i = 0; i < 64; ++i) ASSERT_EQ(buffer.m_channel1[i] + buffer.m_channel2[i], 0.0f) << i;
    buffer.m_channel1[3] = 1.5f;
    float* before = buffer.m_channel1;
    buffer.Resize(64);
    EXPECT_EQ(buffer.m_channel1, before);
    EXPECT_EQ(buffer.m_channel1[3], 1.5f);
    buffer.Resize(1000);
    EXPECT_EQ(buffer.m_length, 1000);
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(buffer.m_channel2[i], 0.0f);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(buffer.m_channel1) % 64, 0u);
}

TEST_F(Machine, StateBlockHoldsMagicCountAndValues) {
    auto* machine = new CThreeKnobs(&host);
    const void* data = nullptr;
    int32_t size = 0;
    bool list = false;
    machine->GetState(&data, &size, &list);
    ASSERT_EQ(size, 20);
    EXPECT_TRUE(list);
    const auto* bytes = static_cast<const uint8_t*>(data);
    EXPECT_EQ(std::memcmp(bytes, "\x68\x50\x62\x54", 4), 0);
    int32_t count = 0;
    float values[3];
    std::memcpy(&count, bytes + 4, 4);
    std::memcpy(values, bytes + 8, 12);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(values[0], 0.25f);
    EXPECT_EQ(values[2], 0.75f);

    // Saving again reuses the machine's own block: nothing to free, nothing leaks.
    const void* again = nullptr;
    machine->GetState(&again, &size, &list);
    EXPECT_EQ(again, data);

    auto* other = new CThreeKnobs(&host);
    other->m_values[0] = other->m_values[1] = other->m_values[2] = 0.0f;
    other->SetState(data, size, list);
    EXPECT_EQ(other->m_values[0], 0.25f);
    EXPECT_EQ(other->m_values[1], 0.5f);
    EXPECT_EQ(other->m_values[2], 0.75f);
    other->Delete();
    machine->Delete();
}

TEST_F(Machine, ShortOrOverlongStateBlocksAreSafe) {
    auto* machine = new CThreeKnobs(&host);
    const uint8_t four[4] = {'h', 'P', 'b', 'T'};
    machine->SetState(four, 4, true);
    EXPECT_EQ(machine->m_sets, 0);
    EXPECT_EQ(machine->m_values[0], 0.25f);

    // A count of 1000 in a block holding two values applies exactly those two.
    auto block = Block(1000, {0.9f, 0.8f});
    machine->SetState(block.data(), static_cast<int32_t>(block.size()), true);
    EXPECT_EQ(machine->m_values[0], 0.9f);
    EXPECT_EQ(machine->m_values[1], 0.8f);
    EXPECT_EQ(machine->m_values[2], 0.75f);

    // A negative count applies nothing; the magic is not checked.
    auto negative = Block(-5, {0.1f, 0.1f, 0.1f});
    std::memcpy(negative.data(), "XXXX", 4);
    machine->SetState(negative.data(), static_cast<int32_t>(negative.size()), true);
    EXPECT_EQ(machine->m_values[0], 0.9f);
    auto wrongMagic = Block(1, {0.3f});
    std::memcpy(wrongMagic.data(), "XXXX", 4);
    machine->SetState(wrongMagic.data(), static_cast<int32_t>(wrongMagic.size()), true);
    EXPECT_EQ(machine->m_values[0], 0.3f);
    machine->Delete();
}

TEST_F(Machine, ProgramsAreNamedAndHoldTheCurrentValues) {
    auto* single = new CThreeKnobs(&host, 1);
    char name[256] = "untouched";
    single->GetProgramName(name);
    EXPECT_STREQ(name, "Default");
    single->Delete();

    auto* machine = new CThreeKnobs(&host, 3);
    ASSERT_EQ(machine->m_programCount, 3);
    machine->GetProgramNameIndexed(0, name);
    EXPECT_STREQ(name, "Program 000");
    machine->GetProgramNameIndexed(2, name);
    EXPECT_STREQ(name, "Program 002");
    std::strcpy(name, "untouched");
    machine->GetProgramNameIndexed(3, name);
    EXPECT_STREQ(name, "untouched");
    machine->GetProgramNameIndexed(300, name);
    EXPECT_STREQ(name, "untouched");
    EXPECT_EQ(machine->m_programs[1]->values[1], 0.5f);

    // Changing a parameter writes into the current program only; switching programs restores.
    machine->SetProgram(1);
    machine->SetParameter(0, 1.0f);
    EXPECT_EQ(machine->m_programs[1]->values[0], 1.0f);
    EXPECT_EQ(machine->m_programs[0]->values[0], 0.25f);
    machine->SetProgramName("Wobble");
    machine->SetProgram(0);
    EXPECT_EQ(machine->m_values[0], 0.25f);
    EXPECT_EQ(machine->GetProgram(), 0);
    EXPECT_EQ(machine->m_programLoadDepth, 0);
    machine->SetProgram(1);
    EXPECT_EQ(machine->m_values[0], 1.0f);
    machine->GetProgramName(name);
    EXPECT_STREQ(name, "Wobble");
    machine->Delete();
}

TEST_F(Machine, AutomateGoesThroughTheHostContext) {
    auto* machine = new CThreeKnobs(&host);
    machine->AutomateParameter(1, 0.125f);
    EXPECT_EQ(machine->m_values[1], 0.125f);

    CRecordingContext context;
    machine->m_hostContext = &context;
    machine->AutomateParameter(2, 0.0625f);
    ASSERT_EQ(context.calls.size(), 1u);
    EXPECT_EQ(context.calls[0].index, 2);
    EXPECT_EQ(context.calls[0].value, 0.0625f);
    EXPECT_EQ(machine->m_values[2], 0.0625f);
    machine->Delete();
}

TEST_F(Machine, NamesAreOwnedCopies) {
    auto* machine = new CThreeKnobs(&host);
    char name[32] = "QX BassHead 1";
    machine->SetName(name);
    name[0] = 'Z';
    EXPECT_STREQ(machine->GetName(), "QX BassHead 1");
    machine->SetName("Other");
    EXPECT_STREQ(machine->GetName(), "Other");
    char text[64] = "x";
    machine->GetParameterDisplay(0, text);
    EXPECT_STREQ(text, "");
    machine->Delete();
}

TEST_F(Machine, BankClientResultCodes) {
    auto* machine = new CThreeKnobs(&host);
    EXPECT_TRUE(machine->HasBankServer());
    EXPECT_EQ(machine->DisconnectBankServer(), 4);
    EXPECT_EQ(machine->ConnectBankServer(), 0);
    EXPECT_EQ(machine->ConnectBankServer(), 1);
    EXPECT_EQ(machine->DisconnectBankServer(), 0);
    EXPECT_EQ(machine->DisconnectBankServer(), 4);
    EXPECT_EQ(machine->ConnectBankServer(), 0);
    machine->Delete();  // disconnects on the way out

    auto* orphan = new CThreeKnobs(nullptr);
    EXPECT_FALSE(orphan->HasBankServer());
    EXPECT_EQ(orphan->ConnectBankServer(), 1);
    EXPECT_EQ(orphan->DisconnectBankServer(), 4);
    orphan->Delete();
}

TEST(Mutex, TryLockForWaitsForTheHolderUpToItsPatience) {
    CMutex mutex;
    // Free, and again on the owner's own thread: taken at once, counted.
    EXPECT_TRUE(mutex.TryLockFor(std::chrono::milliseconds(1)));
    EXPECT_TRUE(mutex.TryLockFor(std::chrono::milliseconds(1)));
    mutex.Unlock();
    mutex.Unlock();
    EXPECT_FALSE(mutex.IsLocked());

    std::atomic<bool> held{false}, release{false};
    std::thread holder([&] {
        CMutexLock lock(mutex);
        held = true;
        while (!release) std::this_thread::yield();
    });
    while (!held) std::this_thread::yield();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(mutex.TryLockFor(std::chrono::milliseconds(20)));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(19));
    // Released while it waits: taken.
    std::thread releaser([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        release = true;
    });
    EXPECT_TRUE(mutex.TryLockFor(std::chrono::seconds(30)));
    releaser.join();
    holder.join();
    EXPECT_TRUE(mutex.IsLocked());
    mutex.Unlock();
}

// A real-time waiter, a low-priority holder and a busy real-time thread between them, all on one
// processor: the busy thread would keep the holder from ever releasing, but the holder runs at
// the waiter's priority while the waiter waits, finishes and lets it in.
TEST(Mutex, AWaitingRealTimeThreadLendsItsPriorityToTheHolder) {
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(0, &one);
    std::atomic<int> refused{0};
    auto place = [&](int policy, int priority) {
        sched_param parameters{};
        parameters.sched_priority = priority;
        // The priority first: an ordinary thread moved onto the busy processor would wait there.
        if (pthread_setschedparam(pthread_self(), policy, &parameters) != 0 ||
            pthread_setaffinity_np(pthread_self(), sizeof one, &one) != 0)
            ++refused;
    };
    CMutex mutex;
    std::atomic<bool> held{false};
    std::atomic<int> waited{-1};
    // The holder needs 60 ms of processor time, more than the share a busy real-time thread leaves
    // ordinary threads in a second.
    auto threadTime = [] {
        timespec now{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
        return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
    };
    std::thread holder([&] {
        place(SCHED_OTHER, 0);
        CMutexLock lock(mutex);
        const auto until = threadTime() + std::chrono::milliseconds(60);
        held = true;
        while (threadTime() < until) {
        }
    });
    while (!held) std::this_thread::yield();
    std::atomic<bool> busy{true};
    std::thread hog([&] {
        place(SCHED_FIFO, 10);
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(600);
        while (busy && std::chrono::steady_clock::now() < until) {
        }
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::thread waiter([&] {
        place(SCHED_FIFO, 20);
        const bool taken = mutex.TryLockFor(std::chrono::milliseconds(300));
        if (taken) mutex.Unlock();
        waited = taken ? 1 : 0;
        busy = false;
    });
    waiter.join();
    hog.join();
    holder.join();
    if (refused > 0) GTEST_SKIP() << "real-time scheduling or processor affinity is not permitted here";
    EXPECT_EQ(waited, 1) << "the holder was kept from releasing the lock";
}

TEST(Mutex, CountsLocksOverAllThreads) {
    CMutex mutex;
    EXPECT_FALSE(mutex.IsLocked());
    mutex.Lock();
    mutex.Lock();
    EXPECT_TRUE(mutex.IsLocked());
    mutex.Unlock();
    EXPECT_TRUE(mutex.IsLocked());
    mutex.Unlock();
    EXPECT_FALSE(mutex.IsLocked());
}
