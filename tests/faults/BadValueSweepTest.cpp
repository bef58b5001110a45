// Bad values reach no MIDI byte: song files with an out-of-range value on any
// line, and scale and rhythm entries with out-of-range notes, cents and
// durations, are loaded, rendered, written as a MIDI file and played. Every
// status byte written or sent is well formed, every data byte is below 128
// and every note ends.
#include "base/Convert.h"
#include "base/Errors.h"
#include "compose/SongActions.h"
#include "fractal/Iteration.h"
#include "support/PlaybackTestSupport.h"
#include "support/SoundCheck.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace sorvelin;
using namespace sorvelin::testing;

namespace {

const std::vector<std::string> BadNumbers = {
    "-1", "128", "255", "256", "-129", "16", "17", "65535", "-2147483648", "2147483647", "3", "-3",
};

constexpr std::size_t NoteCountLine = 19;

const std::vector<std::string> GoodScales = {
    "\"Good\",48,50,52,53,55,57,59,60,62,64,65,67,69,71,72",
    "\"Extremes\",0,1,127,126+199,1-200,60+199,60-200",
};

const std::vector<std::string> BadScales = {
    "\"Bad\",300",    "\"Bad\",-5",      "\"Bad\",60+500",        "\"Bad\",60-300",
    "\"Bad\",0,0,0",  "\"Bad\",128,200", "\"Bad\",60+2147483647", "\"Bad\",2147483647",
    "\"Bad\",60,,62", "\"Bad\"",         "\"Bad\",60-",           "\"Bad\",+5",
};

const std::vector<std::string> GoodRhythms = {"\"Even\",30", "\"Mixed\",1,7,480,2000,30"};

const std::vector<std::string> BadRhythms = {
    "\"Bad\",0", "\"Bad\",-30", "\"Bad\",2147483647", "\"Bad\",30,0", "\"Bad\",x", "\"Bad\"",
};

TableList Table(const std::vector<std::string>& lines) {
    TableList table;
    for (const std::string& line : lines) {
        table.Names.push_back(SplitTableFields(line).at(0));
        table.Lines.push_back(line);
    }
    return table;
}

// Every part used on its own channel with extreme programs, pans and octaves,
// a few notes per part.
SongFileData BaseSong(const std::string& scale, const std::string& rhythm) {
    SongFileData song;
    song.MouseX = "-0.6";
    song.MouseY = "0.0";
    song.RectWidth = "2.4";
    song.RectHeight = "2.4";
    song.StartX = song.StartY = song.EndX = song.EndY = "0.0";
    song.Iteration = "40";
    song.FormulaName = FormulaLabels[0];
    song.LineStartX = 10;
    song.LineStartY = 230;
    song.LineEndX = 200;
    song.LineEndY = 30;
    song.NotesPerPart = 6;
    song.LongLimit = "60";
    song.ScaleName = scale;
    song.RhythmName = rhythm;
    for (int k = 0; k < PartSettingsCount; ++k) {
        PartSettings& part = song.Parts[static_cast<std::size_t>(k)];
        part.UsePart = true;
        part.Channel = static_cast<std::int16_t>(k);
        part.Program = k % 2 == 0 ? 127 : 0;
        part.Pan = k % 3 == 0 ? 127 : 0;
        part.Octave = k % 5 - 2;
    }
    return song;
}

struct Outcome {
    bool loaded = false;
    bool rendered = false;
    std::string why; // the loader's and renderer's messages
};

// Loads, renders, writes and plays one song file with the given tables;
// every byte that leaves the program is checked.
Outcome LoadRenderAndPlay(const std::vector<std::string>& lines,
                          const std::vector<std::string>& scales,
                          const std::vector<std::string>& rhythms, const std::string& what) {
    SCOPED_TRACE(what);
    Outcome outcome;
    ExplorerModel explorer;
    ComposeModel compose;
    compose.ScaleLines = Table(scales);
    compose.RhythmLines = Table(rhythms);
    PartSettingsTable parts = DefaultPartSettings();
    const LoadSongResult result = LoadSongLines(lines, explorer, compose, parts);
    for (const std::string& message : result.Messages) {
        outcome.why += message + "; ";
    }
    if (!result.Loaded) {
        return outcome;
    }
    outcome.loaded = true;
    RenderedSong rendered;
    try {
        RenderPlaySong(rendered, explorer, compose, parts);
    } catch (const std::exception& error) {
        outcome.why += error.what();
        return outcome;
    }
    outcome.rendered = true;
    check::SmfSummary summary;
    EXPECT_EQ(check::CheckSmf(rendered.MidiFileBytes(), summary), "");
    EXPECT_EQ(summary.HangingNotes, 0);

    Bench bench;
    EXPECT_EQ(bench.output.Open(0), 0);
    bench.engine.StartPlayback(rendered.PlayTrack());
    EXPECT_LT(bench.timer.RunAll(100000), 100000);
    EXPECT_FALSE(bench.engine.IsPlaying());
    EXPECT_GT(bench.capture.MessageCount(), 0u);
    EXPECT_EQ(faults::CheckHeard(bench.capture.Messages()), "");
    return outcome;
}

} // namespace

