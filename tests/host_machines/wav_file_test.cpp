// The WAV reader and writer: refusals, the chunk walk, conversions, and files made by sox.
#include "host_machines/wav/wav_file.h"
#include "platform/error.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

fs::path Folder() {
    const fs::path folder = fs::path(TAMBOREL_TEST_BINARY_DIR) / "wav_files";
    fs::create_directories(folder);
    return folder;
}

using Bytes = std::vector<uint8_t>;

void Add32(Bytes& bytes, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
}
void Add16(Bytes& bytes, uint16_t value) {
    bytes.push_back(static_cast<uint8_t>(value));
    bytes.push_back(static_cast<uint8_t>(value >> 8));
}
void AddText(Bytes& bytes, const char* text) {
    // One byte at a time: a range insert into an empty vector trips GCC 12's overflow warning at -O3.
    for (int i = 0; i < 4; ++i)
        bytes.push_back(static_cast<uint8_t>(text[i]));
}

Bytes Chunk(const char* id, const Bytes& body) {
    Bytes bytes;
    AddText(bytes, id);
    Add32(bytes, static_cast<uint32_t>(body.size()));
    bytes.insert(bytes.end(), body.begin(), body.end());
    return bytes;
}

Bytes FormatBody(uint16_t tag, uint16_t channels, uint16_t bits, size_t size = 16) {
    Bytes body;
    Add16(body, tag);
    Add16(body, channels);
    Add32(body, 22050);
    Add32(body, 22050u * channels * bits / 8);
    Add16(body, static_cast<uint16_t>(channels * bits / 8));
    Add16(body, bits);
    body.resize(size, 0);
    return body;
}

Bytes Samples(std::initializer_list<int16_t> values) {
    Bytes body;
    for (int16_t value : values)
        Add16(body, static_cast<uint16_t>(value));
    return body;
}

Bytes Riff(std::initializer_list<Bytes> chunks) {
    Bytes inner;
    AddText(inner, "WAVE");
    for (const Bytes& chunk : chunks)
        inner.insert(inner.end(), chunk.begin(), chunk.end());
    Bytes file;
    AddText(file, "RIFF");
    Add32(file, static_cast<uint32_t>(inner.size()));
    file.insert(file.end(), inner.begin(), inner.end());
    return file;
}

std::string WriteFile(const std::string& name, const Bytes& bytes) {
    const fs::path path = Folder() / name;
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path.string();
}

Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

std::string LoadError(const std::string& path) {
    CSampleBuffer buffer(4, 44100);
    try {
        buffer.Load(path);
    } catch (const platform::CError& error) {
        EXPECT_EQ(buffer.m_frameCount, 0);
        EXPECT_EQ(buffer.m_data, nullptr);
        return error.what();
    }
    return "";
}

uint32_t At32(const Bytes& bytes, size_t offset) {
    uint32_t value = 0;
    std::memcpy(&value, bytes.data() + offset, 4);
    return value;
}

int16_t At16(const Bytes& bytes, size_t offset) {
    int16_t value = 0;
    std::memcpy(&value, bytes.data() + offset, 2);
    return value;
}

bool HaveSox() {
    return std::system("command -v sox >/dev/null 2>&1") == 0;
}

std::string Sox(const std::string& name, const std::string& format) {
    const std::string path = (Folder() / name).string();
    const std::string command = "sox -q -n " + format + " '" + path + "' synth 0.05 sine 441 vol 0.5";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return path;
}

} // namespace

TEST(WavConversion, FloatTo16BitClipsAndTruncates) {
    EXPECT_EQ(FloatToInt16(1.5f), 32767);
    EXPECT_EQ(FloatToInt16(-1.5f), -32768);
    EXPECT_EQ(FloatToInt16(-1.0f), -32768);
    EXPECT_EQ(FloatToInt16(0.5f), 16383);
    EXPECT_EQ(FloatToInt16(1.0f), 32767);
    EXPECT_EQ(FloatToInt16(-0.00001f), 0);
    EXPECT_EQ(FloatToInt16(-0.0f), 0);
    EXPECT_EQ(FloatToInt16(-0.5f), -16384);
    EXPECT_EQ(FloatToInt16(0.99999f), 32766);
    EXPECT_EQ(FloatToInt16(INFINITY), 32767);
    EXPECT_EQ(FloatToInt16(-INFINITY), -32768);
    EXPECT_EQ(FloatToInt16(std::numeric_limits<float>::quiet_NaN()), -32768);
}

