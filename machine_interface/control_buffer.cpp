#include "machine_interface/control_buffer.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace {
// The first block is enough for any pattern buffer we know of; later blocks double.
constexpr int32_t kFirstBlockNodes = 64;
} // namespace

int64_t ControlEvent::Stamp() const {
    int64_t counter = 0;
    std::memcpy(&counter, stamp, sizeof counter);
    return counter;
}

void ControlEvent::SetStamp(int64_t counter) { std::memcpy(stamp, &counter, sizeof counter); }

CControlBuffer::CControlBuffer() { Grow(); }

CControlBuffer::~CControlBuffer() {
    for (int32_t i = 0; i < m_blockCount; ++i) delete[] m_blocks[i];
    std::free(m_blocks);
}

void CControlBuffer::Grow() {
    const int32_t nodes = kFirstBlockNodes << (m_blockCount < 16 ? m_blockCount : 16);
    Node** blocks = static_cast<Node**>(std::realloc(m_blocks, sizeof(Node*) * (m_blockCount + 1)));
    if (!blocks) throw std::bad_alloc();
    m_blocks = blocks;
    Node* block = new Node[nodes];
    m_blocks[m_blockCount++] = block;
    for (int32_t i = 0; i < nodes; ++i) {
        block[i].next = m_free;
        m_free = &block[i];
    }
}

CControlBuffer::Node* CControlBuffer::NewNode() {
    if (!m_free) Grow();
    Node* node = m_free;
    m_free = node->next;
    return node;
}

void CControlBuffer::FreeNode(Node* node) {
    node->next = m_free;
    m_free = node;
}

bool CControlBuffer::GetNextEvent(ControlEvent* event) {
    if (!m_head) return false;
    // The list is in time order, so the earliest time is at the head; among the events of that
    // time a note-off wins, else the head.
    Node** best = &m_head;
    if (m_head->event.kind != kEventNoteOff) {
        for (Node** link = &m_head->next; *link && (*link)->event.time == m_head->event.time; link = &(*link)->next) {
            if ((*link)->event.kind == kEventNoteOff) {
                best = link;
                break;
            }
        }
    }
    Node* node = *best;
    *event = node->event;
    *best = node->next;
    FreeNode(node);
    --m_count;
    return true;
}

void CControlBuffer::AddEvent(const ControlEvent* event) {
    Node* node = NewNode();
    node->event = *event;
    Node** link = &m_head;
    while (*link && (*link)->event.time <= event->time) link = &(*link)->next;
    node->next = *link;
    *link = node;
    ++m_count;
}

void CControlBuffer::Clear() {
    while (m_head) {
        Node* node = m_head;
        m_head = node->next;
        FreeNode(node);
    }
    m_count = 0;
}

void CControlBuffer::CopyTo(CControlBuffer* other) {
    for (Node* node = m_head; node; node = node->next) other->AddEvent(&node->event);
}

int32_t CControlBuffer::GetCount() { return m_count; }
