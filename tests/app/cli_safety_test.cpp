// `tamborel render` and `tamborel info` where a user gets hurt: outputs that must not be
// replaced, writes that fail half-way, renders stopped by a signal, 8-bit texts in projects and
// tempos no song can play. Every case runs the program as a separate process.
#include "tests/app/cli_helpers.h"

#include "app/application.h"
#include "persistence/project_file.h"
#include "platform/text_encoding.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <regex>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

struct ProjectTexts {
    std::string bassName = "Bass";
    std::string stemName = "Bass Stem";
    std::string info = "small";
};

// A master, a BassHead playing a two-beat figure and an HD recorder track between them; the song
// is 4 beats long at 140 BPM. The names and the text are stored as given (8-bit bytes).
fs::path MakeProject(const fs::path& path, const ProjectTexts& texts = {}) {
    CApplication::Settings settings;
    settings.newProject = false;
    settings.pluginFolder = fs::path(TAMBOREL_BIN_DIR) / "PlugIns";
    settings.vstFolders = std::vector<fs::path>{};
    CApplication application(settings);
    CStudio& studio = *application.Studio();
    application.Project().New();
    CMachineInfo* bassInfo = application.Registry()->FindByIdentifier("VeskPlug::QX BassHead");
    EXPECT_NE(bassInfo, nullptr);
    CMachineContainer* bass =
        studio.CreateFrame(bassInfo->CreateMachine(), bassInfo, texts.bassName.c_str(), 10, 10);
    CMachineInfo* trackInfo = application.Registry()->FindByIdentifier("QX HD Recorder Track (Stereo)");
    CMachineContainer* stem =
        studio.CreateFrame(trackInfo->CreateMachine(), trackInfo, texts.stemName.c_str(), 100, 10);
    EXPECT_TRUE(studio.Connect(bass->FindConnector("Line Out"), stem->FindConnector("Line In")));
    EXPECT_TRUE(studio.Connect(stem->FindConnector("Line Out"), studio.MasterFrame()->Connector(0), 0.5f));
    CSequencer& sequencer = *application.Sequencer();
    Pattern* figure =
        sequencer.Patterns().CreatePattern(bass->FindConnector("Control In")->m_port, 2, "Figure");
    figure->AddNote(0, 3, 36);
    figure->AddNote(4, 2, 43);
    sequencer.Song().SetLength(4);
    EXPECT_NE(sequencer.Song().PlacePattern(figure, 0), nullptr);
    EXPECT_NE(sequencer.Song().PlacePattern(figure, 2), nullptr);
    application.Project().SetInfo(texts.info);
    application.Project().SaveAs(path);
    return path;
}

std::string Quoted(const fs::path& path) {
    // Appended in place: "'" + string trips GCC 12's overlap warning at -O3.
    std::string quoted = "'";
    quoted += path.string();
    quoted += '\'';
    return quoted;
}

// ----- A program run we can signal, limit and time -----

struct Finished {
    int exitCode = -1; // -1 when ended by a signal
    int signal = 0;
    bool timedOut = false;
    std::string out; // stdout and stderr
};

class CRun {
public:
    // Starts tamborel with the arguments (no shell), stdout and stderr into one pipe. With a file
    // limit, the child gets RLIMIT_FSIZE and ignores SIGXFSZ, so a write past it fails with EFBIG.
    explicit CRun(const std::vector<std::string>& arguments, std::optional<rlim_t> fileLimit = {}) {
        const std::string config = ConfigFolder().string(); // made before the fork
        const std::string program = std::string(TAMBOREL_BIN_DIR) + "/tamborel";
        int pipeEnds[2];
        if (pipe(pipeEnds) != 0) return;
        m_pid = fork();
        if (m_pid == 0) {
            dup2(pipeEnds[1], STDOUT_FILENO);
            dup2(pipeEnds[1], STDERR_FILENO);
            close(pipeEnds[0]);
            close(pipeEnds[1]);
            if (fileLimit) {
                const rlimit limit{*fileLimit, *fileLimit};
                setrlimit(RLIMIT_FSIZE, &limit);
                signal(SIGXFSZ, SIG_IGN);
            }
            unsetenv("DISPLAY");
            unsetenv("WAYLAND_DISPLAY");
            unsetenv("VST_PATH");
            setenv("XDG_CONFIG_HOME", config.c_str(), 1);
            std::vector<char*> argv;
            argv.push_back(const_cast<char*>(program.c_str()));
            for (const std::string& argument : arguments)
                argv.push_back(const_cast<char*>(argument.c_str()));
            argv.push_back(nullptr);
            execv(program.c_str(), argv.data());
            _exit(127);
        }
        close(pipeEnds[1]);
        m_output = pipeEnds[0];
    }
    ~CRun() {
        if (m_pid > 0 && !m_reaped) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
        if (m_output >= 0) close(m_output);
    }
    CRun(const CRun&) = delete;
    CRun& operator=(const CRun&) = delete;

