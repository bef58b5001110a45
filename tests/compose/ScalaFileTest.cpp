#include "compose/ScalaFile.h"

#include "base/Errors.h"
#include "base/TextFile.h"
#include "compose/SongActions.h"
#include "midi/Mididata.h"

#include "support/TempDir.h"

#include <cmath>
#include <map>

#include <sys/stat.h>

#include <gtest/gtest.h>

using namespace sorvelin;
using sorvelin::test::TempDir;
namespace fs = std::filesystem;

namespace {

std::string Scl(const std::string& description, const std::vector<std::string>& pitches) {
    std::string text =
        "! a remark\r\n" + description + "\r\n" + std::to_string(pitches.size()) + "\r\n!\r\n";
    for (const std::string& pitch : pitches) {
        text += pitch + "\r\n";
    }
    return text;
}

std::vector<ScaleValue> Values(const std::vector<std::string>& pitches,
                               const std::string& kbm = "") {
    const ScalaScale scale = ParseScalaScale(Scl("", pitches), "t.scl");
    return ScalaValues(scale, kbm.empty() ? KeyboardMapping{} : ParseKeyboardMapping(kbm, "t.kbm"),
                       "t.scl");
}

std::vector<std::string> Equal12() {
    std::vector<std::string> pitches;
    for (int k = 1; k < 12; ++k) {
        pitches.push_back(std::to_string(k * 100) + ".0");
    }
    pitches.push_back("2/1");
    return pitches;
}

std::vector<ScaleValue> Plain(int first, int count, int cents = 0) {
    std::vector<ScaleValue> values;
    for (int note = first; note < first + count; ++note) {
        values.push_back({note, cents});
    }
    return values;
}

std::string Kbm(int size, int middle, int reference, const std::string& hertz,
                const std::string& map = "") {
    return std::to_string(size) + "\n0\n127\n" + std::to_string(middle) + "\n" +
           std::to_string(reference) + "\n" + hertz + "\n0\n" + map;
}

} // namespace

TEST(ScalaFile, PitchLinesInCentsAndRatios) {
    const struct {
        const char* line;
        double cents;
    } cases[] = {{"701.955", 701.955},    {"3/2", 701.955000865}, {"  5/4 major third", 386.313714},
                 {"-50.0 ! down", -50.0}, {"100.", 100.0},        {".5", 0.5},
                 {"+12.25", 12.25},       {"2", 1200.0},          {"531441/524288", 23.460010}};
    for (const auto& c : cases) {
        const ScalaScale scale = ParseScalaScale(Scl("d", {c.line, "2/1"}), "t.scl");
        ASSERT_EQ(scale.Cents.size(), 2u) << c.line;
        EXPECT_NEAR(scale.Cents[0], c.cents, 1e-6) << c.line;
    }
    // Remarks may come anywhere; the description may be blank.
    const ScalaScale blank = ParseScalaScale("!x\n\n!y\n 1\n! z\n 3/1\n", "t.scl");
    EXPECT_EQ(blank.Description, "");
    EXPECT_NEAR(blank.Cents.at(0), 1901.955001, 1e-6);
}

TEST(ScalaFile, DegreesGoToTheNearestNoteOverTwoPeriods) {
    const struct {
        std::vector<std::string> pitches;
        std::string kbm;
        std::vector<ScaleValue> values;
    } cases[] = {
        // Offsets at and around 50 cents: exactly 50 goes up, as -50.
        {{"49.4", "49.5", "150.0", "-50.0", "2/1"},
         "",
         {{60, 0},
          {60, 49},
          {61, -50},
          {62, -50},
          {60, -50},
          {72, 0},
          {72, 49},
          {73, -50},
          {74, -50},
          {72, -50}}},
        // The period is the last pitch, here 3/1.
        {{"3/2", "3/1"}, "", {{60, 0}, {67, 2}, {79, 2}, {86, 4}}},
        // A .kbm: degree 0 on key 62 with key 69 (degree 7 of 12) at 440 Hz.
        {Equal12(), Kbm(0, 62, 69, "440.0"), Plain(62, 24)},
        // Key 69 at 432 Hz lowers every degree by 31.77 cents.
        {Equal12(), Kbm(0, 60, 69, "432"), Plain(60, 24, -32)},
        // A map that puts key 69 on degree 2 (of three equal steps).
        {{"400.0", "800.0", "2/1"},
         Kbm(12, 60, 69, "440", "0\nx\nx\nx\n1\nx\nx\nx\nx\n2\nx\nx\n"),
         {{61, 0}, {65, 0}, {69, 0}, {73, 0}, {77, 0}, {81, 0}}},
        // Values beyond note 127 are left out.
        {{"2/1"}, Kbm(0, 120, 120, "8372.018089619156"), {{120, 0}}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Values(c.pitches, c.kbm), c.values) << c.pitches[0] << " " << c.kbm;
    }
    const std::vector<ScaleValue> values = Values({"50.0", "2/1"});
    EXPECT_EQ(ScaleEntryLine("Say \"Q\"", values), "\"Say \"\"Q\"\"\",60,61-50,72,73-50");
}

