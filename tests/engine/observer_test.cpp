// Watching the studio: the news views get of frames and cables, the order of it, and parameter
// news that other threads raise reaching the listeners only on the user-interface thread.
#include "tests/support/allocation_trap.h"
#include "tests/support/studio_fixture.h"
#include "tests/support/recording_machine.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

using Log = std::vector<std::string>;

class ObserverTest : public ::testing::Test, public CStudioFixture {
protected:
    ObserverTest() : m_listener(&m_log), m_frameListener(&m_log) {
        m_recording = new CRecordingMachineInfo(m_host.get(), "Recorder", &m_log, 4, 0);
        m_host->RegisterMachine(m_recording);
        m_studio->Observer().AddListener(&m_listener);
    }

    // The machines write into the log as they go: the studio goes first.
    ~ObserverTest() override { m_studio.reset(); }

    CEventLog m_log;
    CRecordingStudioListener m_listener;
    CRecordingFrameListener m_frameListener;
    CMachineInfo* m_recording;
};

TEST_F(ObserverTest, AddRenameCableDeleteAndClearEachTellOnce) {
    CMachineContainer* master = m_studio->NewProject();
    CMachineContainer* one = Add(m_recording);
    CMachineContainer* two = Add(m_recording);
    EXPECT_EQ(m_log.Take(), (Log{"cleared", "added Master", "added Recorder 1", "added Recorder 2"}));

    m_studio->Rename(one, "Recorder 1"); // the same text: nothing
    m_studio->Rename(one, "Lead");
    EXPECT_EQ(one->m_name, "Lead");
    EXPECT_EQ(m_log.Take(), Log{"renamed Lead"});

    ASSERT_TRUE(Cable(one, two));
    ASSERT_TRUE(Cable(two, master));
    EXPECT_FALSE(Cable(two, master)); // refused: no news
    EXPECT_EQ(m_log.Take(), (Log{"cables", "cables"}));

    // Deleting a frame with two cables: the machine is destroyed before anyone hears of it, and
    // the cables it took along are one piece of news.
    m_studio->DeleteMachine(two);
    EXPECT_EQ(m_log.Take(), (Log{"destroyed Recorder 2", "removed Recorder 2", "cables"}));
    EXPECT_EQ(one->FindConnector("Out")->m_fanOut, 0);

    m_studio->Clear();
    EXPECT_EQ(m_log.Take(), (Log{"removed Master", "destroyed Lead", "removed Lead", "cleared"}));

    // A removed listener hears nothing more.
    m_studio->Observer().RemoveListener(&m_listener);
    Add(m_recording);
    EXPECT_EQ(m_log.Take(), Log{});
}

TEST_F(ObserverTest, TheRemovedNewsCarriesWhatIdentifiedTheFrame) {
    struct Keeper : CStudioListener {
        void FrameAdded(CMachineContainer* frame) override {
            added = {frame, frame->Serial(), frame->m_name};
        }
        void FrameRemoved(const RemovedFrame& gone) override { removed = gone; }
        RemovedFrame added, removed;
    } keeper;
    m_studio->Observer().AddListener(&keeper);
    m_studio->Observer().AddListener(&keeper); // once only
    EXPECT_EQ(m_studio->Observer().ListenerCount(), 2u);
    CMachineContainer* frame = Add(m_tone);
    EXPECT_NE(frame->Serial(), 0u);
    m_studio->DeleteMachine(frame);
    EXPECT_EQ(keeper.removed.address, keeper.added.address);
    EXPECT_EQ(keeper.removed.serial, keeper.added.serial);
    EXPECT_EQ(keeper.removed.name, "Tone 1");
    // Serials are never reused, even when the address is.
    CMachineContainer* next = Add(m_tone);
    EXPECT_NE(next->Serial(), keeper.removed.serial);
    m_studio->Observer().RemoveListener(&keeper);
}

TEST_F(ObserverTest, AListenerMayLeaveWhileBeingTold) {
    struct Leaver : CStudioListener {
        explicit Leaver(CStudio* studio) : m_studio(studio) {}
        void FrameAdded(CMachineContainer*) override {
            ++count;
            m_studio->Observer().RemoveListener(this);
        }
        CStudio* m_studio;
        int count = 0;
    } leaver(m_studio.get());
    m_studio->Observer().AddListener(&leaver);
    Add(m_tone);
    Add(m_tone);
    EXPECT_EQ(leaver.count, 1);
    EXPECT_EQ(m_log.Take(), (Log{"added Tone 1", "added Tone 2"}));
}

TEST_F(ObserverTest, FramesKeepAListOfListeners) {
    CMachineContainer* one = Add(m_recording);
    CMachineContainer* two = Add(m_tone);
    CEventLog other;
    CRecordingFrameListener second(&other);
    one->AddListener(&m_frameListener);
    one->AddListener(&second);
    m_log.Take();
    ASSERT_TRUE(Cable(two, one));
    EXPECT_EQ(m_log.Take(), (Log{"connectors", "cables"}));
    EXPECT_EQ(other.Take(), Log{"connectors"});
    one->RemoveListener(&second);
    m_studio->Disconnect(one->FindConnector("In"), 0);
    EXPECT_EQ(m_log.Take(), (Log{"connectors", "cables"}));
    EXPECT_EQ(other.Take(), Log{});
}

