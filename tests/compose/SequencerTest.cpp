#include "compose/Sequencer.h"

#include "base/Errors.h"
#include "midi/Mididata.h"

#include <gtest/gtest.h>

using namespace sorvelin;

namespace {

constexpr int Limit = 1000;

// The track's events as short texts: "bend <time> <value>", "note <time>
// <key> <duration>".
std::vector<std::string> Events(const midiTrack& track) {
    std::vector<std::string> texts;
    for (int i = 0; i < track.Count(); ++i) {
        const anyEvent* event = track.EventAt(i);
        if (const auto* bend = dynamic_cast<const PitchBendEvent*>(event)) {
            texts.push_back("bend " + std::to_string(bend->time) + " " +
                            std::to_string(bend->bend));
        } else if (const auto* note = dynamic_cast<const NoteOnEvent*>(event)) {
            texts.push_back("note " + std::to_string(note->time) + " " + std::to_string(note->key) +
                            " " + std::to_string(note->duration));
        }
    }
    return texts;
}

struct SeqRun {
    std::vector<std::string> events;
    int end = 0;
};

struct Part {
    ScaleData scale = ParseScaleEntry(BuiltInScaleLine, 1);
    std::vector<int> rhythm{30};
    ComposeControls controls;
    int octave = 0;
    int channel = 0;

    SeqRun operator()(const std::vector<std::int32_t>& row) const {
        midiSong song;
        song.RebuildBarTable();
        midiTrack track(&song, 1, "");
        const AssignLists lists = BuildAssignLists(scale.ScaleNotes, {});
        const NoteMapper mapper(scale, lists, controls, Limit);
        SeqRun run;
        run.end = RunSequencer(track, row, channel, octave, mapper, rhythm);
        run.events = Events(track);
        return run;
    }
};

using Texts = std::vector<std::string>;

} // namespace

TEST(Sequencer, EqualValuesSlurIntoOneNoteAndANewValueStrikesAgain) {
    const SeqRun run = Part{}({7, 7, 7, 22});
    EXPECT_EQ(run.events, (Texts{"bend 479 8192", "note 480 60 87", "note 570 60 27"}));
    EXPECT_EQ(run.end, 600);
}

TEST(Sequencer, SkippedStepsKeepTimeAndTheRhythmIndex) {
    Part setup;
    setup.rhythm = {120, 60};
    setup.controls.ContinuousNumberAssgn = ContinuousSkip;
    // Scale index 5 of C Major is 57, index 9 is 64.
    const SeqRun run = setup({5, 5, 9});
    EXPECT_EQ(run.events, (Texts{"bend 479 8192", "note 480 57 108", "note 600 64 54"}));
    EXPECT_EQ(run.end, 660);
}

TEST(Sequencer, RestMovesTimeAndDoesNotBreakTheSlur) {
    Part setup;
    setup.rhythm = {120};
    const SeqRun rest = setup({5, Limit, 5});
    EXPECT_EQ(rest.events, (Texts{"bend 479 8192", "note 480 57 228"}));
    EXPECT_EQ(rest.end, 840);

    setup.controls.IterationLimit = LimitSkip;
    const SeqRun skip = setup({5, Limit, 5});
    EXPECT_EQ(skip.events, (Texts{"bend 479 8192", "note 480 57 228"}));
    EXPECT_EQ(skip.end, 720);

    setup.controls.IterationLimit = LimitNote; // N - 1 = 14: the last entry, 72
    const SeqRun note = setup({5, Limit, 5});
    EXPECT_EQ(note.events,
              (Texts{"bend 479 8192", "note 480 57 108", "note 600 72 108", "note 720 57 108"}));
}

TEST(Sequencer, OverLengthLimitChoices) {
    struct Case {
        int choice;
        Texts events;
        int end;
    };
    const Case cases[] = {
        {LengthShorten, {"bend 479 8192", "note 480 57 108"}, 600},
        {LengthDivide,
         {"bend 479 8192", "note 480 57 108", "note 600 57 108", "note 720 57 108"},
         840},
        {LengthDontCare, {"bend 479 8192", "note 480 57 348"}, 840},
    };
    for (const Case& c : cases) {
        Part setup;
        setup.rhythm = {120};
        setup.controls.LongLimit = "200";
        setup.controls.Notesare = c.choice;
        const SeqRun run = setup({5, 5, 5});
        EXPECT_EQ(run.events, c.events) << c.choice;
        EXPECT_EQ(run.end, c.end) << c.choice;
    }
}

