#include "compose/Tables.h"

#include "base/Errors.h"
#include "base/TextFile.h"

#include "support/TempDir.h"

#include <filesystem>

#include <gtest/gtest.h>
#include <unistd.h>

using namespace sorvelin;
using sorvelin::test::TempDir;
namespace fs = std::filesystem;

namespace {

using Fields = std::vector<std::string>;

std::string ErrorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const UserError& error) {
        return error.what();
    }
    return "";
}

} // namespace

TEST(Tables, FieldsSplitOnBlanksCommasAndQuotes) {
    struct Case {
        std::string line;
        Fields fields;
    };
    const Case cases[] = {
        {"\"16th note\",30", {"16th note", "30"}},
        {"  a b,c , d", {"a", "b", "c", "d"}},
        {"a,,b", {"a", "", "b"}},
        {"\"say \"\"hi\"\"\",1", {"say \"hi\"", "1"}},
        {"\"a,b c\"\t2", {"a,b c", "2"}},
        {"C Major,60,62", {"C", "Major", "60", "62"}},
        {"x,", {"x"}},
        {"", {}},
        {" \t ", {}},
        {std::string("a,1\0,2", 6), {"a", "1"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SplitTableFields(c.line), c.fields) << c.line;
    }
}

TEST(Tables, FiveToneScaleWithCentOffsets) {
    const ScaleData scale = ParseScaleEntry("\"Five-Tone\",60,61+30,63-20,67,68+10", 1);
    EXPECT_EQ(scale.ScaleNotes, (std::vector<int>{60, 61, 63, 67, 68}));
    EXPECT_EQ(scale.ScaleBends, (std::vector<int>{0, 1228, -819, 0, 409}));
    EXPECT_EQ(scale.ScaleMin, 60);
    EXPECT_EQ(scale.ScaleMax, 68);
    EXPECT_TRUE(scale.MicrotonalScale);
}

TEST(Tables, CentsBecomeTruncatedWheelOffsets) {
    struct Case {
        std::string value;
        int note, bend;
        bool microtonal;
    };
    const Case cases[] = {{"60+50", 60, 2048, true},  {"60-25", 60, -1024, true},
                          {"60+33", 60, 1351, true},  {"60-33", 60, -1351, true},
                          {"60+0", 60, 0, false},     {"60-200", 60, -8192, true},
                          {"60+199", 60, 8151, true}, {"0,5", 0, 0, false}};
    for (const Case& c : cases) {
        const ScaleData scale = ParseScaleEntry("s," + c.value, 1);
        EXPECT_EQ(scale.ScaleNotes[0], c.note) << c.value;
        EXPECT_EQ(scale.ScaleBends[0], c.bend) << c.value;
        EXPECT_EQ(scale.MicrotonalScale, c.microtonal) << c.value;
    }
}

TEST(Tables, BrokenEntriesAreRejectedNamingEntryAndValue) {
    struct Case {
        std::string line;
        std::string message;
    };
    std::string tooMany = "\"Big\"";
    for (int i = 0; i < 129; ++i) {
        tooMany += ",60";
    }
    // Refused after its first values, not after splitting all three million.
    std::string huge = "Huge";
    for (int i = 0; i < 3'000'000; ++i) {
        huge += ",60";
    }
    const Case scales[] = {
        {"\"My Scale\",60,6x2", "Scale \"My Scale\" (entry 3): value 2 \"6x2\" is not an integer."},
        {"s,60,,62", "Scale \"s\" (entry 3): value 2 \"\" is not an integer."},
        {"s,60,61+a", "Scale \"s\" (entry 3): value 2 \"61+a\" is not an integer."},
        {"C Major,60,62", "Scale \"C\" (entry 3): value 1 \"Major\" is not an integer."},
        {"\"Empty\"", "Scale \"Empty\" (entry 3) has no values."},
        {"s,60,128", "Scale \"s\" (entry 3): value 2 \"128\" is not a note number from 0 to 127."},
        {"s,-1+0", "Scale \"s\" (entry 3): value 1 \"-1+0\" is not a note number from 0 to 127."},
        {"s,60+200", "Scale \"s\" (entry 3): value 1 \"60+200\" has an offset outside -200 to "
                     "+199 cents."},
        {"s,60-201", "Scale \"s\" (entry 3): value 1 \"60-201\" has an offset outside -200 to "
                     "+199 cents."},
        {"s,0,0", "Scale \"s\" (entry 3) has no note from 1 to 127."},
        {tooMany, "Scale \"Big\" (entry 3) has more than 128 values; a scale has at most 128."},
        {huge, "Scale \"Huge\" (entry 3) has more than 128 values; a scale has at most 128."},
        {"\"" + std::string(5000, 'N') + "\",60,x",
         "Scale \"" + std::string(60, 'N') +
             "\u2026\" (entry 3): value 2 \"x\" is not an integer."},
    };
    for (const Case& c : scales) {
        EXPECT_EQ(ErrorOf([&] { ParseScaleEntry(c.line, 3); }), c.message);
    }
    const Case rhythms[] = {
        {"r,30,x", "Rhythm \"r\" (entry 2): value 2 \"x\" is not an integer."},
        {"r,30,0", "Rhythm \"r\" (entry 2): value 2 \"0\" is not a duration; durations are 1 "
                   "tick or more."},
        {"r,-30", "Rhythm \"r\" (entry 2): value 1 \"-30\" is not a duration; durations are 1 "
                  "tick or more."},
        {"r", "Rhythm \"r\" (entry 2) has no values."},
    };
    for (const Case& c : rhythms) {
        EXPECT_EQ(ErrorOf([&] { ParseRhythmEntry(c.line, 2); }), c.message);
    }
    EXPECT_EQ(ParseRhythmEntry("\"Swing\",40 20,30", 1).RhythmTicks,
              (std::vector<int>{40, 20, 30}));
}

TEST(Tables, MissingFilesGiveTheBuiltInEntries) {
    TempDir dir;
    std::vector<std::string> messages;
    const TableList rhythm = LoadTableList("rhythm.cfg", BuiltInRhythmLine, {dir.path}, messages);
    const TableList scale = LoadTableList("scale.cfg", BuiltInScaleLine, {dir.path}, messages);
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(rhythm.Names, Fields{"16th note"});
    EXPECT_EQ(scale.Names, Fields{"C Major"});
    EXPECT_EQ(ParseRhythmEntry(rhythm.Lines[0], 1).RhythmTicks, std::vector<int>{30});
    const ScaleData major = ParseScaleEntry(scale.Lines[0], 1);
    EXPECT_EQ(major.ScaleNotes,
              (std::vector<int>{48, 50, 52, 53, 55, 57, 59, 60, 62, 64, 65, 67, 69, 71, 72}));
    EXPECT_EQ(major.ScaleMin, 48);
    EXPECT_EQ(major.ScaleMax, 72);
    EXPECT_FALSE(major.MicrotonalScale);
}

TEST(Tables, HeaderIsDiscardedAndBlankLinesDropped) {
    TempDir dir;
    WriteLinesAtomic(dir.path / "scale.cfg",
                     {"\"Header\",60", "\"One\",60,62", "", "   ", "\"Two\",70,72"});
    std::vector<std::string> messages;
    const TableList scale = LoadTableList("scale.cfg", BuiltInScaleLine, {dir.path}, messages);
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(scale.Names, (Fields{"One", "Two"}));
    EXPECT_EQ(ParseScaleEntry(scale.Lines[1], 2).ScaleNotes, (std::vector<int>{70, 72}));
}

TEST(Tables, LaterFoldersAreSearchedWhenTheFirstLacksTheFile) {
    TempDir first, second;
    WriteLinesAtomic(second.path / "rhythm.cfg", {"name ticks", "\"Quarter\",120"});
    WriteLinesAtomic(first.path / "scale.cfg", {"header", "\"Here\",60"});
    WriteLinesAtomic(second.path / "scale.cfg", {"header", "\"There\",60"});
    std::vector<std::string> messages;
    EXPECT_EQ(
        LoadTableList("rhythm.cfg", BuiltInRhythmLine, {first.path, second.path}, messages).Names,
        Fields{"Quarter"});
    EXPECT_EQ(
        LoadTableList("scale.cfg", BuiltInScaleLine, {first.path, second.path}, messages).Names,
        Fields{"Here"});
}

TEST(Tables, FileWithOnlyAHeaderFallsBackToTheBuiltInEntryAndSaysSo) {
    TempDir dir;
    WriteLinesAtomic(dir.path / "rhythm.cfg", {"\"16th note\",30", ""});
    std::vector<std::string> messages;
    const TableList rhythm = LoadTableList("rhythm.cfg", BuiltInRhythmLine, {dir.path}, messages);
    EXPECT_EQ(rhythm.Names, Fields{"16th note"});
    EXPECT_EQ(rhythm.Lines, Fields{BuiltInRhythmLine});
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find("holds no entries"), std::string::npos) << messages[0];
    EXPECT_NE(messages[0].find("rhythm.cfg"), std::string::npos) << messages[0];
}
