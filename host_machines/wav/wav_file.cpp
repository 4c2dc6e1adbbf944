#include "host_machines/wav/wav_file.h"

#include "platform/error.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

void Put16(uint8_t* at, uint16_t value) {
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
}

void Put32(uint8_t* at, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<uint8_t>(value >> (8 * i));
}

uint16_t Get16(const uint8_t* at) {
    return static_cast<uint16_t>(at[0] | (at[1] << 8));
}

uint32_t Get32(const uint8_t* at) {
    return static_cast<uint32_t>(at[0]) | (static_cast<uint32_t>(at[1]) << 8) |
           (static_cast<uint32_t>(at[2]) << 16) | (static_cast<uint32_t>(at[3]) << 24);
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

} // namespace

float Int16ToFloat(int16_t s) {
    if (s < 0) return static_cast<float>(s) * (1.0f / 32768.0f);
    return static_cast<float>(s) * 3.0518509e-5f;
}

void BuildWavHeader(const WavHeaderFields& fields, uint8_t header[kWavHeaderSize]) {
    const uint16_t blockAlign = static_cast<uint16_t>(fields.bits / 8 * fields.channels);
    std::memcpy(header, "RIFF", 4);
    Put32(header + 4, 36 + fields.dataSize);
    std::memcpy(header + 8, "WAVEfmt ", 8);
    Put32(header + 16, 16);
    Put16(header + 20, fields.formatTag);
    Put16(header + 22, fields.channels);
    Put32(header + 24, fields.sampleRate);
    Put32(header + 28, blockAlign * fields.sampleRate);
    Put16(header + 32, blockAlign);
    Put16(header + 34, fields.bits);
    std::memcpy(header + 36, "data", 4);
    Put32(header + 40, fields.dataSize);
}

CSampleBuffer::CSampleBuffer(int32_t frameCount, int32_t sampleRate) : m_sampleRate(sampleRate) {
    if (frameCount > 0) {
        m_data = new float[static_cast<size_t>(frameCount)]();
        m_frameCount = frameCount;
    }
}

CSampleBuffer::CSampleBuffer(int32_t frameCount, const float* samples, int32_t sampleRate)
    : CSampleBuffer(frameCount, sampleRate) {
    if (m_data) std::memcpy(m_data, samples, sizeof(float) * static_cast<size_t>(frameCount));
}

CSampleBuffer::~CSampleBuffer() {
    Release();
}

CSampleBuffer* CSampleBuffer::Clone() const {
    return new CSampleBuffer(m_frameCount, m_data, m_sampleRate);
}

void CSampleBuffer::Release() {
    delete[] m_data;
    m_data = nullptr;
    m_frameCount = 0;
}

void CSampleBuffer::Load(const std::string& path) {
    Release();
    const char* name = path.c_str();
    File file(std::fopen(name, "rb"));
    if (!file) platform::Raise("Can't Open File <%s>", name);

    // Every size in the file is checked against what is left of it, so a damaged or hostile
    // chunk size never makes us allocate or seek past the end.
    struct stat status {};
    const uint64_t fileSize =
        fstat(fileno(file.get()), &status) == 0 ? static_cast<uint64_t>(status.st_size) : 0;
    uint64_t position = 0;
    auto read = [&](void* into, uint64_t size) {
        if (size > fileSize - position || std::fread(into, 1, size, file.get()) != size)
            platform::Raise("Unexpected End Of File Reading <%s>", name);
        position += size;
    };
    auto skip = [&](uint64_t size) {
        if (size > fileSize - position || std::fseek(file.get(), static_cast<long>(size), SEEK_CUR) != 0)
            platform::Raise("Unexpected End Of File Reading <%s>", name);
        position += size;
    };

    uint8_t riff[12];
    read(riff, sizeof riff);
    if (std::memcmp(riff, "RIFF", 4) != 0 || std::memcmp(riff + 8, "WAVE", 4) != 0)
        platform::Raise("Invalid File Format Reading <%s>", name);

    uint8_t format[40] = {};
    std::unique_ptr<uint8_t[]> samples;
    uint32_t dataSize = 0;
    bool haveFormat = false;
    bool haveData = false;
    while (!haveFormat || !haveData) {
        uint8_t chunk[8];
        read(chunk, sizeof chunk);
        const uint32_t size = Get32(chunk + 4);
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            if (size < 16) platform::Raise("Format Chunk In File <%s> Is Too Small", name);
            // The extensible form (40 bytes) names its real format in the first two bytes of
            // its sub-format; the rest of a longer chunk is skipped.
            const uint32_t kept = size < sizeof format ? size : static_cast<uint32_t>(sizeof format);
            read(format, kept);
            skip(size - kept);
            haveFormat = true;
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            if (size > fileSize - position) platform::Raise("Unexpected End Of File Reading <%s>", name);
            samples.reset(new uint8_t[size ? size : 1]);
            read(samples.get(), size);
            dataSize = size;
            haveData = true;
        } else {
            skip(size);
        }
        // RIFF pads odd-sized chunks to an even length; writers that forget the pad byte end
        // the file there, so a missing pad at the very end is forgiven.
        if ((size & 1) != 0 && position < fileSize && (!haveFormat || !haveData)) skip(1);
    }
    file.reset();

    uint16_t formatTag = Get16(format);
    if (formatTag == kWavFormatExtensible && Get16(format + 16) >= 22) formatTag = Get16(format + 24);
    const uint16_t channels = Get16(format + 2);
    const uint16_t bits = Get16(format + 14);
    if (formatTag != kWavFormatPcm) platform::Raise("Can't Read Non-PCM Format WAV File <%s>", name);
    if (bits != 16) platform::Raise("Only 16 Bit WAV Files Supported, <%s> Is %i-Bit", name, bits);
    if (channels != 1) platform::Raise("Only Mono WAV Files Supported, <%s> Has %i Channels", name, channels);

    const int32_t frames = static_cast<int32_t>(dataSize / 2);
    if (frames == 0) return;
    m_data = new float[static_cast<size_t>(frames)];
    for (int32_t i = 0; i < frames; ++i)
        m_data[i] = Int16ToFloat(static_cast<int16_t>(Get16(samples.get() + 2 * static_cast<size_t>(i))));
    m_frameCount = frames;
}