TEST_F(ObserverTest, ParameterNewsFromAWorkerArrivesOnlyWhenDrainedAndPostingAllocatesNothing) {
    CMachineContainer* frame = Add(m_recording);
    frame->AddListener(&m_frameListener);
    m_log.Take();

    std::atomic<int> stage{0};
    std::thread worker([&] {
        while (stage.load() != 1)
            std::this_thread::yield();
        // As a machine does while processing a parameter event: through the host services.
        frame->Machine()->AutomateParameter(2, 0.25f);
        frame->Machine()->AutomateParameter(3, 0.75f);
        stage = 2;
    });
    allocation_trap::Arm();
    stage = 1;
    while (stage.load() != 2)
        std::this_thread::yield();
    const long allocations = allocation_trap::Disarm();
    worker.join();
    EXPECT_EQ(allocations, 0);
    EXPECT_EQ(m_log.Take(), Log{}) << "nothing reaches a view off the user-interface thread";
    // Changes from processing threads are not the user's edits.
    EXPECT_EQ(m_studio->Changes().Count(), 1u); // the frame's arrival only

    EXPECT_EQ(m_studio->DeliverNotifications(), 2u);
    EXPECT_EQ(m_log.Take(), (Log{"parameter 2 0.250000", "parameter 3 0.750000"}));
    EXPECT_EQ(m_studio->DeliverNotifications(), 0u);
    EXPECT_FLOAT_EQ(frame->Machine()->GetParameter(3), 0.0f); // no program: the base stores nothing
}

TEST_F(ObserverTest, NewsOfAFrameDeletedBeforeDeliveryIsDropped) {
    CMachineContainer* doomed = Add(m_recording);
    CMachineContainer* kept = Add(m_recording);
    doomed->AddListener(&m_frameListener);
    kept->AddListener(&m_frameListener);
    m_host->ParameterChanged(doomed->Machine(), 0, 0.5f);
    m_host->ParameterChanged(kept->Machine(), 1, 0.5f);
    m_studio->DeleteMachine(doomed);
    m_log.Take();
    EXPECT_EQ(m_studio->DeliverNotifications(), 2u);
    EXPECT_EQ(m_log.Take(), Log{"parameter 1 0.500000"});
}

TEST_F(ObserverTest, AFullQueueLosesNewsOnceAndEveryFrameRereads) {
    CMachineContainer* one = Add(m_recording);
    CMachineContainer* two = Add(m_recording);
    one->AddListener(&m_frameListener);
    two->AddListener(&m_frameListener);
    m_log.Take();
    const size_t overfill = CNotificationQueue::kCapacity + 10;
    for (size_t i = 0; i < overfill; ++i)
        m_host->ParameterChanged(one->Machine(), 0, static_cast<float>(i) / static_cast<float>(overfill));
    EXPECT_EQ(m_studio->Notifications().LostTotal(), 10u);
    EXPECT_EQ(m_studio->DeliverNotifications(), CNotificationQueue::kCapacity + 1);
    const Log log = m_log.Take();
    ASSERT_EQ(log.size(), CNotificationQueue::kCapacity + 2);
    EXPECT_EQ(log.front(), "parameter 0 0.000000");
    EXPECT_EQ(log[log.size() - 2], "all parameters");
    EXPECT_EQ(log.back(), "all parameters");
    // Room again: nothing lost any more.
    m_host->ParameterChanged(two->Machine(), 1, 1.0f);
    EXPECT_EQ(m_studio->DeliverNotifications(), 1u);
    EXPECT_EQ(m_log.Take(), Log{"parameter 1 1.000000"});
}

TEST(NotificationQueue, ManyWritersLoseNothingAndKeepEachWritersOrder) {
    CNotificationQueue queue;
    constexpr int kWriters = 4;
    constexpr int kEach = 400; // 1600 records: all fit
    std::vector<std::thread> writers;
    std::atomic<bool> go{false};
    for (int w = 0; w < kWriters; ++w)
        writers.emplace_back([&, w] {
            while (!go.load())
                std::this_thread::yield();
            for (int i = 0; i < kEach; ++i)
                EXPECT_TRUE(
                    queue.Post({Notification::kParameterChanged, i, 0.0f, static_cast<uint64_t>(w + 1)}));
        });
    go = true;
    std::vector<int> next(kWriters + 1, 0);
    size_t total = 0;
    auto sink = [&](const Notification& record) {
        ASSERT_EQ(record.kind, Notification::kParameterChanged);
        EXPECT_EQ(record.index, next[record.source]) << "writer " << record.source;
        next[record.source] = record.index + 1;
    };
    // Drained while the writers still write, as the user interface's timer would.
    while (total < static_cast<size_t>(kWriters * kEach))
        total += queue.Drain(sink);
    for (auto& writer : writers)
        writer.join();
    EXPECT_EQ(queue.Drain(sink), 0u);
    EXPECT_EQ(queue.LostTotal(), 0u);
    for (int w = 1; w <= kWriters; ++w)
        EXPECT_EQ(next[static_cast<size_t>(w)], kEach);
}

} // namespace
