// CRIFFLoader: reads a RIFF file of one form type into memory and walks its chunks. A subclass
// handles each chunk and decides which LIST chunks to walk further; the walker distrusts every
// size it reads (a chunk never reaches past the block that holds it, a LIST is at least its
// 4-byte type long) and ends at the first non-zero result.
//
// Threads: one object belongs to one thread at a time (the UI thread loading a bank, a test or
// the fuzzer). No locks. Memory: the file's contents after the 12-byte RIFF header are owned by
// the loader and kept until it is destroyed or reads another file; chunk data handed to the
// subclass point into them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Results of reading a RIFF file (and of the SoundFont loader built on it).
enum RiffResult : int32_t {
    kRiffOk = 0,
    kRiffCannotOpen = 7, // the file cannot be opened for reading
    kRiffDamaged = 8,    // not a file of the expected form, or damaged
};

// One chunk as the walker hands it on. For a LIST chunk listType holds the list's 4-byte type
// and the data start after it; for other chunks listType is zero.
struct RiffChunk {
    std::array<char, 4> id{};
    uint32_t size = 0; // as written in the file: for a LIST it counts the list type too
    std::array<char, 4> listType{};
    bool IsList() const { return Is("LIST"); }
    bool Is(const char* fourCharacters) const;
    bool IsListOf(const char* fourCharacters) const;
};

class CRIFFLoader {
public:
    CRIFFLoader() = default;
    virtual ~CRIFFLoader() = default;
    CRIFFLoader(const CRIFFLoader&) = delete;
    CRIFFLoader& operator=(const CRIFFLoader&) = delete;

    // Walks the chunks of block (blockSize bytes): 8-byte headers (identifier, little-endian
    // size), the next chunk 8 + size bytes on, while at least 8 bytes remain. A LIST below 4 bytes
    // or a chunk longer than the rest of the block gives kRiffDamaged; otherwise each chunk goes to
    // HandleChunk with depth and kind unchanged, and the first non-zero answer ends the walk.
    virtual int32_t WalkChunks(const uint8_t* block, size_t blockSize, int32_t depth, int32_t kind);
    // One chunk: data and dataSize are the chunk's bytes (for a LIST, after its type). kind is the
    // subclass's own number for the block being walked; depth counts the LISTs around it.
    virtual int32_t HandleChunk(const RiffChunk& chunk, const uint8_t* data, size_t dataSize, int32_t depth,
                                int32_t kind) = 0;

protected:
    // Reads the file's header ("RIFF", size, formType) and then the size - 4 bytes of contents in
    // one piece: kRiffCannotOpen when it cannot be opened (or is no regular file); kRiffDamaged
    // for another identifier or form, a size below 4, or a file shorter than its size says.
    // Bytes after the RIFF block are ignored.
    int32_t ReadFile(const std::string& path, const char* formType);
    // The same from a file's bytes already in memory (copied).
    int32_t ReadBytes(const uint8_t* bytes, size_t size, const char* formType);

    const std::vector<uint8_t>& Contents() const { return m_contents; }

private:
    std::vector<uint8_t> m_contents;
};
