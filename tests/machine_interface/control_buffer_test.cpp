#include "machine_interface/control_buffer.h"

#include <gtest/gtest.h>

#include <vector>

namespace {
ControlEvent Event(int32_t time, int32_t kind, int32_t index) {
    ControlEvent event{};
    event.size = 32;
    event.time = time;
    event.kind = kind;
    event.index = index;
    return event;
}

std::vector<ControlEvent> Drain(CControlBuffer& buffer) {
    std::vector<ControlEvent> events;
    ControlEvent event{};
    while (buffer.GetNextEvent(&event)) events.push_back(event);
    return events;
}
} // namespace

TEST(ControlBuffer, NoteOffComesFirstAtEqualTimeWhicheverWasAddedFirst) {
    CControlBuffer buffer;
    const ControlEvent on = Event(10, kEventNoteOn, 60);
    const ControlEvent off = Event(10, kEventNoteOff, 60);
    buffer.AddEvent(&on);
    buffer.AddEvent(&off);
    auto events = Drain(buffer);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].kind, kEventNoteOff);
    EXPECT_EQ(events[1].kind, kEventNoteOn);

    buffer.AddEvent(&off);
    buffer.AddEvent(&on);
    events = Drain(buffer);
    EXPECT_EQ(events[0].kind, kEventNoteOff);
}

TEST(ControlBuffer, TimeOrderThenInsertionOrder) {
    CControlBuffer buffer;
    const ControlEvent events[] = {Event(50, kEventNoteOn, 1), Event(5, kEventParameter, 2), Event(50, kEventNoteOn, 3),
                                   Event(0, kEventTriggerOn, 4), Event(50, kEventParameter, 5)};
    for (const auto& event : events) buffer.AddEvent(&event);
    EXPECT_EQ(buffer.GetCount(), 5);
    std::vector<int32_t> order;
    for (const auto& event : Drain(buffer)) order.push_back(event.index);
    EXPECT_EQ(order, (std::vector<int32_t>{4, 2, 1, 3, 5}));
    EXPECT_EQ(buffer.GetCount(), 0);
    ControlEvent none{};
    EXPECT_FALSE(buffer.GetNextEvent(&none));
}

TEST(ControlBuffer, NoteOffBehindOtherEventsOfItsTimeIsTakenFirst) {
    CControlBuffer buffer;
    const ControlEvent events[] = {Event(7, kEventNoteOn, 1), Event(7, kEventParameter, 2), Event(7, kEventNoteOff, 3),
                                   Event(7, kEventNoteOff, 4), Event(8, kEventNoteOff, 5)};
    for (const auto& event : events) buffer.AddEvent(&event);
    std::vector<int32_t> order;
    for (const auto& event : Drain(buffer)) order.push_back(event.index);
    EXPECT_EQ(order, (std::vector<int32_t>{3, 4, 1, 2, 5}));
}

TEST(ControlBuffer, CopyToKeepsTheSourceAndClearEmpties) {
    CControlBuffer source;
    CControlBuffer target;
    const ControlEvent a = Event(3, kEventNoteOn, 60);
    const ControlEvent b = Event(1, kEventNoteOn, 62);
    const ControlEvent c = Event(2, kEventNoteOff, 64);
    source.AddEvent(&a);
    source.AddEvent(&b);
    target.AddEvent(&c);
    source.CopyTo(&target);
    EXPECT_EQ(source.GetCount(), 2);
    EXPECT_EQ(target.GetCount(), 3);
    std::vector<int32_t> order;
    for (const auto& event : Drain(target)) order.push_back(event.index);
    EXPECT_EQ(order, (std::vector<int32_t>{62, 64, 60}));
    source.Clear();
    EXPECT_EQ(source.GetCount(), 0);
    ControlEvent none{};
    EXPECT_FALSE(source.GetNextEvent(&none));
}

TEST(ControlBuffer, ManyEventsBeyondTheFirstBlockStaySorted) {
    CControlBuffer buffer;
    for (int round = 0; round < 3; ++round) {
        for (int i = 0; i < 1000; ++i) {
            const ControlEvent event = Event((i * 7919) % 1024, kEventNoteOn, i);
            buffer.AddEvent(&event);
        }
        const auto events = Drain(buffer);
        ASSERT_EQ(events.size(), 1000u);
        for (size_t i = 1; i < events.size(); ++i) ASSERT_LE(events[i - 1].time, events[i].time);
    }
}

TEST(ControlEvent, StampRoundTrips) {
    ControlEvent event{};
    event.SetStamp(0x0123456789abcdefLL);
    EXPECT_EQ(event.Stamp(), 0x0123456789abcdefLL);
    EXPECT_FLOAT_EQ(kDefaultVelocity, 0.787401557f);
}