TEST(WavConversion, SixteenBitToFloat) {
    EXPECT_EQ(Int16ToFloat(-32768), -1.0f);
    EXPECT_NEAR(Int16ToFloat(16384), 0.50002, 1e-5);
    EXPECT_NEAR(Int16ToFloat(32767), 1.0f, 1e-6);
    EXPECT_NEAR(Int16ToFloat(-16384), -0.5f, 1e-9);
    EXPECT_EQ(Int16ToFloat(0), 0.0f);
}

TEST(WavSave, WritesConvertedSamplesBehindTheHeader) {
    const float values[] = {1.5f, -1.5f, -1.0f, 0.5f};
    const CSampleBuffer buffer(4, values, 48000);
    const std::string path = (Folder() / "saved.wav").string();
    buffer.Save(path);
    const Bytes bytes = ReadFile(path);
    ASSERT_EQ(bytes.size(), 44u + 8u);
    EXPECT_EQ(std::memcmp(bytes.data(), "RIFF", 4), 0);
    EXPECT_EQ(At32(bytes, 4), 36u + 8u);
    EXPECT_EQ(std::memcmp(bytes.data() + 8, "WAVEfmt ", 8), 0);
    EXPECT_EQ(At32(bytes, 16), 16u);
    EXPECT_EQ(At16(bytes, 20), 1);
    EXPECT_EQ(At16(bytes, 22), 1);
    EXPECT_EQ(At32(bytes, 24), 48000u);
    EXPECT_EQ(At32(bytes, 28), 96000u);
    EXPECT_EQ(At16(bytes, 32), 2);
    EXPECT_EQ(At16(bytes, 34), 16);
    EXPECT_EQ(At32(bytes, 40), 8u);
    EXPECT_EQ(At16(bytes, 44), 32767);
    EXPECT_EQ(At16(bytes, 46), -32768);
    EXPECT_EQ(At16(bytes, 48), -32768);
    EXPECT_EQ(At16(bytes, 50), 16383);
}

TEST(WavSave, EmptyBufferGivesA44ByteFile) {
    const CSampleBuffer buffer;
    const std::string path = (Folder() / "empty.wav").string();
    buffer.Save(path);
    const Bytes bytes = ReadFile(path);
    ASSERT_EQ(bytes.size(), 44u);
    EXPECT_EQ(At32(bytes, 4), 36u);
    EXPECT_EQ(At32(bytes, 40), 0u);
    CSampleBuffer loaded;
    loaded.Load(path);
    EXPECT_EQ(loaded.m_frameCount, 0);
}

TEST(WavSave, UnwritablePathIsReported) {
    const CSampleBuffer buffer(1, 44100);
    try {
        buffer.Save("/nonexistent-folder/x.wav");
        FAIL();
    } catch (const platform::CError& error) {
        EXPECT_STREQ(error.what(), "Can't Open File </nonexistent-folder/x.wav>");
    }
}

TEST(WavLoad, RoundTripKeepsSamplesAndTheBuffersRate) {
    const float values[] = {0.0f, 0.25f, -0.75f, -1.0f, 0.999f};
    const CSampleBuffer saved(5, values, 8000);
    const std::string path = (Folder() / "round.wav").string();
    saved.Save(path);
    CSampleBuffer loaded(0, 96000);
    loaded.Load(path);
    ASSERT_EQ(loaded.m_frameCount, 5);
    EXPECT_EQ(loaded.m_sampleRate, 96000); // the file's rate is not taken
    for (int i = 0; i < 5; ++i)
        EXPECT_NEAR(loaded.m_data[i], values[i], 1.0 / 32767);
    std::unique_ptr<CSampleBuffer> clone(loaded.Clone());
    EXPECT_EQ(clone->m_frameCount, 5);
    EXPECT_EQ(clone->m_sampleRate, 96000);
    EXPECT_EQ(std::memcmp(clone->m_data, loaded.m_data, 5 * sizeof(float)), 0);
}

