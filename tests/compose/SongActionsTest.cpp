#include "compose/SongActions.h"

#include "base/TextFile.h"

#include "support/TempDir.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

#include <gtest/gtest.h>
#include <unistd.h>

using namespace sorvelin;
using sorvelin::test::TempDir;
namespace fs = std::filesystem;

namespace {

// The three windows' models as the program has them after start-up.
struct Program {
    ExplorerModel explorer;
    ComposeModel compose;
    PartSettingsTable parts = DefaultPartSettings();
    RenderedSong song;

    Program() { explorer.ZoomIn(); }

    std::string Midi() {
        RenderPlaySong(song, explorer, compose, parts);
        return song.MidiFileBytes();
    }
};

// A composition made by hand: a Julia set, a line, options and parts.
void Compose(Program& p) {
    p.explorer.SelectFormula(1);
    p.explorer.SetJuliaConstant(-0.8, 0.156);
    p.explorer.Fields().Iteration = "150";
    p.explorer.ZoomIn();
    p.explorer.PressPicture(10, 200);
    p.explorer.DragOnPicture(230, 40);
    p.explorer.ReleasePicture(230, 40);
    p.explorer.Fields().PolyphonicMethodIndex = 1;
    p.explorer.SetXShift(30);
    p.compose.Controls.NoteCount = "64";
    p.compose.NoteCountChange();
    p.compose.Controls.OoR = Compress;
    p.compose.Controls.LongLimit = "120";
    p.compose.Controls.Notesare = LengthDontCare;
    p.parts[2].UsePart = true;
    p.parts[2].Octave = -1;
    p.parts[1].Program = 33;
    ComposeSeries(p.explorer, p.compose);
}

void ExpectSameState(Program& a, Program& b) {
    const ExplorerFields& fa = a.explorer.Fields();
    const ExplorerFields& fb = b.explorer.Fields();
    for (auto field : {&ExplorerFields::MouseX, &ExplorerFields::MouseY, &ExplorerFields::RectWidth,
                       &ExplorerFields::RectHeight, &ExplorerFields::posX, &ExplorerFields::posY,
                       &ExplorerFields::RangeX, &ExplorerFields::RangeY, &ExplorerFields::StartX,
                       &ExplorerFields::StartY, &ExplorerFields::EndX, &ExplorerFields::EndY,
                       &ExplorerFields::Iteration, &ExplorerFields::XShiftEdit1}) {
        EXPECT_EQ(fa.*field, fb.*field);
    }
    EXPECT_EQ(fa.ComboBox1Index, fb.ComboBox1Index);
    EXPECT_EQ(fa.PolyphonicMethodIndex, fb.PolyphonicMethodIndex);
    EXPECT_EQ(fa.XShiftTrackBar1Position, fb.XShiftTrackBar1Position);
    EXPECT_EQ(a.explorer.JuliaX(), b.explorer.JuliaX());
    EXPECT_EQ(a.explorer.JuliaY(), b.explorer.JuliaY());
    EXPECT_EQ(a.explorer.Engine().GetLimit(), b.explorer.Engine().GetLimit());
    EXPECT_EQ(a.explorer.Series().Values(), b.explorer.Series().Values());
    EXPECT_EQ(a.compose.Controls, b.compose.Controls);
    EXPECT_EQ(a.compose.NotesPerPart, b.compose.NotesPerPart);
    EXPECT_EQ(a.parts, b.parts);
}

} // namespace

TEST(SongActions, SaveThenLoadRecomputesTheSameComposition) {
    TempDir dir;
    Program made;
    Compose(made);
    const fs::path file = dir.path / "tune.svl";
    SaveSong(file, made.explorer, made.compose, made.parts);
    EXPECT_EQ(ReadLines(file).size(), 141u);

    Program loaded;
    const LoadSongResult result = LoadSong(file, loaded.explorer, loaded.compose, loaded.parts);
    EXPECT_TRUE(result.Loaded);
    EXPECT_TRUE(result.Messages.empty());
    ExpectSameState(made, loaded);
    EXPECT_EQ(loaded.explorer.Series().Length(), 16 * 64);
    EXPECT_EQ(made.Midi(), loaded.Midi());
}