TEST(ScalaFile, ExampleTuningsLoadAndTwelveToneEqualIsPlain) {
    TableList list;
    std::vector<std::string> tooltips;
    std::vector<std::string> messages;
    AppendScalaScales(list, tooltips, {SORVELIN_EXAMPLE_SCALES}, messages);
    EXPECT_EQ(messages, std::vector<std::string>{});
    ASSERT_GE(list.Names.size(), 12u);
    for (std::size_t i = 0; i < list.Names.size(); ++i) {
        EXPECT_FALSE(tooltips[i].empty()) << list.Names[i];
        EXPECT_NO_THROW(ParseScaleEntry(list.Lines[i], static_cast<int>(i) + 1)) << list.Names[i];
    }
    ASSERT_EQ(list.Names[0], "12-TET");
    const ScaleData plain = ParseScaleEntry(list.Lines[0], 1);
    std::vector<int> notes;
    for (const ScaleValue& value : Plain(60, 24)) {
        notes.push_back(value.Note);
    }
    EXPECT_EQ(plain.ScaleNotes, notes);
    EXPECT_EQ(plain.ScaleBends, std::vector<int>(24, 0));
    EXPECT_FALSE(plain.MicrotonalScale);
}

TEST(ScalaFile, BadFilesAreLeftOutNamingTheLineAndTheRestLoad) {
    const struct {
        const char* file;
        std::string text;
        const char* message;
    } cases[] = {
        {"empty", "", "empty.scl, line 1: the file ends before the description line."},
        {"nocount", "d\ntwelve\n", "nocount.scl, line 2: \"twelve\" is not the number of pitches."},
        {"short", "d\n3\n3/2\n2/1\n", "short.scl, line 4: the file ends before pitch 3 of the 3"},
        {"zero", "d\n2\n0/1\n2/1\n", "zero.scl, line 3: \"0/1\" is a zero ratio"},
        {"over", "d\n2\n3/0\n2/1\n", "over.scl, line 3: \"3/0\" divides by zero"},
        {"nul", std::string("d\n2\n10") + '\0' + "0.0\n2/1\n",
         "nul.scl, line 3: a NUL byte follows \"10\"; a tuning file is plain text."},
        {"hz", Scl("d", {"2/1"}), "hz.kbm, line 6: a NUL byte follows \"44\""},
        {"long", "d\n1\n2/1 " + std::string(4093, 'x') + "\n",
         "long.scl, line 3: the line holds 4097 bytes; a line holds at most 4096."},
        {"negative", "d\n1\n-3/2\n", "negative.scl, line 3: \"-3/2\" is a negative ratio"},
        {"word", "d\n2\nfifth\n2/1\n", "word.scl, line 3: \"fifth\" is no pitch"},
        {"points", "d\n1\n1.2.3\n", "points.scl, line 3: \"1.2.3\" is not a pitch in cents."},
        {"flat", "d\n2\n3/2\n1/1\n", "flat.scl, line 4: the period (the last pitch) is 0 cents"},
        {"none", "d\n0\n", "none.scl, line 2: a scale of 0 pitches has no period"},
        {"many", Scl("d", std::vector<std::string>(65, "1/1")),
         "many.scl, line 3: 65 pitches over two periods give more than 128 values"},
        {"mapped", Scl("d", {"2/1"}), "mapped.kbm, line 6: \"A4\" is not a frequency"},
        {"low", Scl("d", {"-1200.0"}), "low.scl: no pitch of the scale falls on a note"},
    };
    TempDir dir;
    for (const auto& c : cases) {
        WriteFileAtomic(dir.path / (std::string(c.file) + ".scl"), c.text);
    }
    WriteFileAtomic(dir.path / "mapped.kbm", "0\n0\n127\n60\n69\nA4\n0\n");
    WriteFileAtomic(dir.path / "hz.kbm", std::string("0\n0\n127\n60\n69\n44") + '\0' + "0.0\n0\n");
    // Names that are no files: read, a FIFO would hold the start-up for ever.
    ASSERT_EQ(mkfifo((dir.path / "fifo.scl").c_str(), 0600), 0);
    fs::create_symlink(dir.path / "gone.scl", dir.path / "dangling.scl");
    fs::create_directory(dir.path / "folder.scl");
    const std::string others[] = {
        "fifo.scl cannot be read: it is a FIFO, not a file. The scale is left out.",
        "dangling.scl cannot be read: it is a symbolic link to nothing. The scale is left out.",
        "folder.scl cannot be read: it is a folder. The scale is left out.",
        "notes.txt cannot be read (Not a directory); its tunings are left out."};
    WriteFileAtomic(dir.path / "low.kbm", Kbm(0, 0, 0, "8.175798915643707"));
    WriteFileAtomic(dir.path / "good.scl", Scl("Fine", {"3/2", "2/1"}));
    WriteFileAtomic(dir.path / "notes.txt", "not a scale");

    TableList list;
    list.Names = {"C Major"};
    list.Lines = {BuiltInScaleLine};
    std::vector<std::string> tooltips;
    std::vector<std::string> messages;
    AppendScalaScales(list, tooltips, {dir.path, dir.path / "notes.txt"}, messages);
    EXPECT_EQ(list.Names, (std::vector<std::string>{"C Major", "good"}));
    EXPECT_EQ(tooltips, (std::vector<std::string>{"", "Fine"}));
    ASSERT_EQ(messages.size(), std::size(cases) + std::size(others));
    std::vector<std::string> prefixes(std::begin(others), std::end(others));
    for (const auto& c : cases) {
        prefixes.push_back(c.message);
    }
    for (const std::string& prefix : prefixes) {
        const std::string expected = (dir.path / prefix).string();
        const bool found = std::any_of(messages.begin(), messages.end(), [&](const auto& m) {
            return m.rfind(expected, 0) == 0 && m.find("left out") != std::string::npos;
        });
        EXPECT_TRUE(found) << expected;
    }
}