    void Signal(int number) const { kill(m_pid, number); }

    // Collects the output until the program ends; kills it after the timeout.
    Finished Wait(std::chrono::seconds timeout = 120s) {
        Finished result;
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        char chunk[4096];
        for (;;) {
            pollfd poller{m_output, POLLIN, 0};
            if (poll(&poller, 1, 100) > 0) {
                const ssize_t n = read(m_output, chunk, sizeof chunk);
                if (n <= 0) break; // every writer is gone: the program has ended
                result.out.append(chunk, static_cast<size_t>(n));
            }
            if (std::chrono::steady_clock::now() > deadline) {
                result.timedOut = true;
                kill(m_pid, SIGKILL);
                break;
            }
        }
        int status = 0;
        waitpid(m_pid, &status, 0);
        m_reaped = true;
        if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
        if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
        return result;
    }

private:
    pid_t m_pid = -1;
    int m_output = -1;
    bool m_reaped = false;
};

// Waits until the render has written this many bytes into the file, or gives up after a minute.
// A file last written before `since` is an earlier render's and does not count.
bool WaitForBytes(const fs::path& path, uintmax_t bytes,
                  fs::file_time_type since = fs::file_time_type::min()) {
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (std::chrono::steady_clock::now() < deadline) {
        std::error_code error;
        const uintmax_t size = fs::file_size(path, error);
        if (!error && size >= bytes && fs::last_write_time(path, error) >= since && !error) return true;
        std::this_thread::sleep_for(20ms);
    }
    return false;
}

bool HaveSoxi() {
    return RunCommand("command -v soxi >/dev/null 2>&1").status == 0;
}

// What soxi reads from a file of any name (it knows a ".part" by its header): samples per
// channel, -1 when it cannot read the file.
int64_t SoxiSamples(const fs::path& path) {
    const Result samples = RunCommand("soxi -s " + Quoted(path) + " 2>/dev/null");
    return samples.status == 0 ? std::stoll(samples.out) : -1;
}

// "M:SS.mmm" after the word in the text, in seconds; -1 when absent.
double DurationAfter(const std::string& text, const std::string& word) {
    std::smatch match;
    if (!std::regex_search(text, match, std::regex(word + " ([0-9]+):([0-9]+\\.[0-9]+)"))) return -1.0;
    return std::stod(match[1].str()) * 60.0 + std::stod(match[2].str());
}

uint32_t HeaderDataSize(const std::vector<uint8_t>& bytes) {
    return bytes.size() < 44 ? 0
                             : static_cast<uint32_t>(bytes[40] | bytes[41] << 8 | bytes[42] << 16 |
                                                     static_cast<uint32_t>(bytes[43]) << 24);
}

class RenderSafety : public ::testing::Test {
protected:
    void SetUp() override {
        m_folder = fs::path(TAMBOREL_TEST_BINARY_DIR) /
                   ("safety-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(m_folder);
        fs::create_directories(m_folder);
    }
    void TearDown() override { fs::remove_all(m_folder); }

    Result Render(const fs::path& project, const std::string& output, const std::string& more = "") {
        return RunTamborel("render " + Quoted(project) + " --tail 0.1 -o " + output + more, true);
    }

    fs::path m_folder;
};

} // namespace

