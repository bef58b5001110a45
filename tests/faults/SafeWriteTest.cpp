// Every file the program writes (main.prf, device.prf, song files, MIDI files
// and, where the synthesizer is built, WAV files) keeps its old content when
// the write fails: part way through, on a full disk, in a folder that cannot
// be written. The error names the file, and no temporary file is left. A
// symbolic link given as the file keeps being a link, and a device node keeps
// being a device.
#include "base/Errors.h"
#include "base/TextFile.h"
#include "compose/SongActions.h"
#include "midi/Mididata.h"
#include "output/DeviceModel.h"
#include "sound/MidiOutCapture.h"
#ifdef SORVELIN_FAULTS_WAV
#include "sound/FluidSynthCore.h"
#include "sound/SoundFile.h"
#include "sound/WavRender.h"
#endif

#include <climits>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <stdexcept>
#include <string>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace sorvelin;
namespace fs = std::filesystem;

namespace {

const std::string OldContent = "old content\r\n";

struct Writer {
    const char* file;
    std::function<void(const fs::path&)> write;
};

std::vector<Writer> Writers() {
    std::vector<Writer> writers;
    // main.prf: the explorer window hands its 31 lines to WriteLinesAtomic.
    writers.push_back({"main.prf", [](const fs::path& path) {
                           WriteLinesAtomic(path, std::vector<std::string>(31, "-0.6"));
                       }});
    writers.push_back({"device.prf", [](const fs::path& path) {
                           CaptureMidiOut service;
                           OutputHandle output(service);
                           DeviceModel model(output);
                           model.SaveDeviceSettings(path, DevicePlacement{});
                       }});
    writers.push_back({"song.svl", [](const fs::path& path) {
                           ExplorerModel explorer;
                           ComposeModel compose;
                           SaveSong(path, explorer, compose, DefaultPartSettings());
                       }});
    writers.push_back({"song.mid", [](const fs::path& path) {
                           ExplorerModel explorer;
                           ComposeModel compose;
                           compose.NotesPerPart = 8;
                           explorer.Fields().Iteration = "20";
                           explorer.PressPicture(10, 10);
                           explorer.DragOnPicture(200, 100);
                           ComposeSeries(explorer, compose);
                           RenderedSong song;
                           RenderPlaySong(song, explorer, compose, DefaultPartSettings());
                           song.SaveMidi(path);
                       }});
#ifdef SORVELIN_FAULTS_WAV
    if (!FindSoundFont(SoundFontFolders()).empty()) {
        writers.push_back({"song.wav", [](const fs::path& path) {
                               WavRenderOptions options;
                               options.sampleRate = 8000;
                               options.tail = std::chrono::milliseconds(100);
                               RenderMessagesToWav({}, path, options);
                           }});
        writers.push_back({"song.flac", [](const fs::path& path) {
                               WavRenderOptions options;
                               options.sampleRate = 8000;
                               options.tail = std::chrono::milliseconds(100);
                               WorkProgress progress;
                               RenderMessagesToSoundFile({}, path, progress, options);
                           }});
    }
#endif
    return writers;
}

class ScratchFolder {
public:
    ScratchFolder() {
        std::string name = (fs::temp_directory_path() / "sorvelin-faults-XXXXXX").string();
        if (::mkdtemp(name.data()) == nullptr) {
            throw std::runtime_error("cannot make a scratch folder in " + name);
        }
        path_ = name;
    }
    ~ScratchFolder() {
        std::error_code ec;
        fs::permissions(path_, fs::perms::owner_all, ec);
        fs::remove_all(path_, ec);
    }
    const fs::path& Path() const { return path_; }
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(path_)) {
            names.push_back(entry.path().filename().string());
        }
        return names;
    }

private:
    fs::path path_;
};

void WriteOld(const fs::path& path) {
    WriteFileAtomic(path, OldContent);
}

// Runs `write` against an old file and checks what a failed write must leave.
void ExpectFailureKeepsOldFile(const Writer& writer, const ScratchFolder& folder,
                               const std::function<void()>& write) {
    SCOPED_TRACE(writer.file);
    const fs::path path = folder.Path() / writer.file;
    try {
        write();
        ADD_FAILURE() << "the write was reported as done";
    } catch (const FileError& error) {
        EXPECT_NE(std::string(error.what()).find(writer.file), std::string::npos)
            << "the message does not name the file: " << error.what();
    }
    EXPECT_EQ(ReadFileBytes(path), OldContent);
    EXPECT_EQ(folder.Names(), std::vector<std::string>{writer.file}) << "a temporary file stays";
}

// An ordinary user (nobody) for the superuser's read-only folder check.
constexpr unsigned NobodyId = 65534;
constexpr int ExecFailed = 127;

// Runs the current test in a new process of this program as user nobody;
// returns its exit code. The raw calls change the user of the child's one
// thread; the library's calls would wait for the parent's other threads.
int RunThisTestAsNobody() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string filter =
        std::string("--gtest_filter=") + info->test_suite_name() + "." + info->name();
    const pid_t child = ::fork();
    if (child == 0) {
        ::alarm(60); // a hang fails the test instead of stopping the run
        if (::syscall(SYS_setgid, NobodyId) == 0 && ::syscall(SYS_setuid, NobodyId) == 0) {
            ::execl("/proc/self/exe", "faults_safe_write_tests", filter.c_str(),
                    static_cast<char*>(nullptr));
        }
        std::_Exit(ExecFailed);
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status)) {
        return -1;
    }
    return WEXITSTATUS(status);
}

