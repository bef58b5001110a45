// Outputs keep what their names are (a link stays a link, a FIFO a FIFO),
// several outputs are made final together or not at all, and two names of
// one file are recognised.
#include "base/OutputFile.h"
#include "base/Errors.h"
#include "base/TextFile.h"

#include "support/TempDir.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <future>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace sorvelin;
using sorvelin::test::TempDir;
namespace fs = std::filesystem;

namespace {

const std::string NewBytes = "new bytes\r\n";

void Write(const fs::path& path, const std::string& bytes) {
    PendingFile file(path);
    file.Stream() << bytes;
    file.Commit();
}

std::vector<std::string> Names(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

TEST(OutputFile, EachKindOfNameKeepsItsKindAndGetsTheBytes) {
    struct Case {
        const char* what;
        std::function<void(const fs::path& dir)> make; // makes "out"
        fs::file_type kind;                            // of "out" afterwards
        const char* holder;                            // the file that gets the bytes
    };
    const std::vector<Case> cases = {
        {"a new name", [](const fs::path&) {}, fs::file_type::regular, "out"},
        {"an old file", [](const fs::path& d) { WriteFileAtomic(d / "out", "old"); },
         fs::file_type::regular, "out"},
        {"a link to an old file",
         [](const fs::path& d) {
             WriteFileAtomic(d / "target", "old");
             fs::create_symlink("target", d / "out");
         },
         fs::file_type::symlink, "target"},
        {"a link to a link to a file not yet made",
         [](const fs::path& d) {
             fs::create_symlink("target", d / "middle");
             fs::create_symlink(d / "middle", d / "out");
         },
         fs::file_type::symlink, "target"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        c.make(dir.path);
        const auto before = Names(dir.path);
        Write(dir.path / "out", NewBytes);
        EXPECT_EQ(fs::symlink_status(dir.path / "out").type(), c.kind);
        EXPECT_EQ(ReadFileBytes(dir.path / c.holder), NewBytes);
        auto after = before;
        if (std::find(after.begin(), after.end(), c.holder) == after.end()) {
            after.push_back(c.holder);
            std::sort(after.begin(), after.end());
        }
        EXPECT_EQ(Names(dir.path), after) << "a temporary file stays";
    }
}

TEST(OutputFile, AFifoOrDeviceIsWrittenStraightIntoAndStays) {
    TempDir dir;
    const fs::path fifo = dir.path / "pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    auto reader = std::async(std::launch::async, [&] { return ReadFileBytes(fifo); });
    Write(fifo, NewBytes);
    EXPECT_EQ(reader.get(), NewBytes);
    EXPECT_EQ(fs::symlink_status(fifo).type(), fs::file_type::fifo);
    EXPECT_EQ(Names(dir.path), std::vector<std::string>{"pipe"});

    // The superuser could have replaced the system's node; anyone else
    // could not, and must still get their write.
    Write("/dev/null", NewBytes);
    EXPECT_EQ(fs::status("/dev/null").type(), fs::file_type::character);
}

TEST(OutputFile, AFailingOutputLeavesEveryOldFileAsItWas) {
    TempDir dir;
    WriteFileAtomic(dir.path / "first.mid", "old first");
    WriteFileAtomic(dir.path / "third.wav", "old third");
    {
        PendingFile first(dir.path / "first.mid");
        PendingFile second(dir.path / "second.csv");
        PendingFile third(dir.path / "third.wav");
        for (PendingFile* file : {&first, &second, &third}) {
            file->Stream() << NewBytes;
        }
        // The second name becomes a folder that holds a file, which no
        // rename can replace, after the first was made ready.
        fs::create_directories(dir.path / "second.csv" / "inside");
        std::vector<PendingFile*> files{&first, &second, &third};
        EXPECT_THROW(CommitFiles(files), FileError);
    }
    EXPECT_EQ(ReadFileBytes(dir.path / "first.mid"), "old first");
    EXPECT_EQ(ReadFileBytes(dir.path / "third.wav"), "old third");
    EXPECT_EQ(Names(dir.path), (std::vector<std::string>{"first.mid", "second.csv", "third.wav"}));
}

TEST(OutputFile, NamesOfOneFileAreRecognised) {
    TempDir dir;
    const fs::path d = dir.path;
    WriteFileAtomic(d / "song.svl", "song");
    WriteFileAtomic(d / "other.svl", "song");
    fs::create_hard_link(d / "song.svl", d / "hard.svl");
    fs::create_symlink("song.svl", d / "soft.svl");
    fs::create_symlink("new.mid", d / "dangling.mid");
    fs::create_directory(d / "sub");
    struct Case {
        fs::path a, b;
        bool same;
    };
    const std::vector<Case> cases = {
        {d / "song.svl", d / "song.svl", true},
        {d / "song.svl", d / "sub" / ".." / "song.svl", true},
        {d / "song.svl", d / "hard.svl", true},
        {d / "song.svl", d / "soft.svl", true},
        {d / "song.svl", d / "other.svl", false}, // same bytes, another file
        {d / "new.mid", d / "sub" / ".." / "new.mid", true},
        {d / "new.mid", d / "dangling.mid", true},
        {d / "new.mid", d / "new.csv", false},
        {d / "song.svl", d / "new.mid", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.a.string() + " / " + c.b.string());
        EXPECT_EQ(SameFile(c.a, c.b), c.same);
        const auto refuse = [&] { RefuseSameFiles({{"-o", c.a}, {"--wav", c.b}}); };
        if (c.same) {
            EXPECT_THROW(refuse(), UserError);
        } else {
            EXPECT_NO_THROW(refuse());
        }
    }
}