TEST_F(RenderSafety, NeverWritesOverTheProjectItsBackupOrAFileThatIsNotWav) {
    const fs::path project = MakeProject(m_folder / "song.tbp");
    const std::vector<uint8_t> projectBytes = ReadBytes(project);

    // The project itself, by its name and through a link.
    const Result self = Render(project, Quoted(project));
    EXPECT_NE(self.status, 0);
    EXPECT_NE(self.out.find("Is The Project Itself"), std::string::npos) << self.out;
    fs::create_symlink(project, m_folder / "link.wav");
    const Result linked = Render(project, Quoted(m_folder / "link.wav"));
    EXPECT_NE(linked.status, 0);
    EXPECT_NE(linked.out.find("Is The Project Itself"), std::string::npos) << linked.out;
    EXPECT_TRUE(fs::is_symlink(m_folder / "link.wav"));
    // And a second name of the same file (a hard link).
    fs::create_hard_link(project, m_folder / "hard.wav");
    EXPECT_NE(Render(project, Quoted(m_folder / "hard.wav")).status, 0);

    // Its backup: whether or not one exists yet.
    const fs::path backup = m_folder / "song.tbp.bak";
    const Result noBackupYet = Render(project, Quoted(backup));
    EXPECT_NE(noBackupYet.status, 0);
    EXPECT_NE(noBackupYet.out.find("Backup"), std::string::npos) << noBackupYet.out;
    EXPECT_FALSE(fs::exists(backup));
    WriteBytes(backup, projectBytes);
    EXPECT_NE(Render(project, Quoted(backup)).status, 0);
    EXPECT_EQ(ReadBytes(backup), projectBytes);

    // A file that is not a WAV file needs --force.
    const fs::path notes = m_folder / "notes.txt";
    const std::vector<uint8_t> noteBytes = {'m', 'i', 'x', ' ', 'l', 'o', 'u', 'd', 'e', 'r', '\n'};
    WriteBytes(notes, noteBytes);
    const Result refused = Render(project, Quoted(notes));
    EXPECT_NE(refused.status, 0);
    EXPECT_NE(refused.out.find("Is Not A WAV File; Add --force"), std::string::npos) << refused.out;
    EXPECT_EQ(ReadBytes(notes), noteBytes);
    EXPECT_FALSE(fs::exists(m_folder / "notes.txt.part"));
    EXPECT_EQ(ReadBytes(project), projectBytes);

    const Result forced = Render(project, Quoted(notes), " --force");
    ASSERT_EQ(forced.status, 0) << forced.out;
    EXPECT_TRUE(ParseWav(ReadBytes(notes)).valid);
    // --force never reaches the project.
    EXPECT_NE(Render(project, Quoted(project), " --force").status, 0);
    EXPECT_EQ(ReadBytes(project), projectBytes);

    // A WAV file is replaced without asking, and so is an empty file.
    ASSERT_EQ(Render(project, Quoted(notes)).status, 0);
    WriteBytes(m_folder / "empty.wav", {});
    ASSERT_EQ(Render(project, Quoted(m_folder / "empty.wav")).status, 0);
    EXPECT_TRUE(ParseWav(ReadBytes(m_folder / "empty.wav")).valid);

    // A stem's file is checked the same way, before anything is written.
    fs::create_directories(m_folder / "stems");
    WriteBytes(m_folder / "stems" / "Bass Stem.wav", noteBytes);
    const Result stem =
        Render(project, Quoted(m_folder / "mix.wav"), " --stems " + Quoted(m_folder / "stems"));
    EXPECT_NE(stem.status, 0);
    EXPECT_NE(stem.out.find("Bass Stem.wav' Exists And Is Not A WAV File"), std::string::npos) << stem.out;
    EXPECT_EQ(ReadBytes(m_folder / "stems" / "Bass Stem.wav"), noteBytes);
    EXPECT_FALSE(fs::exists(m_folder / "mix.wav"));
    // The mix may not be one of the stems either.
    const Result clash = Render(project, Quoted(m_folder / "stems" / "Bass Stem.wav"),
                                " --force --stems " + Quoted(m_folder / "stems"));
    EXPECT_NE(clash.status, 0);
    EXPECT_NE(clash.out.find("Is Also The File Of A Stem"), std::string::npos) << clash.out;
    EXPECT_EQ(ReadBytes(m_folder / "stems" / "Bass Stem.wav"), noteBytes);
}