// A file size limit makes the kernel refuse a write part way, as a full disk
// does; the signal it raises is ignored so that the write reports EFBIG.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &old_);
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = old_;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, oldHandler_);
    }

private:
    rlimit old_{};
    void (*oldHandler_)(int) = nullptr;
};

} // namespace

TEST(SafeWrite, EachWriterReplacesTheOldFileAndLeavesNothingElse) {
    for (const Writer& writer : Writers()) {
        SCOPED_TRACE(writer.file);
        ScratchFolder folder;
        const fs::path path = folder.Path() / writer.file;
        WriteOld(path);
        writer.write(path);
        EXPECT_NE(ReadFileBytes(path), OldContent);
        EXPECT_EQ(folder.Names(), std::vector<std::string>{writer.file});
    }
}

TEST(SafeWrite, EachWriterTakesTheLongestNameAFolderTakes) {
    for (const Writer& writer : Writers()) {
        const std::string extension = fs::path(writer.file).extension().string();
        const std::string name = std::string(NAME_MAX - extension.size(), 'm') + extension;
        SCOPED_TRACE(writer.file);
        ScratchFolder folder;
        WriteOld(folder.Path() / name);
        writer.write(folder.Path() / name);
        EXPECT_NE(ReadFileBytes(folder.Path() / name), OldContent);
        EXPECT_EQ(folder.Names(), std::vector<std::string>{name});
    }
}

TEST(SafeWrite, EachWriterReplacesALinksTargetAndWritesIntoADevice) {
    for (const Writer& writer : Writers()) {
        SCOPED_TRACE(writer.file);
        ScratchFolder folder;
        const fs::path link = folder.Path() / writer.file;
        WriteOld(folder.Path() / "target");
        fs::create_symlink("target", link);
        writer.write(link);
        EXPECT_TRUE(fs::is_symlink(link));
        EXPECT_NE(ReadFileBytes(folder.Path() / "target"), OldContent);
        EXPECT_EQ(folder.Names().size(), 2u) << "a temporary file stays";
        // Save Audio picks the format by the name's extension, which a
        // device's name lacks.
        if (fs::path(writer.file).extension() != ".flac") {
            writer.write("/dev/null");
        }
        EXPECT_EQ(fs::symlink_status("/dev/null").type(), fs::file_type::character);
    }
}

TEST(SafeWrite, AWriteThatFailsPartWayLeavesTheOldFile) {
    for (const Writer& writer : Writers()) {
        for (const std::size_t accepted : {std::size_t{0}, std::size_t{1}, std::size_t{20}}) {
            SCOPED_TRACE(accepted);
            ScratchFolder folder;
            const fs::path path = folder.Path() / writer.file;
            WriteOld(path);
            std::size_t total = 0;
            SetWriteFaultForTesting([&](std::size_t want) {
                const std::size_t room = accepted > total ? accepted - total : 0;
                const std::size_t take = std::min(want, room);
                total += take;
                return take;
            });
            ExpectFailureKeepsOldFile(writer, folder, [&] { writer.write(path); });
            SetWriteFaultForTesting(nullptr);
        }
    }
}

TEST(SafeWrite, AFullDiskLeavesTheOldFile) {
    for (const Writer& writer : Writers()) {
        ScratchFolder folder;
        const fs::path path = folder.Path() / writer.file;
        WriteOld(path);
        // Room for the old file but not for any of the new ones.
        const FileSizeLimit limit(OldContent.size() + 4);
        ExpectFailureKeepsOldFile(writer, folder, [&] { writer.write(path); });
    }
}

TEST(SafeWrite, AFolderThatCannotBeWrittenLeavesTheOldFile) {
    if (::geteuid() == 0) {
        // The superuser writes into any folder: the test runs again in a
        // fresh process of an ordinary user.
        const int code = RunThisTestAsNobody();
        if (code == ExecFailed) {
            GTEST_SKIP() << "this program cannot be run as an ordinary user here";
        }
        EXPECT_EQ(code, 0);
        return;
    }
    for (const Writer& writer : Writers()) {
        ScratchFolder folder;
        const fs::path path = folder.Path() / writer.file;
        WriteOld(path);
        fs::permissions(folder.Path(), fs::perms::owner_read | fs::perms::owner_exec);
        ExpectFailureKeepsOldFile(writer, folder, [&] { writer.write(path); });
    }
}

TEST(SafeWrite, AMissingFolderIsReportedAndNothingIsCreated) {
    for (const Writer& writer : Writers()) {
        SCOPED_TRACE(writer.file);
        ScratchFolder folder;
        const fs::path path = folder.Path() / "gone" / writer.file;
        EXPECT_THROW(writer.write(path), FileError);
        EXPECT_TRUE(folder.Names().empty());
    }
}
