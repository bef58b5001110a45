#include "compose/SongFile.h"

#include "base/Errors.h"
#include "base/TextFile.h"

#include <gtest/gtest.h>

using namespace sorvelin;

namespace {

SongFileData Sample() {
    SongFileData song;
    song.MouseX = "-0.6";
    song.MouseY = "0.0";
    song.RectWidth = "2.4";
    song.RectHeight = "2.4";
    song.StartX = "-1.8";
    song.StartY = "-1.19";
    song.EndX = "0.59";
    song.EndY = "1.2";
    song.Iteration = "200";
    song.FormulaName = "Julia Set";
    song.PolyphonicMethod = 2;
    song.XShift = 7;
    song.YShift = 0;
    song.LineStartX = 0;
    song.LineStartY = 239;
    song.LineEndX = 239;
    song.LineEndY = 0;
    song.NotesPerPart = 64;
    song.LongLimit = "240";
    song.DynamicAssign = true;
    song.OoR = 1;
    song.IterationLimit = 2;
    song.ContinuousNumberAssgn = 1;
    song.Notesare = 0;
    song.ScaleName = "C Major";
    song.RhythmName = "16th note";
    song.Parts = DefaultPartSettings();
    song.Parts[3].UsePart = true;
    song.Parts[3].Octave = -2;
    song.Parts[15].Reserved1 = -5;
    song.HasJuliaConstant = true;
    song.JuliaX = -0.75;
    song.JuliaY = 0.1;
    return song;
}

std::string RefusalOf(const std::vector<std::string>& lines) {
    std::vector<std::string> messages;
    try {
        ParseSongFile(lines, messages);
    } catch (const UserError& error) {
        EXPECT_TRUE(messages.empty());
        return error.what();
    }
    return "";
}

} // namespace

TEST(SongFile, LayoutPutsEachValueOnItsLine) {
    const std::vector<std::string> lines = FormatSongFile(Sample());
    ASSERT_EQ(lines.size(), 141u);
    EXPECT_EQ(lines[0], "0000");
    EXPECT_EQ(lines[1], "-0.6");
    EXPECT_EQ(lines[9], "200");
    EXPECT_EQ(lines[10], "Julia Set");
    EXPECT_EQ(lines[11], "2");
    EXPECT_EQ(lines[15], "239");
    EXPECT_EQ(lines[18], "64");
    EXPECT_EQ(lines[19], "240");
    EXPECT_EQ(lines[20], "1");
    EXPECT_EQ(lines[25], "C Major");
    EXPECT_EQ(lines[26], "16th note");
    // Part 1 starts at line 28, part 4 at line 28 + 21.
    EXPECT_EQ((std::vector<std::string>(lines.begin() + 27, lines.begin() + 34)),
              (std::vector<std::string>{"1", "0", "0", "64", "100", "127", "0"}));
    EXPECT_EQ((std::vector<std::string>(lines.begin() + 48, lines.begin() + 55)),
              (std::vector<std::string>{"1", "3", "15", "35", "100", "127", "-2"}));
    EXPECT_EQ(lines[138], "0"); // part 16 octave
    EXPECT_EQ(lines[139], "-0.75");
    EXPECT_EQ(lines[140], "0.1");
}

TEST(SongFile, FormatThenParseGivesTheSameSong) {
    std::vector<std::string> messages;
    EXPECT_EQ(ParseSongFile(FormatSongFile(Sample()), messages), Sample());
    EXPECT_TRUE(messages.empty());
}

TEST(SongFile, OlderFilesWithoutJuliaLinesAndTrailingLinesLoad) {
    std::vector<std::string> lines = FormatSongFile(Sample());
    lines.resize(139);
    std::vector<std::string> messages;
    SongFileData song = ParseSongFile(lines, messages);
    EXPECT_FALSE(song.HasJuliaConstant);
    EXPECT_TRUE(messages.empty());

    lines = FormatSongFile(Sample());
    lines.push_back("");
    song = ParseSongFile(lines, messages);
    EXPECT_TRUE(song.HasJuliaConstant);
    EXPECT_EQ(song.JuliaX, -0.75);

    lines[139] = "x";
    song = ParseSongFile(lines, messages);
    EXPECT_FALSE(song.HasJuliaConstant);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find("Julia constant"), std::string::npos);
}