TEST_F(RenderSafety, OutputsThatAreNoFileAreRefusedBeforeTheProjectLoads) {
    // The project does not even exist: each refusal must come before the load would fail.
    const fs::path missing = m_folder / "missing.tbp";
    auto expectRefused = [&](const std::string& output, const std::string& text) {
        const Result result = Render(missing, output);
        EXPECT_NE(result.status, 0) << output;
        EXPECT_NE(result.out.find(text), std::string::npos) << output << ": " << result.out;
        EXPECT_EQ(result.out.find("For Reading"), std::string::npos) << result.out;
    };
    fs::create_directories(m_folder / "folder");
    expectRefused(Quoted(m_folder / "folder"), "Is A Folder, Not A File");
    ASSERT_EQ(mkfifo((m_folder / "fifo").c_str(), 0600), 0);
    expectRefused(Quoted(m_folder / "fifo"), "Is Not A Regular File");
    expectRefused("/dev/null", "Is Not A Regular File");
    expectRefused("/dev/stdout", "Is Not A Regular File");
    expectRefused(Quoted(m_folder / "nowhere" / "x.wav"),
                  "Folder '" + (m_folder / "nowhere").string() + "' Does Not Exist");
    fs::create_symlink(m_folder / "gone.wav", m_folder / "dangling.wav");
    expectRefused(Quoted(m_folder / "dangling.wav"), "Is A Link To A File That Does Not Exist");
    WriteBytes(m_folder / "stems-file", {'x'});
    const Result stems =
        Render(missing, Quoted(m_folder / "x.wav"), " --stems " + Quoted(m_folder / "stems-file"));
    EXPECT_NE(stems.out.find("Is Not A Folder"), std::string::npos) << stems.out;
    EXPECT_TRUE(fs::is_fifo(m_folder / "fifo"));
    EXPECT_TRUE(fs::is_symlink(m_folder / "dangling.wav"));

    // A link to a WAV file is written through: the file it names gets the render, the link stays.
    const fs::path project = MakeProject(m_folder / "song.tbp");
    fs::create_directories(m_folder / "elsewhere");
    WriteBytes(m_folder / "elsewhere" / "take.wav", {});
    fs::create_symlink(m_folder / "elsewhere" / "take.wav", m_folder / "take.wav");
    const Result through = Render(project, Quoted(m_folder / "take.wav"));
    ASSERT_EQ(through.status, 0) << through.out;
    EXPECT_TRUE(fs::is_symlink(m_folder / "take.wav"));
    const WavInfo wav = ParseWav(ReadBytes(m_folder / "elsewhere" / "take.wav"));
    EXPECT_TRUE(wav.valid);
    EXPECT_GT(wav.frames, 4410);
    EXPECT_FALSE(fs::exists(m_folder / "elsewhere" / "take.wav.part"));
}

TEST_F(RenderSafety, AFileSizeLimitFailsTheRenderNamingTheStemAndLeavesNoCompleteFile) {
    const fs::path project = MakeProject(m_folder / "song.tbp");
    // Three passes of the song are about 900 kB per file; the limit lets 200 kB through.
    CRun run({"render", project.string(), "--loops", "3", "--tail", "0", "-o",
              (m_folder / "mix.wav").string(), "--stems", (m_folder / "stems").string()},
             rlim_t{200000});
    const Finished result = run.Wait();
    EXPECT_EQ(result.signal, 0) << result.out;
    EXPECT_NE(result.exitCode, 0) << result.out;
    EXPECT_NE(
        result.out.find("Failed To Write Stem '" + (m_folder / "stems" / "Bass Stem.wav").string() + "'"),
        std::string::npos)
        << result.out;
    EXPECT_EQ(result.out.find("rendered"), std::string::npos) << result.out;
    // No file claims to be complete; no partial file is left either.
    EXPECT_FALSE(fs::exists(m_folder / "mix.wav"));
    EXPECT_FALSE(fs::exists(m_folder / "mix.wav.part"));
    EXPECT_FALSE(fs::exists(m_folder / "stems" / "Bass Stem.wav"));
    EXPECT_FALSE(fs::exists(m_folder / "stems" / "Bass Stem.wav.part"));

    // The same render without the limit succeeds and renames every file.
    CRun free({"render", project.string(), "--loops", "3", "--tail", "0", "-o",
               (m_folder / "mix.wav").string(), "--stems", (m_folder / "stems").string()});
    const Finished done = free.Wait();
    ASSERT_EQ(done.exitCode, 0) << done.out;
    EXPECT_TRUE(ParseWav(ReadBytes(m_folder / "mix.wav")).valid);
    EXPECT_TRUE(ParseWav(ReadBytes(m_folder / "stems" / "Bass Stem.wav")).valid);
    EXPECT_FALSE(fs::exists(m_folder / "stems" / "Bass Stem.wav.part"));
}

