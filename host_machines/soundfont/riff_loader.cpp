#include "host_machines/soundfont/riff_loader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

constexpr size_t kRiffHeaderSize = 12;
constexpr size_t kChunkHeaderSize = 8;
constexpr size_t kListTypeSize = 4;

uint32_t ReadLittle32(const uint8_t* bytes) {
    return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
           static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

// The size the header announces for the contents after it, or -1 when the header is not ours.
int64_t ContentSize(const uint8_t header[kRiffHeaderSize], const char* formType) {
    if (std::memcmp(header, "RIFF", 4) != 0 || std::memcmp(header + 8, formType, 4) != 0) return -1;
    const uint32_t riffSize = ReadLittle32(header + 4);
    if (riffSize < kListTypeSize) return -1;
    return static_cast<int64_t>(riffSize) - static_cast<int64_t>(kListTypeSize);
}

// Closes the descriptor on every way out.
struct CFileDescriptor {
    int fd;
    ~CFileDescriptor() {
        if (fd >= 0) close(fd);
    }
};

bool ReadAll(int fd, uint8_t* target, size_t size) {
    while (size > 0) {
        const ssize_t got = read(fd, target, size);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        target += got;
        size -= static_cast<size_t>(got);
    }
    return true;
}

} // namespace

bool RiffChunk::Is(const char* fourCharacters) const { return std::memcmp(id.data(), fourCharacters, 4) == 0; }

bool RiffChunk::IsListOf(const char* fourCharacters) const {
    return IsList() && std::memcmp(listType.data(), fourCharacters, 4) == 0;
}

int32_t CRIFFLoader::WalkChunks(const uint8_t* block, size_t blockSize, int32_t depth, int32_t kind) {
    size_t offset = 0;
    while (blockSize - offset >= kChunkHeaderSize) {
        RiffChunk chunk;
        std::memcpy(chunk.id.data(), block + offset, 4);
        chunk.size = ReadLittle32(block + offset + 4);
        const size_t left = blockSize - offset - kChunkHeaderSize;
        // Compared in size_t: a size near 4 GB must not wrap past the end of the block.
        if (chunk.size > left) return kRiffDamaged;
        const uint8_t* data = block + offset + kChunkHeaderSize;
        size_t dataSize = chunk.size;
        if (chunk.IsList()) {
            if (chunk.size < kListTypeSize) return kRiffDamaged;
            std::memcpy(chunk.listType.data(), data, 4);
            data += kListTypeSize;
            dataSize -= kListTypeSize;
        }
        const int32_t result = HandleChunk(chunk, data, dataSize, depth, kind);
        if (result != kRiffOk) return result;
        offset += kChunkHeaderSize + chunk.size;
    }
    return kRiffOk;
}

int32_t CRIFFLoader::ReadFile(const std::string& path, const char* formType) {
    m_contents.clear();
    CFileDescriptor file{open(path.c_str(), O_RDONLY | O_CLOEXEC)};
    if (file.fd < 0) return kRiffCannotOpen;
    struct stat status {};
    // A folder or a device opens, but is no bank file to read.
    if (fstat(file.fd, &status) != 0 || !S_ISREG(status.st_mode)) return kRiffCannotOpen;
    uint8_t header[kRiffHeaderSize];
    if (!ReadAll(file.fd, header, sizeof header)) return kRiffDamaged;
    const int64_t size = ContentSize(header, formType);
    // Checked against the file's length first, so a lying header cannot make us allocate 4 GB.
    if (size < 0 || size > static_cast<int64_t>(status.st_size) - static_cast<int64_t>(kRiffHeaderSize))
        return kRiffDamaged;
    m_contents.resize(static_cast<size_t>(size));
    if (!ReadAll(file.fd, m_contents.data(), m_contents.size())) {
        m_contents.clear();
        return kRiffDamaged;
    }
    return kRiffOk;
}

int32_t CRIFFLoader::ReadBytes(const uint8_t* bytes, size_t size, const char* formType) {
    m_contents.clear();
    if (size < kRiffHeaderSize) return kRiffDamaged;
    const int64_t contentSize = ContentSize(bytes, formType);
    if (contentSize < 0 || static_cast<uint64_t>(contentSize) > size - kRiffHeaderSize) return kRiffDamaged;
    m_contents.assign(bytes + kRiffHeaderSize, bytes + kRiffHeaderSize + contentSize);
    return kRiffOk;
}
