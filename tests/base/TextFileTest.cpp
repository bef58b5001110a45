#include "base/TextFile.h"
#include "base/Errors.h"

#include "support/TempDir.h"

#include <filesystem>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace sorvelin;
using sorvelin::test::TempDir;
namespace fs = std::filesystem;

TEST(TextFile, LinesSplitOnEveryLineEnd) {
    EXPECT_EQ(SplitLines("a\r\nb\nc\rd"), (std::vector<std::string>{"a", "b", "c", "d"}));
    EXPECT_EQ(SplitLines("a\r\n\r\n"), (std::vector<std::string>{"a", ""}));
    EXPECT_TRUE(SplitLines("").empty());
    // A byte-order mark starts no line; only a leading one is a mark.
    EXPECT_EQ(SplitLines("\xEF\xBB\xBF"
                         "0000\r\n1"),
              (std::vector<std::string>{"0000", "1"}));
    EXPECT_EQ(SplitLines("\xEF\xBB\xBF"), std::vector<std::string>{});
    EXPECT_EQ(SplitLines("a\n\xEF\xBB\xBF"), (std::vector<std::string>{"a", "\xEF\xBB\xBF"}));
}

TEST(TextFile, LinesLongerThanASettingAreRefused) {
    EXPECT_EQ(LineLengthFault(std::string(MaxLineBytes, '1')), "");
    EXPECT_EQ(LineLengthFault(std::string(2 << 20, '1')),
              "the line holds 2097152 bytes; a line holds at most 4096.");
}

TEST(TextFile, WrittenLinesEndInCrLfAndReadBack) {
    TempDir dir;
    const fs::path file = dir.path / "main.prf";
    WriteLinesAtomic(file, {"0000", "12", ""});
    EXPECT_EQ(ReadFileBytes(file), "0000\r\n12\r\n\r\n");
    EXPECT_EQ(ReadLines(file), (std::vector<std::string>{"0000", "12", ""}));
    EXPECT_THROW(ReadLines(dir.path / "missing.cfg"), FileError);
}

TEST(TextFile, FailedWriteLeavesTheOldFileIntact) {
    TempDir dir;
    const fs::path file = dir.path / "song.svl";
    WriteFileAtomic(file, "old contents");

    // A device that takes only five bytes of the new contents.
    SetWriteFaultForTesting([](std::size_t want) { return want > 5 ? std::size_t{5} : want; });
    EXPECT_THROW(WriteFileAtomic(file, "new contents that do not fit"), FileError);
    SetWriteFaultForTesting({});
    EXPECT_EQ(ReadFileBytes(file), "old contents");

    if (::geteuid() != 0) { // root writes into read-only folders anyway
        fs::permissions(dir.path, fs::perms::owner_write, fs::perm_options::remove);
        EXPECT_THROW(WriteFileAtomic(file, "new"), FileError);
        EXPECT_EQ(ReadFileBytes(file), "old contents");
    }
    EXPECT_THROW(WriteFileAtomic(dir.path / "no-such-folder" / "x.mid", "x"), FileError);
    // No temporary files left behind.
    int entries = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir.path)) {
        ++entries;
    }
    EXPECT_EQ(entries, 1);
}