TEST(SongActions, JuliaConstantIsKeptWhenTheFileHasNoJuliaLines) {
    TempDir dir;
    Program made;
    Compose(made);
    std::vector<std::string> lines =
        FormatSongFile(SongFromState(made.explorer, made.compose, made.parts));
    lines.resize(SongFileLines);
    Program loaded;
    loaded.explorer.SetJuliaConstant(0.25, -0.5);
    EXPECT_TRUE(LoadSongLines(lines, loaded.explorer, loaded.compose, loaded.parts).Loaded);
    EXPECT_EQ(loaded.explorer.JuliaX(), 0.25);
    EXPECT_EQ(loaded.explorer.JuliaY(), -0.5);
    EXPECT_NE(loaded.explorer.Series().Values(), made.explorer.Series().Values());
}

TEST(SongActions, DamagedFileChangesNothing) {
    Program made;
    Compose(made);
    std::vector<std::string> lines =
        FormatSongFile(SongFromState(made.explorer, made.compose, made.parts));
    Program current;
    Compose(current);
    current.explorer.Fields().Iteration = "99";
    current.compose.Controls.OoR = WrapAround;
    current.parts[5].UsePart = true;
    Program untouched;
    Compose(untouched);
    untouched.explorer.Fields().Iteration = "99";
    untouched.compose.Controls.OoR = WrapAround;
    untouched.parts[5].UsePart = true;

    struct Case {
        int line; // 0: only 100 lines
        std::string text;
        std::string message;
    };
    const Case cases[] = {
        {0, "", "This song file has 100 lines; a song file has 139.\nThe song was not loaded."},
        {30, "200", "Line 30 (program): 200 is outside 0 to 127.\nThe song was not loaded."},
    };
    for (const Case& c : cases) {
        std::vector<std::string> damaged = lines;
        if (c.line == 0) {
            damaged.resize(100);
        } else {
            damaged[static_cast<std::size_t>(c.line - 1)] = c.text;
        }
        const LoadSongResult result =
            LoadSongLines(damaged, current.explorer, current.compose, current.parts);
        EXPECT_FALSE(result.Loaded);
        EXPECT_EQ(result.Messages, std::vector<std::string>{c.message});
        ExpectSameState(current, untouched);
    }
    TempDir dir;
    const LoadSongResult missing =
        LoadSong(dir.path / "none.svl", current.explorer, current.compose, current.parts);
    EXPECT_FALSE(missing.Loaded);
    ASSERT_EQ(missing.Messages.size(), 1u);
    ExpectSameState(current, untouched);
}