TEST(WavLoad, ChunkOrderAndExtraChunks) {
    CSampleBuffer buffer;
    const auto dataFirst =
        WriteFile("data_first.wav",
                  Riff({Chunk("data", Samples({-32768, 16384})), Chunk("fmt ", FormatBody(1, 1, 16))}));
    buffer.Load(dataFirst);
    ASSERT_EQ(buffer.m_frameCount, 2);
    EXPECT_EQ(buffer.m_data[0], -1.0f);
    EXPECT_NEAR(buffer.m_data[1], 0.50002, 1e-5);

    // A LIST chunk of odd length (with its pad byte) between "fmt " and "data".
    Bytes list = Chunk("LIST", Bytes{'I', 'N', 'F', 'O', 'x'});
    list.push_back(0);
    const auto withList =
        WriteFile("list.wav",
                  Riff({Chunk("fmt ", FormatBody(1, 1, 16)), list, Chunk("data", Samples({100, 200, 300}))}));
    buffer.Load(withList);
    EXPECT_EQ(buffer.m_frameCount, 3);

    const auto eighteen = WriteFile(
        "fmt18.wav", Riff({Chunk("fmt ", FormatBody(1, 1, 16, 18)), Chunk("data", Samples({1, 2, 3, 4}))}));
    buffer.Load(eighteen);
    EXPECT_EQ(buffer.m_frameCount, 4);
}

TEST(WavLoad, RefusalsNameTheFile) {
    const auto fifteen =
        WriteFile("fmt15.wav", Riff({Chunk("fmt ", FormatBody(1, 1, 16, 15)), Chunk("data", Samples({1}))}));
    EXPECT_EQ(LoadError(fifteen), "Format Chunk In File <" + fifteen + "> Is Too Small");

    const auto stereo =
        WriteFile("stereo.wav", Riff({Chunk("fmt ", FormatBody(1, 2, 16)), Chunk("data", Samples({1, 2}))}));
    EXPECT_EQ(LoadError(stereo), "Only Mono WAV Files Supported, <" + stereo + "> Has 2 Channels");

    const auto deep =
        WriteFile("24bit.wav", Riff({Chunk("fmt ", FormatBody(1, 1, 24)), Chunk("data", Bytes(6, 0))}));
    EXPECT_EQ(LoadError(deep), "Only 16 Bit WAV Files Supported, <" + deep + "> Is 24-Bit");

    const auto floats =
        WriteFile("float.wav", Riff({Chunk("fmt ", FormatBody(3, 1, 32)), Chunk("data", Bytes(8, 0))}));
    EXPECT_EQ(LoadError(floats), "Can't Read Non-PCM Format WAV File <" + floats + ">");

    Bytes notWave = Riff({Chunk("fmt ", FormatBody(1, 1, 16))});
    std::memcpy(notWave.data() + 8, "AVI ", 4);
    const auto avi = WriteFile("avi.wav", notWave);
    EXPECT_EQ(LoadError(avi), "Invalid File Format Reading <" + avi + ">");

    const auto shortFile = WriteFile("short.wav", Bytes{'R', 'I', 'F', 'F', 0});
    EXPECT_EQ(LoadError(shortFile), "Unexpected End Of File Reading <" + shortFile + ">");

    const auto noData = WriteFile("no_data.wav", Riff({Chunk("fmt ", FormatBody(1, 1, 16))}));
    EXPECT_EQ(LoadError(noData), "Unexpected End Of File Reading <" + noData + ">");

    const std::string missing = (Folder() / "missing.wav").string();
    EXPECT_EQ(LoadError(missing), "Can't Open File <" + missing + ">");
}