TEST(BadValues, AnOutOfRangeValueOnAnySongLineNeverReachesAMidiByte) {
    const std::vector<std::string> base = FormatSongFile(BaseSong("Extremes", "Mixed"));
    ASSERT_TRUE(LoadRenderAndPlay(base, GoodScales, GoodRhythms, "base song").rendered);
    int loaded = 0;
    int refused = 0;
    for (std::size_t line = 0; line < base.size(); ++line) {
        for (const std::string& value : BadNumbers) {
            // A large note count is valid, only slow to render and play.
            if (line + 1 == NoteCountLine && value.size() > 3) {
                continue;
            }
            std::vector<std::string> lines = base;
            lines[line] = value;
            const Outcome outcome = LoadRenderAndPlay(
                lines, GoodScales, GoodRhythms,
                "line " + IntToStr(static_cast<long long>(line + 1)) + " = " + value);
            outcome.rendered ? ++loaded : ++refused;
            if (::testing::Test::HasFailure()) {
                return; // one report is enough
            }
        }
    }
    // The sweep is only worth its time if both kinds of outcome occur.
    EXPECT_GT(loaded, 0);
    EXPECT_GT(refused, 0);
}

TEST(BadValues, BrokenScaleAndRhythmEntriesNeverReachAMidiByte) {
    std::vector<std::string> scales = GoodScales;
    scales.insert(scales.end(), BadScales.begin(), BadScales.end());
    std::vector<std::string> rhythms = GoodRhythms;
    rhythms.insert(rhythms.end(), BadRhythms.begin(), BadRhythms.end());
    int rendered = 0;
    int refused = 0;
    for (std::size_t s = 0; s < scales.size(); ++s) {
        for (std::size_t r = 0; r < rhythms.size(); ++r) {
            // The song names one entry; the ones before it share the name
            // only when they are the broken entries under test.
            std::vector<std::string> scaleTable = {scales[s]};
            std::vector<std::string> rhythmTable = {rhythms[r]};
            const std::string scaleName = SplitTableFields(scales[s]).at(0);
            const std::string rhythmName = SplitTableFields(rhythms[r]).at(0);
            const Outcome outcome =
                LoadRenderAndPlay(FormatSongFile(BaseSong(scaleName, rhythmName)), scaleTable,
                                  rhythmTable, scales[s] + " with " + rhythms[r]);
            // A broken entry is reported and the built-in arrays stay in
            // force, so every song loads; a song too long for a MIDI file
            // is refused when it is rendered.
            EXPECT_TRUE(outcome.loaded)
                << scales[s] << " with " << rhythms[r] << ": " << outcome.why;
            outcome.rendered ? ++rendered : ++refused;
            if (::testing::Test::HasFailure()) {
                return;
            }
        }
    }
    EXPECT_GT(rendered, 0);
    EXPECT_GT(refused, 0);
}

TEST(BadValues, AnIterationLimitThatMayFreezeTheLoadIsLoadedOnlyWhenConfirmed) {
    struct Case {
        const char* limit;
        int notes;
        long long alwaysPixels;
        bool long_;
    };
    // Weighed at a billion iterations and a microsecond per sample: more than
    // 30 s of (16 x notes + pixels) x limit iterations plus 16 x notes
    // samples is asked about.
    const LongWorkCost speed{0, ComposeSpeed{1e9, 1e-6}};
    for (const Case& c : {Case{"1000000", 200, 0, false}, Case{"5000000", 374, 0, false},
                          Case{"5000000", 376, 0, true}, Case{"2147483647", 2, 0, true},
                          Case{"0", 1000000, 0, false}, Case{"-5", 1000000, 0, false},
                          Case{"256", 1000000, 0, false}, Case{"1000", 1000000, 0, true},
                          Case{"1000000", 200, 57600, true}, Case{"400000", 200, 57600, false}}) {
        SCOPED_TRACE(std::string(c.limit) + " x " + IntToStr(c.notes));
        LongWorkCost cost = speed;
        cost.AlwaysPixels = c.alwaysPixels;
        SongFileData song = BaseSong("Good", "Even");
        song.Iteration = c.limit;
        song.NotesPerPart = c.notes;
        const std::vector<std::string> lines = FormatSongFile(song);
        std::vector<std::string> messages;
        std::vector<std::string> questions;
        const auto answer = [&questions](bool yes) {
            return [&questions, yes](const std::string& question) {
                questions.push_back(question);
                return yes;
            };
        };
        if (!c.long_) {
            EXPECT_NO_THROW(ParseSongFile(lines, messages, {}, cost));
            EXPECT_NO_THROW(ParseSongFile(lines, messages, answer(false), cost));
            EXPECT_TRUE(questions.empty());
            continue;
        }
        EXPECT_THROW(ParseSongFile(lines, messages, {}, cost), UserError);
        try {
            ParseSongFile(lines, messages, answer(false), cost);
            ADD_FAILURE() << "a long song loaded though the user said no";
        } catch (const UserError& error) {
            EXPECT_THAT(error.what(), ::testing::HasSubstr("Line 10 (iteration limit)"));
        }
        EXPECT_EQ(ParseSongFile(lines, messages, answer(true), cost).Iteration, c.limit);
        ASSERT_EQ(questions.size(), 2U);
        EXPECT_THAT(questions[0],
                    ::testing::HasSubstr(std::string("iteration limit ") + c.limit + " with " +
                                         IntToStr(c.notes) + " notes per part"));
    }
}