TEST_F(RenderSafety, InterruptedRendersKeepAPlayablePartialFileAndSayHowMuch) {
    const fs::path project = MakeProject(m_folder / "song.tbp");
    const fs::path output = m_folder / "long.wav";
    const fs::path partial = m_folder / "long.wav.part";
    // A thousand passes and an hour of tail: far longer than the test waits.
    const std::vector<std::string> longRender = {"render",  project.string(),
                                                 "--loops", "1000",
                                                 "--tail",  "3600",
                                                 "-o",      output.string(),
                                                 "--stems", (m_folder / "stems").string()};
    for (const int signal : {SIGINT, SIGTERM}) {
        // The second round starts with the first one's partial file in place, marked as old.
        const auto now = fs::file_time_type::clock::now();
        std::error_code error;
        if (fs::exists(partial)) fs::last_write_time(partial, now - 1h, error);
        CRun run(longRender);
        // Once a second of audio is in the file, let it run a little longer, then stop it.
        ASSERT_TRUE(WaitForBytes(partial, 44 + 44100 * 4, now - 1min));
        std::this_thread::sleep_for(300ms);
        const auto stopped = std::chrono::steady_clock::now();
        run.Signal(signal);
        const Finished result = run.Wait();
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - stopped).count();
        EXPECT_LT(seconds, 10.0); // a generous bound: it stops within a buffer or two
        EXPECT_EQ(result.signal, 0) << result.out;
        EXPECT_NE(result.exitCode, 0) << result.out;
        EXPECT_NE(result.out.find(signal == SIGINT ? "Stopped By Ctrl-C (SIGINT)" : "Stopped By SIGTERM"),
                  std::string::npos)
            << result.out;
        EXPECT_NE(result.out.find("Kept In '" + partial.string() + "'"), std::string::npos) << result.out;
        const double told = DurationAfter(result.out, "After");
        ASSERT_GT(told, 0.9) << result.out;
        EXPECT_FALSE(fs::exists(output));

        // A complete header for exactly what was rendered, in the mix and in the stem.
        const WavInfo wav = ParseWav(ReadBytes(partial));
        ASSERT_TRUE(wav.valid);
        EXPECT_NEAR(static_cast<double>(wav.frames) / 44100.0, told, 0.001);
        const WavInfo stem = ParseWav(ReadBytes(m_folder / "stems" / "Bass Stem.wav.part"));
        ASSERT_TRUE(stem.valid);
        EXPECT_EQ(stem.frames, wav.frames);
        if (HaveSoxi()) {
            EXPECT_NEAR(static_cast<double>(SoxiSamples(partial)) / 44100.0, told, 1.0);
        }
    }

    // A later render of the same output replaces the stale partial files.
    const Result again = RunTamborel("render " + Quoted(project) + " --tail 0 -o " + Quoted(output) +
                                         " --stems " + Quoted(m_folder / "stems"),
                                     true);
    ASSERT_EQ(again.status, 0) << again.out;
    EXPECT_FALSE(fs::exists(partial));
    EXPECT_FALSE(fs::exists(m_folder / "stems" / "Bass Stem.wav.part"));
    const WavInfo wav = ParseWav(ReadBytes(output));
    ASSERT_TRUE(wav.valid);
    EXPECT_LT(wav.frames, 44100 * 2);
}

TEST_F(RenderSafety, AKilledRenderLeavesAPlayablePartialFile) {
    const fs::path project = MakeProject(m_folder / "song.tbp");
    const fs::path partial = m_folder / "killed.wav.part";
    CRun run({"render", project.string(), "--loops", "1000", "--tail", "3600", "-o",
              (m_folder / "killed.wav").string()});
    ASSERT_TRUE(WaitForBytes(partial, 45));
    std::this_thread::sleep_for(2s);
    run.Signal(SIGKILL);
    const Finished result = run.Wait();
    EXPECT_EQ(result.signal, SIGKILL);
    // The header was brought up to date less than a second before the kill: it describes samples
    // that are all in the file (the file may hold a few more).
    const std::vector<uint8_t> bytes = ReadBytes(partial);
    const uint32_t described = HeaderDataSize(bytes);
    EXPECT_GT(described, 0u);
    EXPECT_EQ(described % 4, 0u);
    EXPECT_LE(44u + described, bytes.size());
    EXPECT_LT(bytes.size() - 44u - described, 44100u * 4u * 60u);
    if (HaveSoxi()) {
        EXPECT_EQ(SoxiSamples(partial), described / 4);
    }
}