TEST(WavLoad, ChunkSizesBeyondTheFileAreEndOfFileNotAllocations) {
    // A "data" chunk claiming 4 GB in a 60-byte file, and a skipped chunk claiming too much.
    Bytes huge = Riff({Chunk("fmt ", FormatBody(1, 1, 16)), Chunk("data", Samples({1, 2}))});
    const size_t dataSize = huge.size() - 4 - 4;
    huge[dataSize] = huge[dataSize + 1] = huge[dataSize + 2] = huge[dataSize + 3] = 0xFF;
    const auto path = WriteFile("huge.wav", huge);
    EXPECT_EQ(LoadError(path), "Unexpected End Of File Reading <" + path + ">");

    Bytes longList = Riff({Chunk("fmt ", FormatBody(1, 1, 16)), Chunk("LIST", Bytes(4, 0))});
    longList[longList.size() - 8] = 0x40; // 64 bytes claimed, 4 present
    const auto listPath = WriteFile("long_list.wav", longList);
    EXPECT_EQ(LoadError(listPath), "Unexpected End Of File Reading <" + listPath + ">");
}

TEST(WavLoad, FilesMadeBySox) {
    if (!HaveSox()) GTEST_SKIP() << "sox is not installed";
    CSampleBuffer buffer;
    buffer.Load(Sox("sox_mono16.wav", "-r 44100 -c 1 -b 16 -e signed-integer"));
    ASSERT_EQ(buffer.m_frameCount, 2205);
    float peak = 0.0f;
    for (int32_t i = 0; i < buffer.m_frameCount; ++i)
        peak = std::max(peak, std::fabs(buffer.m_data[i]));
    EXPECT_NEAR(peak, 0.5f, 0.01f);

    const auto stereo = Sox("sox_stereo.wav", "-r 44100 -c 2 -b 16 -e signed-integer");
    EXPECT_EQ(LoadError(stereo), "Only Mono WAV Files Supported, <" + stereo + "> Has 2 Channels");
    const auto deep = Sox("sox_24.wav", "-r 44100 -c 1 -b 24 -e signed-integer");
    EXPECT_EQ(LoadError(deep), "Only 16 Bit WAV Files Supported, <" + deep + "> Is 24-Bit");
    const auto floats = Sox("sox_float.wav", "-r 44100 -c 1 -b 32 -e floating-point");
    EXPECT_EQ(LoadError(floats), "Can't Read Non-PCM Format WAV File <" + floats + ">");
}

TEST(WavWriter, RecordingIsPlayableBeforeClose) {
    const std::string path = (Folder() / "writer.wav").string();
    CWavFileWriter writer;
    ASSERT_TRUE(writer.Open(path, kWavFormatPcm, 1, 44100));
    std::vector<float> block(1000, 0.25f);
    writer.AppendFrames(block.data(), nullptr, 1000);
    writer.RewriteHeader();
    // Another program reading now (or after a crash) sees a complete header.
    CSampleBuffer reader;
    reader.Load(path);
    EXPECT_EQ(reader.m_frameCount, 1000);
    EXPECT_NEAR(reader.m_data[999], 0.25f, 1e-4);
    writer.Close();
    EXPECT_EQ(ReadFile(path).size(), 44u + 2000u);
}

namespace {

uint32_t HeaderField(const Bytes& bytes, size_t at) {
    return static_cast<uint32_t>(bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16) |
           static_cast<uint32_t>(bytes[at + 3]) << 24;
}

} // namespace

TEST(WavWriter, AFileSizeLimitFailsTheWriteAndTheHeaderDescribesOnlyWhatIsInTheFile) {
    // The limit applies to a child process, so the test needs no small disk and no root.
    const std::string path = (Folder() / "limited.wav").string();
    fs::remove(path);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const rlimit limit{10001, 10001};
        setrlimit(RLIMIT_FSIZE, &limit);
        signal(SIGXFSZ, SIG_IGN);
        CWavFileWriter writer;
        if (!writer.Open(path, kWavFormatPcm, 1, 44100)) _exit(10);
        std::vector<float> block(100000, 0.5f);
        // Buffered samples reach the file only in 64 kB pieces: the failure shows at the latest
        // when the header is brought up to date, and every call after it fails too.
        bool appended = writer.AppendFrames(block.data(), nullptr, 100000);
        const bool rewritten = writer.RewriteHeader();
        appended = writer.AppendFrames(block.data(), nullptr, 10) || appended;
        const bool closed = writer.Close();
        const bool reason = writer.ErrorNumber() == EFBIG;
        _exit((appended ? 1 : 0) | (rewritten ? 2 : 0) | (closed ? 4 : 0) | (reason ? 0 : 8));
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);

    // 10001 bytes got through: the header claims the 4978 whole frames behind it.
    const Bytes bytes = ReadFile(path);
    ASSERT_EQ(bytes.size(), 10001u);
    EXPECT_EQ(HeaderField(bytes, 40), 9956u);
    EXPECT_EQ(HeaderField(bytes, 4), 36u + 9956u);
    CSampleBuffer reader;
    reader.Load(path);
    EXPECT_EQ(reader.m_frameCount, 4978);
}