void CSampleBuffer::Save(const std::string& path) const {
    const char* name = path.c_str();
    const size_t dataSize = 2 * static_cast<size_t>(m_frameCount);
    std::unique_ptr<uint8_t[]> block(new uint8_t[dataSize ? dataSize : 1]);
    for (int32_t i = 0; i < m_frameCount; ++i)
        Put16(block.get() + 2 * static_cast<size_t>(i), static_cast<uint16_t>(FloatToInt16(m_data[i])));

    File file(std::fopen(name, "wb"));
    if (!file) platform::Raise("Can't Open File <%s>", name);
    WavHeaderFields fields;
    fields.sampleRate = static_cast<uint32_t>(m_sampleRate);
    fields.dataSize = static_cast<uint32_t>(dataSize);
    uint8_t header[kWavHeaderSize];
    BuildWavHeader(fields, header);
    // The header goes out in the same five pieces a reader walks: RIFF, "fmt ", its body, "data".
    const size_t pieces[][2] = {{0, 12}, {12, 8}, {20, 16}, {36, 8}};
    for (const auto& piece : pieces)
        if (std::fwrite(header + piece[0], 1, piece[1], file.get()) != piece[1])
            platform::Raise("Can't Write To File <%s>", name);
    if (dataSize && std::fwrite(block.get(), 1, dataSize, file.get()) != dataSize)
        platform::Raise("Can't Write To File <%s>", name);
    if (std::fclose(file.release()) != 0) platform::Raise("Can't Write To File <%s>", name);
}

CWavFileWriter::~CWavFileWriter() {
    Close();
}

namespace {

// Writes every byte or reports the reason. Returns the bytes that made it to the file in
// `written` either way (a short write is followed by another attempt, which names the reason).
int WriteAll(int fd, const uint8_t* data, size_t size, size_t& written) {
    written = 0;
    while (written < size) {
        const ssize_t n = ::write(fd, data + written, size - written);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (n == 0) return EIO;
        written += static_cast<size_t>(n);
    }
    return 0;
}

// The largest data size a header can describe (its RIFF size is 36 bytes more).
constexpr uint32_t kMaxWavData = 0xFFFFFFFFu - 36u;

} // namespace

bool CWavFileWriter::Open(const std::string& path, uint16_t formatTag, uint16_t channels,
                          uint32_t sampleRate) {
    Close();
    m_error = 0;
    m_fields.formatTag = formatTag;
    m_fields.channels = channels;
    m_fields.sampleRate = sampleRate;
    m_fields.bits = formatTag == kWavFormatFloat ? 32 : 16;
    m_fields.dataSize = 0;
    m_dataSize = 0;
    m_writtenSize = 0;
    m_buffered = 0;
    m_fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (m_fd < 0) {
        m_error = errno;
        return false;
    }
    if (!m_buffer) m_buffer.reset(new uint8_t[kBufferSize]);
    uint8_t header[kWavHeaderSize];
    BuildWavHeader(m_fields, header);
    size_t written = 0;
    m_error = WriteAll(m_fd, header, sizeof header, written);
    if (m_error != 0) {
        ::close(m_fd);
        m_fd = -1;
        return false;
    }
    return true;
}

