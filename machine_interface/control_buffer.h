// ControlEvent and CControlBuffer: the time-ordered events of one buffer on a control port.
// The sequencer and the MIDI machines add events (under the receiving machine's lock, on the
// driver thread or a MIDI thread); the machine drains them in Process on its worker thread.
#pragma once

#include <cstddef>
#include <cstdint>

enum ControlEventKind : int32_t {
    kEventNoteOn = 1,
    kEventNoteOff = 2,
    kEventTriggerOn = 3,
    kEventTriggerOff = 4,
    kEventParameter = 5,
};

// 32 bytes, little-endian; the layout is shared with every machine library.
struct ControlEvent {
    int32_t size;       // 32 when made by the sequencer; 0 from the MIDI input; never checked
    int32_t time;       // frame offset inside the current buffer
    int32_t kind;       // ControlEventKind
    uint8_t stamp[8];   // arrival time (high-resolution counter; MIDI input only, else 0)
    int32_t index;      // note 0..127 (kinds 1, 2), named-note index (3, 4), parameter index (5)
    float value;        // velocity 0..1 (kinds 1-4), parameter value 0..1 (kind 5)
    float frequency;    // note frequency in Hz (kinds 1, 2), else 0

    int64_t Stamp() const;
    void SetStamp(int64_t counter);
};

static_assert(sizeof(ControlEvent) == 32);
static_assert(offsetof(ControlEvent, size) == 0);
static_assert(offsetof(ControlEvent, time) == 4);
static_assert(offsetof(ControlEvent, kind) == 8);
static_assert(offsetof(ControlEvent, stamp) == 12);
static_assert(offsetof(ControlEvent, index) == 20);
static_assert(offsetof(ControlEvent, value) == 24);
static_assert(offsetof(ControlEvent, frequency) == 28);

// The sequencer's default velocity, 100/127.
constexpr float kDefaultVelocity = 100.0f / 127.0f;

class CControlBuffer {
public:
    struct Node {
        Node* next;
        ControlEvent event;
    };

    CControlBuffer();
    virtual ~CControlBuffer();
    CControlBuffer(const CControlBuffer&) = delete;
    CControlBuffer& operator=(const CControlBuffer&) = delete;

    // Worker, inside Process, machine locked: takes out the earliest event: smallest time; at
    // equal time a note-off before anything else, otherwise the one added first. False when
    // empty. Never allocates.
    virtual bool GetNextEvent(ControlEvent* event);
    // Driver thread (pattern and song ticks), a MIDI thread or a worker (control outputs), the
    // owning machine locked or not yet rendering: inserts a copy before the first event with a
    // greater time (equal times keep their order). Allocates only while the buffer grows past
    // the most events it has held.
    virtual void AddEvent(const ControlEvent* event);
    // Driver thread or worker, as AddEvent: drops every event (nodes are kept for reuse).
    virtual void Clear();
    // Worker (the cycle copies a control cable): adds a copy of every event, in list order, to
    // the other buffer; this one keeps its events.
    virtual void CopyTo(CControlBuffer* other);
    // Any thread that holds the owner's lock: the number of events.
    virtual int32_t GetCount();

    Node* m_head = nullptr;

private:
    // Nodes are recycled through a free list and allocated in blocks, so a buffer that has seen
    // its busiest buffer once never allocates again on the audio path.
    Node* NewNode();
    void FreeNode(Node* node);
    void Grow();

    Node* m_free = nullptr;
    Node** m_blocks = nullptr;
    int32_t m_blockCount = 0;
    int32_t m_count = 0;
};