TEST(WavWriter, FailuresAreReportedWithTheirReason) {
    CWavFileWriter writer;
    // A device that takes no bytes: the header's write fails, so the open does.
    if (fs::exists("/dev/full")) {
        EXPECT_FALSE(writer.Open("/dev/full", kWavFormatPcm, 2, 44100));
        EXPECT_EQ(writer.ErrorNumber(), ENOSPC);
        EXPECT_FALSE(writer.IsOpen());
    }
    EXPECT_FALSE(writer.Open((Folder() / "no-such-folder" / "x.wav").string(), kWavFormatPcm, 2, 44100));
    EXPECT_EQ(writer.ErrorNumber(), ENOENT);

    // A data size no header can describe is refused before a byte is read or written.
    const std::string path = (Folder() / "huge.wav").string();
    ASSERT_TRUE(writer.Open(path, kWavFormatFloat, 2, 48000));
    EXPECT_EQ(writer.ErrorNumber(), 0);
    const float frame[2] = {0.25f, -0.25f};
    EXPECT_TRUE(writer.AppendFrames(&frame[0], &frame[1], 1));
    EXPECT_FALSE(writer.Append(frame, 0xFFFFFFF0u));
    EXPECT_EQ(writer.ErrorNumber(), EFBIG);
    EXPECT_FALSE(writer.Close());
    // What was accepted before the refusal is in the file, under a complete header.
    const Bytes bytes = ReadFile(path);
    ASSERT_EQ(bytes.size(), 44u + 8u);
    EXPECT_EQ(HeaderField(bytes, 40), 8u);
    float left = 0.0f;
    std::memcpy(&left, bytes.data() + 44, 4);
    EXPECT_EQ(left, 0.25f);

    // A new file starts without the old failure.
    ASSERT_TRUE(writer.Open(path, kWavFormatPcm, 1, 8000));
    EXPECT_FALSE(writer.Failed());
    EXPECT_TRUE(writer.Sync());
    EXPECT_TRUE(writer.Close());
    EXPECT_EQ(ReadFile(path).size(), 44u);
}

TEST(WavWriter, LongRecordingsCrossTheBufferAndEveryByteArrivesInOrder) {
    // 100000 stereo float frames are 800 kB: a dozen trips through the writer's own buffer, some
    // of them split across a call.
    const std::string path = (Folder() / "long.wav").string();
    CWavFileWriter writer;
    ASSERT_TRUE(writer.Open(path, kWavFormatFloat, 2, 44100));
    std::vector<float> left(777), right(777);
    int32_t written = 0;
    while (written < 100000) {
        const int32_t frames = std::min<int32_t>(777, 100000 - written);
        for (int32_t i = 0; i < frames; ++i) {
            left[static_cast<size_t>(i)] = static_cast<float>(written + i);
            right[static_cast<size_t>(i)] = -static_cast<float>(written + i);
        }
        ASSERT_TRUE(writer.AppendFrames(left.data(), right.data(), frames));
        written += frames;
    }
    EXPECT_EQ(writer.DataSize(), 800000u);
    ASSERT_TRUE(writer.Close());
    const Bytes bytes = ReadFile(path);
    ASSERT_EQ(bytes.size(), 44u + 800000u);
    EXPECT_EQ(HeaderField(bytes, 40), 800000u);
    for (int32_t frame : {0, 8191, 8192, 54321, 99999}) {
        float l = 0.0f, r = 0.0f;
        std::memcpy(&l, bytes.data() + 44 + 8 * frame, 4);
        std::memcpy(&r, bytes.data() + 48 + 8 * frame, 4);
        EXPECT_EQ(l, static_cast<float>(frame));
        EXPECT_EQ(r, -static_cast<float>(frame));
    }
}