TEST(Sequencer, NewNoteOptionStrikesEveryEqualValue) {
    Part setup;
    setup.controls.ContinuousNumberAssgn = ContinuousNewNote;
    EXPECT_EQ(setup({7, 7}).events, (Texts{"bend 479 8192", "note 480 60 27", "note 510 60 27"}));
}

TEST(Sequencer, VelocityIsFixedOrRisesWithTheValueUpToTheLimit) {
    struct Case {
        int mode;
        std::int32_t value;
        int limit;
        int velocity;
    };
    const Case cases[] = {
        {VelocityFixed, 0, 1000, 100},         {VelocityFixed, 1000, 1000, 100},
        {VelocityFromSeries, 0, 1000, 40},     {VelocityFromSeries, 1000, 1000, 127},
        {VelocityFromSeries, 500, 1000, 83}, // 43.5 truncated
        {VelocityFromSeries, 1, 3, 69},        {VelocityFromSeries, -7, 1000, 40},
        {VelocityFromSeries, 5000, 1000, 127},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(NoteVelocity(c.mode, c.value, c.limit), c.velocity)
            << c.mode << " " << c.value << " / " << c.limit;
    }
    // The notes of a part carry it: each struck by its own value.
    Part setup;
    setup.controls.Velocity = VelocityFromSeries;
    midiSong song;
    song.RebuildBarTable();
    midiTrack track(&song, 1, "");
    const AssignLists lists = BuildAssignLists(setup.scale.ScaleNotes, {});
    RunSequencer(track, std::vector<std::int32_t>{0, 500, 999}, 0, 0,
                 NoteMapper(setup.scale, lists, setup.controls, Limit), setup.rhythm);
    std::vector<int> velocities;
    for (int i = 0; i < track.Count(); ++i) {
        if (const auto* note = dynamic_cast<const NoteOnEvent*>(track.EventAt(i))) {
            velocities.push_back(note->velocity);
        }
    }
    EXPECT_EQ(velocities, (std::vector<int>{40, 83, 126}));
}

TEST(Sequencer, OctavesFoldIntoTheMidiRange) {
    struct Case {
        std::string scale;
        int octave;
        int key;
    };
    const Case cases[] = {{"s,5", -1, 5},        {"s,120", 1, 120}, {"s,60", 2, 84},
                          {"s,60", -2, 36},      {"s,127", 7, 127}, {"s,1", -9, 1},
                          {"s,64", 1000000, 124}};
    for (const Case& c : cases) {
        Part setup;
        setup.scale = ParseScaleEntry(c.scale, 1);
        setup.octave = c.octave;
        const SeqRun run = setup({0});
        ASSERT_EQ(run.events.size(), 2u);
        EXPECT_EQ(run.events[1], "note 480 " + std::to_string(c.key) + " 27")
            << c.scale << " octave " << c.octave;
    }
}

TEST(Sequencer, MicrotonalScaleSendsTheWheelBeforeEachChangedOffset) {
    Part setup;
    setup.scale = ParseScaleEntry("\"Five-Tone\",60,61+30,63-20,67,68+10", 1);
    setup.channel = 3;
    const SeqRun run = setup({0, 3, 1, 1, 2, 0});
    EXPECT_EQ(run.events, (Texts{"bend 479 8192", "note 480 60 21", "note 510 67 21",
                                 "bend 539 9420", "note 540 61 51", "bend 599 7373",
                                 "note 600 63 21", "bend 629 8192", "note 630 60 21"}));
}

TEST(Sequencer, EmptyRowMakesNothing) {
    const SeqRun run = Part{}({});
    EXPECT_TRUE(run.events.empty());
    EXPECT_EQ(run.end, 480);
}

TEST(Sequencer, LengthLimitTextIsReadOnlyWhenANoteWouldLengthen) {
    Part setup;
    setup.controls.LongLimit = "abc";
    EXPECT_EQ(setup({1, 2, 3}).end, 570);
    EXPECT_THROW(setup({1, 2, 2}), ConvertError);
}

TEST(Sequencer, SongsTooLongForAMidiFileAreRefused) {
    Part part;
    part.rhythm = {100000000};
    EXPECT_EQ(part({0, 1}).end, 200000480);
    EXPECT_THROW(part({0, 1, 2}), UserError);
}