TEST(SongActions, NamesNotFoundAreReportedAndLoadingGoesOn) {
    TempDir dir;
    WriteLinesAtomic(dir.path / "rhythm.cfg", {"header", "\"Quarter\",120"});
    WriteLinesAtomic(dir.path / "scale.cfg", {"header", "\"Low\",36,38", "\"High\",84,86"});
    Program program;
    program.compose.LoadTableFiles({dir.path});
    program.compose.Controls.ScaleComboBox1 = 1;
    program.compose.ScaleComboBox1Change();

    SongFileData song = SongFromState(program.explorer, program.compose, program.parts);
    song.FormulaName = "z1=z0^5";
    song.ScaleName = "Gone";
    song.RhythmName = "16th note";
    song.OoR = 7;
    song.Parts[4].UsePart = true;
    song.Parts[4].Octave = -2;
    std::vector<std::string> lines = FormatSongFile(song);
    lines[0] = "0001";
    lines[28 + 7 * 4 - 1] = "5"; // a use flag of 5 is "used"

    const LoadSongResult result =
        LoadSongLines(lines, program.explorer, program.compose, program.parts);
    EXPECT_TRUE(result.Loaded);
    EXPECT_EQ(result.Messages,
              (std::vector<std::string>{"File saved with newer version.\nSome information may "
                                        "be lost",
                                        "Sorry, Couldn't find function name:z1=z0^5",
                                        "Sorry, Couldn't find Scale:Gone",
                                        "Sorry, Couldn't find Rhythm.16th note"}));
    EXPECT_EQ(program.explorer.Fields().ComboBox1Index, -1);
    EXPECT_EQ(program.explorer.Engine().FormulaIndex(), 0);
    EXPECT_EQ(program.compose.Controls.ScaleComboBox1, -1);
    EXPECT_EQ(program.compose.Controls.RhytmComboBox2, -1);
    EXPECT_EQ(program.compose.Scale.ScaleNotes, (std::vector<int>{84, 86}));
    EXPECT_EQ(program.compose.Rhythm.RhythmTicks, std::vector<int>{120});
    EXPECT_EQ(program.compose.Controls.OoR, Compress);
    EXPECT_TRUE(program.parts[4].UsePart);
    EXPECT_EQ(program.parts[4].Octave, -2);
    // Saving now writes empty names, which a later load reports as not found.
    const SongFileData again = SongFromState(program.explorer, program.compose, program.parts);
    EXPECT_EQ(again.FormulaName, "");
    EXPECT_EQ(again.ScaleName, "");
    EXPECT_EQ(again.RhythmName, "");
    // The song still renders with the arrays in force.
    EXPECT_FALSE(program.Midi().empty());
}

// Every value Save Song writes, spoiled as a user or a broken table could
// spoil it: Save Song either refuses with a message naming the value and
// writes nothing, or writes a file that Load Song loads.
TEST(SongActions, SaveSongWritesOnlyWhatLoadSongLoads) {
    using Spoil = std::function<void(Program&)>;
    const auto field = [](std::string ExplorerFields::*f, const char* text) {
        return [f, text](Program& p) { p.explorer.Fields().*f = text; };
    };
    const struct {
        Spoil spoil;
        const char* refusal; // the message's start, nullptr: saved and loads
    } cases[] = {
        {field(&ExplorerFields::posX, "abc"), "View centre x: \"abc\" is not a number."},
        {field(&ExplorerFields::RangeY, "1,5"), "View height: "},
        {field(&ExplorerFields::StartX, "x"), nullptr},
        {field(&ExplorerFields::Iteration, "2x"), "Iteration limit: \"2x\" is not an integer."},
        {[](Program& p) { p.compose.NotesPerPart = 1; },
         "Notes per part: 1 is outside 2 to 1000000.\nThe song was not saved."},
        {[](Program& p) { p.compose.Controls.LongLimit = "0x10"; }, "Length limit: "},
        {[](Program& p) { p.compose.Controls.OoR = 9; }, nullptr},
        {[](Program& p) { p.parts[3].Channel = 16; }, "MIDI channel: 16 is outside 0 to 15."},
        {[](Program& p) { p.parts[0].Octave = 3; }, "Octave: 3 is outside -2 to 2."},
        {[](Program& p) { p.explorer.Fields().StartY = "1\r\n2"; }, "A text holds a line break."},
        {[](Program& p) { p.explorer.Fields().StartY = std::string(5000, '1'); },
         "A text is too long: "},
    };
    for (const auto& c : cases) {
        TempDir dir;
        const fs::path file = dir.path / "song.svl";
        Program made;
        Compose(made);
        c.spoil(made);
        std::string refusal;
        try {
            SaveSong(file, made.explorer, made.compose, made.parts);
        } catch (const UserError& error) {
            refusal = error.what();
        }
        const std::string expected = c.refusal != nullptr ? c.refusal : "";
        SCOPED_TRACE(expected);
        if (c.refusal == nullptr) {
            EXPECT_EQ(refusal, "");
            Program loaded;
            const LoadSongResult result =
                LoadSong(file, loaded.explorer, loaded.compose, loaded.parts,
                         [](const std::string&) { return true; });
            EXPECT_TRUE(result.Loaded) << (result.Messages.empty() ? "" : result.Messages.back());
        } else {
            EXPECT_EQ(refusal.substr(0, expected.size()), expected);
            EXPECT_TRUE(refusal.ends_with("\nThe song was not saved.")) << refusal;
            EXPECT_FALSE(fs::exists(file));
        }
    }
}