bool CWavFileWriter::Flush() {
    if (m_error != 0) return false;
    size_t written = 0;
    m_error = WriteAll(m_fd, m_buffer.get(), m_buffered, written);
    m_writtenSize += static_cast<uint32_t>(written);
    m_buffered = 0;
    return m_error == 0;
}

bool CWavFileWriter::Append(const void* bytes, size_t size) {
    if (m_fd < 0 || m_error != 0) return false;
    if (size > kMaxWavData - m_dataSize) {
        // What was accepted before stays good: it goes to the file first.
        if (Flush()) m_error = EFBIG;
        return false;
    }
    const auto* from = static_cast<const uint8_t*>(bytes);
    while (size > 0) {
        const size_t room = kBufferSize - m_buffered;
        const size_t part = size < room ? size : room;
        std::memcpy(m_buffer.get() + m_buffered, from, part);
        m_buffered += part;
        m_dataSize += static_cast<uint32_t>(part);
        from += part;
        size -= part;
        if (m_buffered == kBufferSize && !Flush()) return false;
    }
    return true;
}

bool CWavFileWriter::AppendFrames(const float* left, const float* right, int32_t frames) {
    const bool stereo = m_fields.channels == 2;
    const bool pcm = m_fields.formatTag == kWavFormatPcm;
    const size_t sampleBytes = pcm ? 2 : 4;
    const int32_t framesPerChunk = static_cast<int32_t>(sizeof m_scratch / (sampleBytes * (stereo ? 2 : 1)));
    for (int32_t start = 0; start < frames; start += framesPerChunk) {
        const int32_t count = frames - start < framesPerChunk ? frames - start : framesPerChunk;
        uint8_t* out = m_scratch;
        if (pcm && stereo) {
            // The common case in a loop the compiler can widen.
            for (int32_t i = start; i < start + count; ++i, out += 4) {
                Put16(out, static_cast<uint16_t>(FloatToInt16(left[i])));
                Put16(out + 2, static_cast<uint16_t>(FloatToInt16(right[i])));
            }
            if (!Append(m_scratch, static_cast<size_t>(out - m_scratch))) return false;
            continue;
        }
        for (int32_t i = start; i < start + count; ++i) {
            for (int channel = 0; channel < (stereo ? 2 : 1); ++channel) {
                const float sample = channel == 0 ? left[i] : right[i];
                if (pcm) {
                    Put16(out, static_cast<uint16_t>(FloatToInt16(sample)));
                } else {
                    std::memcpy(out, &sample, 4);
                }
                out += sampleBytes;
            }
        }
        if (!Append(m_scratch, static_cast<size_t>(out - m_scratch))) return false;
    }
    return true;
}

bool CWavFileWriter::WriteHeader() {
    // Whole frames only: a write cut inside a frame leaves its first bytes outside the data.
    const uint32_t align = static_cast<uint32_t>(m_fields.bits / 8 * m_fields.channels);
    m_fields.dataSize = align > 0 ? m_writtenSize / align * align : m_writtenSize;
    uint8_t header[kWavHeaderSize];
    BuildWavHeader(m_fields, header);
    size_t done = 0;
    while (done < sizeof header) {
        const ssize_t n = ::pwrite(m_fd, header + done, sizeof header - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (m_error == 0) m_error = n < 0 ? errno : EIO;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

bool CWavFileWriter::RewriteHeader() {
    if (m_fd < 0) return m_error == 0;
    if (m_buffered > 0) Flush();
    // Written even after a failure, so the header describes what did reach the file.
    WriteHeader();
    return m_error == 0;
}

bool CWavFileWriter::Sync() {
    if (!RewriteHeader()) return false;
    if (::fsync(m_fd) != 0) m_error = errno;
    return m_error == 0;
}

bool CWavFileWriter::Close() {
    if (m_fd < 0) return m_error == 0;
    RewriteHeader();
    if (::close(m_fd) != 0 && errno != EINTR && m_error == 0) m_error = errno;
    m_fd = -1;
    return m_error == 0;
}