TEST(ScalaFile, TheFirstOfTwoEqualNamesIsKept) {
    TempDir first;
    TempDir second;
    WriteFileAtomic(first.path / "Same.scl", Scl("first", {"2/1"}));
    WriteFileAtomic(first.path / "C Major.scl", Scl("clash", {"2/1"}));
    WriteFileAtomic(second.path / "Same.scl", Scl("second", {"2/1"}));
    WriteFileAtomic(second.path / "Other.SCL", Scl("other", {"2/1"}));
    TableList list;
    list.Names = {"C Major"};
    list.Lines = {BuiltInScaleLine};
    std::vector<std::string> tooltips;
    std::vector<std::string> messages;
    AppendScalaScales(list, tooltips, {first.path, second.path, second.path / "missing"}, messages);
    EXPECT_EQ(list.Names, (std::vector<std::string>{"C Major", "Same", "Other"}));
    EXPECT_EQ(tooltips, (std::vector<std::string>{"", "first", "other"}));
    EXPECT_EQ(messages, (std::vector<std::string>{
                            (first.path / "C Major.scl").string() +
                                " is left out: the Scale list already holds \"C Major\".",
                            (second.path / "Same.scl").string() +
                                " is left out: the Scale list already holds \"Same\"."}));
}

TEST(ScalaFile, SongOnAScalaScaleBendsItsNotesAndKeepsTheScaleByName) {
    TempDir dir;
    fs::create_directory(dir.path / "scales");
    WriteFileAtomic(dir.path / "scales" / "Quarter.scl", Scl("q", {"50.0", "2/1"}));
    ExplorerModel explorer;
    explorer.ZoomIn();
    explorer.PressPicture(10, 200);
    explorer.DragOnPicture(230, 40);
    explorer.ReleasePicture(230, 40);
    ComposeModel compose;
    PartSettingsTable parts = DefaultPartSettings();
    EXPECT_TRUE(compose.LoadTableFiles({dir.path}, {dir.path / "scales"}).empty());
    ASSERT_TRUE(compose.SelectScaleByName("Quarter"));
    compose.ScaleComboBox1Change();
    EXPECT_TRUE(compose.Scale.MicrotonalScale);
    ComposeSeries(explorer, compose);
    RenderedSong song;
    RenderPlaySong(song, explorer, compose, parts);

    // Worked by hand: 61-50 is wheel 8192 - 50 x 4096 / 100, note 60 the centre.
    const std::map<int, int> wheel{{60, 8192}, {61, 6144}, {72, 8192}, {73, 6144}};
    std::map<int, int> bendOf; // channel -> wheel in force
    std::map<int, int> played;
    midiTrack& track = *song.PlayTrack();
    for (int i = 0; i < track.Count(); ++i) {
        const anyEvent* event = track.EventAt(i);
        const int channel = event->status & 0x0F;
        if (const auto* bend = dynamic_cast<const PitchBendEvent*>(event)) {
            bendOf[channel] = bend->bend;
        } else if (const auto* note = dynamic_cast<const NoteOnEvent*>(event);
                   note != nullptr && note->velocity != 0) {
            ++played[note->key];
            EXPECT_EQ(bendOf[channel], wheel.at(note->key)) << int(note->key);
        }
    }
    EXPECT_GT(played[60] + played[72], 0);
    EXPECT_GT(played[61] + played[73], 0);

    // The song file names the scale; it loads while the file is there.
    const std::vector<std::string> lines = FormatSongFile(SongFromState(explorer, compose, parts));
    ComposeModel again;
    again.LoadTableFiles({dir.path}, {dir.path / "scales"});
    EXPECT_TRUE(LoadSongLines(lines, explorer, again, parts).Messages.empty());
    EXPECT_EQ(again.SelectedScaleName(), "Quarter");
    fs::remove(dir.path / "scales" / "Quarter.scl");
    again.LoadTableFiles({dir.path}, {dir.path / "scales"});
    EXPECT_EQ(LoadSongLines(lines, explorer, again, parts).Messages,
              std::vector<std::string>{"Sorry, Couldn't find Scale:Quarter"});
}