TEST(SongFile, PlayingOptionsAreWrittenOnlyWhenOneIsChanged) {
    struct Case {
        int tempo;
        int velocity;
        bool loop;
        std::vector<std::string> extra; // lines 142 to 144
    };
    const Case cases[] = {
        {120, VelocityFixed, false, {}},
        {90, VelocityFixed, false, {"90", "0", "0"}},
        {120, VelocityFromSeries, false, {"120", "1", "0"}},
        {120, VelocityFixed, true, {"120", "0", "1"}},
        {300, VelocityFromSeries, true, {"300", "1", "1"}},
    };
    for (const Case& c : cases) {
        SongFileData song = Sample();
        song.Tempo = c.tempo;
        song.Velocity = c.velocity;
        song.Loop = c.loop;
        const std::vector<std::string> lines = FormatSongFile(song);
        ASSERT_EQ(lines.size(), 141 + c.extra.size()) << c.tempo;
        EXPECT_EQ(std::vector<std::string>(lines.begin() + 141, lines.end()), c.extra);
        std::vector<std::string> messages;
        EXPECT_EQ(ParseSongFile(lines, messages), song) << c.tempo;
        // A reader that stops at line 141 sees the song without them.
        const std::vector<std::string> head(lines.begin(), lines.begin() + 141);
        EXPECT_EQ(ParseSongFile(head, messages), Sample());
        EXPECT_TRUE(messages.empty());
    }
    // Lines present in part, empty or of blanks only: the others keep their
    // defaults; a later version's lines after 144 are not read.
    const struct {
        std::vector<std::string> extra;
        int tempo;
        int velocity;
    } partial[] = {
        {{"75"}, 75, VelocityFixed},
        {{"", "1"}, 120, VelocityFromSeries},
        {{" \t", "  ", "\t"}, 120, VelocityFixed},
        {{"   ", " 1 ", ""}, 120, VelocityFromSeries},
        {{"90", "0", "0", "anything", "x"}, 90, VelocityFixed},
    };
    for (const auto& c : partial) {
        std::vector<std::string> lines = FormatSongFile(Sample());
        lines.insert(lines.end(), c.extra.begin(), c.extra.end());
        std::vector<std::string> messages;
        const SongFileData song = ParseSongFile(lines, messages);
        EXPECT_EQ(song.Tempo, c.tempo) << c.extra.size();
        EXPECT_EQ(song.Velocity, c.velocity) << c.extra.size();
        EXPECT_FALSE(song.Loop);
        EXPECT_TRUE(messages.empty());
    }
}

TEST(SongFile, NewerVersionLoadsWithItsMessage) {
    std::vector<std::string> lines = FormatSongFile(Sample());
    lines[0] = "0001";
    std::vector<std::string> messages;
    EXPECT_EQ(ParseSongFile(lines, messages).Version, 1);
    EXPECT_EQ(messages, std::vector<std::string>{"File saved with newer version.\nSome "
                                                 "information may be lost"});
    lines[0] = "-3";
    messages.clear();
    ParseSongFile(lines, messages);
    EXPECT_TRUE(messages.empty());
}

TEST(SongFile, IndexesAndPositionsAreKeptWithinTheirControls) {
    struct Case {
        int line;
        std::string text;
        int SongFileData::*field;
        int expected;
    };
    const Case cases[] = {
        {22, "7", &SongFileData::OoR, 1},
        {22, "-4", &SongFileData::OoR, 0},
        {12, "9", &SongFileData::PolyphonicMethod, 2},
        {23, "3", &SongFileData::IterationLimit, 2},
        {24, "99", &SongFileData::ContinuousNumberAssgn, 2},
        {25, "-1", &SongFileData::Notesare, 0},
        {13, "250", &SongFileData::XShift, 100},
        {14, "-1", &SongFileData::YShift, 0},
    };
    for (const Case& c : cases) {
        std::vector<std::string> lines = FormatSongFile(Sample());
        lines[static_cast<std::size_t>(c.line - 1)] = c.text;
        std::vector<std::string> messages;
        EXPECT_EQ(ParseSongFile(lines, messages).*c.field, c.expected) << c.line << " " << c.text;
    }
}