TEST(SongActions, SongFilesFromOtherEditorsAndDamagedOnes) {
    TempDir dir;
    Program made;
    Compose(made);
    const std::string text =
        JoinLinesCrLf(FormatSongFile(SongFromState(made.explorer, made.compose, made.parts)));
    // A byte-order mark before the first line is no part of it.
    WriteFileAtomic(dir.path / "bom.svl", "\xEF\xBB\xBF" + text);
    Program loaded;
    EXPECT_TRUE(
        LoadSong(dir.path / "bom.svl", loaded.explorer, loaded.compose, loaded.parts).Loaded);
    ExpectSameState(made, loaded);
    // A line of megabytes is refused naming the file and the line, unquoted.
    std::vector<std::string> lines = SplitLines(text);
    lines[11] = std::string(2 << 20, '7');
    WriteLinesAtomic(dir.path / "long.svl", lines);
    const LoadSongResult result =
        LoadSong(dir.path / "long.svl", loaded.explorer, loaded.compose, loaded.parts);
    EXPECT_FALSE(result.Loaded);
    EXPECT_EQ(result.Messages,
              std::vector<std::string>{"long.svl, line 12: the line holds 2097152 bytes; a line "
                                       "holds at most 4096.\nThe song was not loaded."});
}

TEST(SongActions, ASongTooLongForAMidiFileNamesTheSongAndTheRhythm) {
    TempDir dir;
    WriteLinesAtomic(dir.path / "rhythm.cfg", {"header", "\"Eternal\",2147483647"});
    Program made;
    Compose(made);
    made.compose.LoadTableFiles({dir.path});
    SaveSong(dir.path / "forever.svl", made.explorer, made.compose, made.parts);
    Program loaded;
    loaded.compose.LoadTableFiles({dir.path});
    ASSERT_TRUE(
        LoadSong(dir.path / "forever.svl", loaded.explorer, loaded.compose, loaded.parts).Loaded);
    try {
        RenderPlaySong(loaded.song, loaded.explorer, loaded.compose, loaded.parts);
        ADD_FAILURE() << "rendered";
    } catch (const UserError& error) {
        EXPECT_STREQ(error.what(), "The song \"forever.svl\" is too long for a MIDI file: with "
                                   "the rhythm \"Eternal\" a part runs past tick 268434455.");
    }
}

// Load Song's recompute cancelled on its worker: the models keep the previous
// composition exactly, and there is nothing to tell the user.
TEST(SongActions, CancelledLoadLeavesThePreviousComposition) {
    Program current;
    Compose(current);
    Program reference;
    Compose(reference);
    Program other;
    other.explorer.Fields().Iteration = "2000000000";
    other.explorer.ZoomIn();
    // Across the main cardioid of the start-up view: every point runs on.
    other.explorer.SetLine({140, 115, 165, 125});
    const std::vector<std::string> lines =
        FormatSongFile(SongFromState(other.explorer, other.compose, other.parts));

    bool started = false;
    const LoadSongResult result = LoadSongLines(
        lines, current.explorer, current.compose, current.parts,
        [](const std::string&) { return true; },
        [&started](const LongWork& work) {
            BackgroundWork worker(work);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            started = !worker.Done();
            worker.Cancel();
            worker.Finish();
        });
    EXPECT_TRUE(started);
    EXPECT_TRUE(result.Cancelled);
    EXPECT_FALSE(result.Loaded);
    EXPECT_TRUE(result.Messages.empty());
    ExpectSameState(current, reference);
    EXPECT_EQ(current.Midi(), reference.Midi());
}