TEST_F(RenderSafety, EightBitTextsFromTheProjectAreShownAsUtf8) {
    // Latin-1 bytes, as the studio's files hold them: "Basse été", "Stem ü", "Café ½ – fin".
    ProjectTexts texts;
    texts.bassName = "Basse \xE9t\xE9";
    texts.stemName = "Stem \xFC";
    texts.info = "Caf\xE9 \xBD \x96 fin";
    const fs::path project = MakeProject(m_folder / "latin.tbp", texts);

    const Result json = RunTamborel("info " + Quoted(project) + " --json");
    ASSERT_EQ(json.status, 0) << json.out;
    EXPECT_TRUE(platform::IsValidUtf8(json.out));
    const auto description = nlohmann::json::parse(json.out);
    EXPECT_EQ(description["machines"][1]["name"], "Basse \u00e9t\u00e9");
    EXPECT_EQ(description["machines"][2]["name"], "Stem \u00fc");
    EXPECT_EQ(description["cables"][0]["from"], "Stem \u00fc");
    EXPECT_EQ(description["patterns"][0]["machine"], "Basse \u00e9t\u00e9");
    EXPECT_EQ(description["info"], "Caf\u00e9 \u00bd \u2013 fin");

    const Result text = RunTamborel("info " + Quoted(project));
    ASSERT_EQ(text.status, 0);
    EXPECT_TRUE(platform::IsValidUtf8(text.out));
    EXPECT_NE(text.out.find("Basse \u00e9t\u00e9  [QX BassHead]"), std::string::npos) << text.out;

    // The stem's file is named in UTF-8 too.
    const Result render =
        Render(project, Quoted(m_folder / "x.wav"), " --stems " + Quoted(m_folder / "stems"));
    ASSERT_EQ(render.status, 0) << render.out;
    EXPECT_TRUE(fs::exists(m_folder / "stems" / "Stem \u00fc.wav"));
}

TEST_F(RenderSafety, TemposNoSongCanPlayAreRefusedAtLoad) {
    const fs::path project = MakeProject(m_folder / "song.tbp");
    std::vector<uint8_t> bytes = ReadBytes(project);
    auto withTempo = [&](float tempo, const std::string& name) {
        std::memcpy(bytes.data() + 6, &tempo, 4);
        WriteBytes(m_folder / name, bytes);
        return m_folder / name;
    };
    for (const float tempo : {1e-30f, 0.0f, 0.99f, -140.0f, 1000.5f, 1e30f, NAN}) {
        const fs::path damaged = withTempo(tempo, "tempo.tbp");
        const Result render = Render(damaged, Quoted(m_folder / "out.wav"));
        EXPECT_NE(render.status, 0) << tempo;
        EXPECT_NE(render.out.find("File '" + damaged.string() + "' Is Corrupt"), std::string::npos)
            << tempo << ": " << render.out;
        EXPECT_EQ(render.out.find("rendered"), std::string::npos) << render.out;
        EXPECT_FALSE(fs::exists(m_folder / "out.wav")) << tempo;
        EXPECT_FALSE(fs::exists(m_folder / "out.wav.part")) << tempo;
        EXPECT_NE(RunTamborel("info " + Quoted(damaged) + " --json").status, 0) << tempo;
    }
    // The ends of the tempo field's range play: at 1000 BPM the song's 16 steps last 176.4 frames
    // each, at 1 BPM 176400 each.
    const Result fast =
        Render(withTempo(kMaxProjectTempo, "fast.tbp"), Quoted(m_folder / "fast.wav"), " --tail 0");
    ASSERT_EQ(fast.status, 0) << fast.out;
    const WavInfo wav = ParseWav(ReadBytes(m_folder / "fast.wav"));
    ASSERT_TRUE(wav.valid);
    EXPECT_NEAR(static_cast<double>(wav.frames), 16 * 176.4, 2.0);
    EXPECT_GT(wav.peak, 0.0f);
    const Result info = RunTamborel("info " + Quoted(withTempo(kMinProjectTempo, "slow.tbp")) + " --json");
    ASSERT_EQ(info.status, 0);
    EXPECT_NEAR(nlohmann::json::parse(info.out)["song"]["seconds"].get<double>(), 64.0, 0.01);
}