TEST(SongFile, HarmlessPartValuesLoadAsTheyAre) {
    std::vector<std::string> lines = FormatSongFile(Sample());
    lines[28 + 7 * 2 - 1] = "5"; // use flag of part 3
    lines[34 + 7 * 2 - 1] = "2"; // octave of part 3: the highest
    lines[28 + 7 * 0 - 1] = "0"; // part 1 not used
    std::vector<std::string> messages;
    const SongFileData song = ParseSongFile(lines, messages);
    EXPECT_TRUE(song.Parts[2].UsePart);
    EXPECT_EQ(song.Parts[2].Octave, 2);
    EXPECT_FALSE(song.Parts[0].UsePart);
}

TEST(SongFile, DamagedFilesAreRefusedNamingTheLine) {
    struct Case {
        int line; // 0: cut the file to 100 lines
        std::string text;
        std::string message;
    };
    const Case cases[] = {
        {0, "", "This song file has 100 lines; a song file has 139.\nThe song was not loaded."},
        {1, "x", "Line 1 (version): \"x\" is not an integer.\nThe song was not loaded."},
        {2, "", "Line 2 (view centre x): \"\" is not a number.\nThe song was not loaded."},
        {10, "2e2",
         "Line 10 (iteration limit): \"2e2\" is not an integer.\nThe song was not "
         "loaded."},
        {19, "1",
         "Line 19 (notes per part): 1 is outside 2 to 1000000.\nThe song was not "
         "loaded."},
        {29, "16", "Line 29 (MIDI channel): 16 is outside 0 to 15.\nThe song was not loaded."},
        {36, "-1", "Line 36 (MIDI channel): -1 is outside 0 to 15.\nThe song was not loaded."},
        {30, "128", "Line 30 (program): 128 is outside 0 to 127.\nThe song was not loaded."},
        {136, "200", "Line 136 (pan): 200 is outside 0 to 127.\nThe song was not loaded."},
        {139, "1.5", "Line 139 (octave): \"1.5\" is not an integer.\nThe song was not loaded."},
        {34, "3", "Line 34 (octave): 3 is outside -2 to 2.\nThe song was not loaded."},
        {41, "-3", "Line 41 (octave): -3 is outside -2 to 2.\nThe song was not loaded."},
        {20, "nan", "Line 20 (length limit): \"nan\" is not an integer.\nThe song was not loaded."},
        {20, "0x10",
         "Line 20 (length limit): \"0x10\" is not an integer.\nThe song was not loaded."},
        {20, "", "Line 20 (length limit): \"\" is not an integer.\nThe song was not loaded."},
        {142, "19", "Line 142 (tempo): 19 is outside 20 to 300.\nThe song was not loaded."},
        {142, "301", "Line 142 (tempo): 301 is outside 20 to 300.\nThe song was not loaded."},
        {142, "anything",
         "Line 142 (tempo): \"anything\" is not an integer.\nThe song was not loaded."},
        {143, "2", "Line 143 (velocity mode): 2 is outside 0 to 1.\nThe song was not loaded."},
        {144, "-1", "Line 144 (loop): -1 is outside 0 to 1.\nThe song was not loaded."},
        {11, std::string(MaxLineBytes + 1, 'F'),
         "Line 11: the line holds 4097 bytes; a line holds at most 4096.\nThe song was not "
         "loaded."},
        {10, "2x" + std::string(1 << 20, '0'),
         "Line 10: the line holds 1048578 bytes; a line holds at most 4096.\nThe song was not "
         "loaded."},
    };
    for (const Case& c : cases) {
        SongFileData song = Sample();
        song.Loop = c.line > 141; // so that lines 142 to 144 are written
        std::vector<std::string> lines = FormatSongFile(song);
        if (c.line == 0) {
            lines.resize(100);
        } else {
            lines[static_cast<std::size_t>(c.line - 1)] = c.text;
        }
        EXPECT_EQ(RefusalOf(lines), c.message);
    }
}
