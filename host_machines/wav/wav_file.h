// WAV files: the 16-bit mono sample buffer (CSampleBuffer), the RIFF/WAVE header we write, the
// float <-> 16-bit conversions and a streaming writer for recordings (CWavFileWriter).
//
// Shared by the studio program and the machine library: depends on nothing but platform/.
// Failures are raised as formatted texts (platform::Raise) naming the file. No locks: each
// object belongs to one thread at a time (the HD recorder's row lock guards its writer).
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

// RIFF/WAVE format tags.
constexpr uint16_t kWavFormatPcm = 1;
constexpr uint16_t kWavFormatFloat = 3;
constexpr uint16_t kWavFormatExtensible = 0xFFFE;
constexpr int32_t kWavHeaderSize = 44;

// Float (nominally -1..1) to a 16-bit sample: 32767 above 1, -32768 below -1; x*32767 for
// x >= 0 and x*32768 for x < 0, truncated toward zero.
// (NaN gives -32768.) Without branches, so that loops over it widen.
inline int16_t FloatToInt16(float x) {
    float scaled = x * (x >= 0.0f ? 32767.0f : 32768.0f);
    scaled = x > 1.0f ? 32767.0f : scaled;
    scaled = x >= -1.0f ? scaled : -32768.0f;
    return static_cast<int16_t>(static_cast<int32_t>(scaled));
}
// 16-bit sample to float: s/32768 below 0, s*(32769/2^30) from 0 up; -32768 -> -1.
float Int16ToFloat(int16_t s);

// The 44-byte header of a file holding one "fmt " chunk (16 bytes) and one "data" chunk.
struct WavHeaderFields {
    uint16_t formatTag = kWavFormatPcm; // 1 integer PCM, 3 IEEE float
    uint16_t channels = 1;
    uint32_t sampleRate = 44100; // Hz
    uint16_t bits = 16;
    uint32_t dataSize = 0; // bytes of sample data
};
void BuildWavHeader(const WavHeaderFields& fields, uint8_t header[kWavHeaderSize]);

// One channel of float samples. Load reads 16-bit mono PCM; Save writes it.
class CSampleBuffer {
public:
    CSampleBuffer() = default;                                                   // empty, rate 0
    CSampleBuffer(int32_t frameCount, int32_t sampleRate);                       // zeroed samples
    CSampleBuffer(int32_t frameCount, const float* samples, int32_t sampleRate); // a copy
    ~CSampleBuffer();
    CSampleBuffer(const CSampleBuffer&) = delete;
    CSampleBuffer& operator=(const CSampleBuffer&) = delete;

    // A new buffer with the same count, values and rate; the caller deletes it.
    CSampleBuffer* Clone() const;
    // Frees the samples: count 0, no data.
    void Release();
    // Replaces the samples with those of a 16-bit mono PCM file. Chunks may come in any order;
    // unknown chunks are skipped. The buffer's sample rate is kept (the file's is not taken).
    // Raises "Can't Open File <%s>", "Unexpected End Of File Reading <%s>", "Invalid File Format
    // Reading <%s>", "Format Chunk In File <%s> Is Too Small", "Can't Read Non-PCM Format WAV
    // File <%s>", "Only 16 Bit WAV Files Supported, <%s> Is %i-Bit", "Only Mono WAV Files
    // Supported, <%s> Has %i Channels". After a failure the buffer is empty.
    void Load(const std::string& path);
    // Writes a 16-bit mono PCM file at the buffer's rate. Raises "Can't Open File <%s>" and
    // "Can't Write To File <%s>".
    void Save(const std::string& path) const;

    int32_t m_frameCount = 0;
    float* m_data = nullptr;  // m_frameCount samples, owned
    int32_t m_sampleRate = 0; // Hz
};

// Writes a recording as it happens: the header first (sizes 0), then blocks of interleaved
// samples; RewriteHeader puts the sizes of what has been written so far into the header, so a
// file left behind by a crash plays up to the last rewrite.
//
// Every write is checked to its last byte. The header never claims more samples than the file
// holds: after a failed or short write (disk full, file-size limit) the writer refuses further
// samples, remembers the system's reason, and its header describes the whole frames that made it
// to the file. Samples are gathered in a buffer of the writer's own (allocated by Open) and handed
// to the system when it is full, at RewriteHeader and at Close. Not thread-safe.
class CWavFileWriter {
public:
    CWavFileWriter() = default;
    ~CWavFileWriter(); // closes with a complete header
    CWavFileWriter(const CWavFileWriter&) = delete;
    CWavFileWriter& operator=(const CWavFileWriter&) = delete;

    // Creates or truncates the file and writes a header for an empty file. False when the file
    // cannot be opened or its header cannot be written (the reason is in ErrorNumber()).
    bool Open(const std::string& path, uint16_t formatTag, uint16_t channels, uint32_t sampleRate);
    bool IsOpen() const { return m_fd >= 0; }
    // Appends bytes of interleaved frames (the caller converts). False when this or an earlier
    // write failed, or when the data would grow past the 4 GiB a WAV header can describe.
    bool Append(const void* bytes, size_t size);
    // Converts and appends n frames: format 1 as 16-bit, format 3 as floats; right is ignored
    // for one channel.
    bool AppendFrames(const float* left, const float* right, int32_t frames);
    // Hands the buffered samples to the operating system, then writes the sizes of the data in
    // the file into the header. False when any write so far failed.
    bool RewriteHeader();
    // RewriteHeader, then waits until the file's contents are on the disk. False on any failure.
    bool Sync();
    // Final header and close. True when every write succeeded (and nothing was open to close).
    bool Close();
    // Whether a write failed since Open, and the system's error number for it (0 when none).
    bool Failed() const { return m_error != 0; }
    int ErrorNumber() const { return m_error; }
    // Bytes of samples accepted so far (in the file or still in the buffer).
    uint32_t DataSize() const { return m_dataSize; }
    const WavHeaderFields& Fields() const { return m_fields; }

private:
    bool Flush();
    bool WriteHeader();

    int m_fd = -1;
    int m_error = 0;
    WavHeaderFields m_fields;
    uint32_t m_dataSize = 0;             // accepted
    uint32_t m_writtenSize = 0;          // handed to the system
    std::unique_ptr<uint8_t[]> m_buffer; // kBufferSize bytes once opened
    size_t m_buffered = 0;
    uint8_t m_scratch[4096];
    static constexpr size_t kBufferSize = 64 * 1024;
};
