// Little-endian writing and bounds-checked reading of the sequencer's blobs. Blobs come from
// project files, so every read checks what remains first and raises a text instead of reading
// past the end.
#pragma once

#include "platform/error.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

class CBlobWriter {
public:
    explicit CBlobWriter(size_t reserve) { m_bytes.reserve(reserve); }
    void Int32(int32_t value) {
        const auto bits = static_cast<uint32_t>(value);
        for (int shift = 0; shift < 32; shift += 8) m_bytes.push_back(static_cast<uint8_t>(bits >> shift));
    }
    void Float(float value) {
        uint32_t bits;
        std::memcpy(&bits, &value, sizeof bits);
        Int32(static_cast<int32_t>(bits));
    }
    void Byte(uint8_t value) { m_bytes.push_back(value); }
    void Bytes(const void* data, size_t size) {
        const auto* bytes = static_cast<const uint8_t*>(data);
        m_bytes.insert(m_bytes.end(), bytes, bytes + size);
    }
    std::vector<uint8_t> Take() { return std::move(m_bytes); }

private:
    std::vector<uint8_t> m_bytes;
};

class CBlobReader {
public:
    // what names the blob in error texts ("Pattern", "Sequence").
    CBlobReader(const void* data, size_t size, const char* what)
        : m_data(static_cast<const uint8_t*>(data)), m_size(data ? size : 0), m_what(what) {}

    size_t Remaining() const { return m_size - m_offset; }
    size_t Offset() const { return m_offset; }

    // Raises "<what> Data Truncated At Byte %zu" unless size bytes remain.
    void Need(size_t size) const {
        if (size > Remaining())
            platform::Raise("%s Data Truncated At Byte %zu", m_what, m_offset);
    }
    int32_t Int32() {
        Need(4);
        uint32_t bits = 0;
        for (int i = 0; i < 4; ++i) bits |= static_cast<uint32_t>(m_data[m_offset + static_cast<size_t>(i)]) << (8 * i);
        m_offset += 4;
        return static_cast<int32_t>(bits);
    }
    float Float() {
        const auto bits = static_cast<uint32_t>(Int32());
        float value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }
    uint8_t Byte() {
        Need(1);
        return m_data[m_offset++];
    }
    const uint8_t* Bytes(size_t size) {
        Need(size);
        const uint8_t* bytes = m_data + m_offset;
        m_offset += size;
        return bytes;
    }
    void Skip(size_t size) { Bytes(size); }
    // A count of records of recordSize bytes each: raises "<what> Data Corrupt: Invalid %s Count
    // (%i)" when negative or when the records cannot fit in what remains.
    int32_t Count(const char* name, size_t recordSize) {
        const int32_t count = Int32();
        if (count < 0 || static_cast<size_t>(count) > Remaining() / recordSize)
            platform::Raise("%s Data Corrupt: Invalid %s Count (%i)", m_what, name, count);
        return count;
    }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_offset = 0;
    const char* m_what;
};
