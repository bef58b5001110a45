#include "midi/ScoreNotation.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace sorvelin {
namespace {

// A piece as a reader of sheet music names it: "q.", "e 3:2", "s 15:8", "R".
std::string Name(const WrittenPiece& p) {
    static const char* const letters[] = {"w", "h", "q", "e", "s", "t", "x", "y", "z"};
    std::string name = p.wholeBarRest ? "R" : letters[p.value.type];
    name += std::string(static_cast<std::size_t>(p.value.dots), '.');
    if (p.value.actual != 1) {
        name += " " + std::to_string(p.value.actual) + ":" + std::to_string(p.value.normal);
    }
    return name;
}

// The note's chain of written values joined by "~" (its ties), then "|" and
// the rests after it to the end of its last bar.
std::string Chain(int start, int ticks) {
    const NoteSpan note{start, ticks};
    const std::vector<WrittenPiece> pieces =
        WritePart({&note, 1}, ScoreBars({&note, 1}) * ScoreTicksPerBar);
    std::string text;
    for (const WrittenPiece& p : pieces) {
        if (p.start < start) {
            continue;
        }
        if (p.note < 0) {
            text += text.back() == '~' ? "|" : text.find('|') == std::string::npos ? "|" : " ";
        }
        text += Name(p) + (p.tiedToNext ? "~" : "");
    }
    return text;
}

// The written value's ticks, worked out from what it says: a whole note is
// 480 ticks, each dot adds half, a tuplet fits `actual` into `normal`.
long long SaysTicks(const WrittenValue& v) {
    return 480LL * (2 + v.dots) * v.normal / ((2LL << v.type) * v.actual);
}

TEST(ScoreNotation, DurationsFromOneTickToFourBarsAreWrittenAsTheirTieChains) {
    struct Row {
        int start;
        int ticks;
        const char* chain;
    };
    const Row rows[] = {
        {0, 480, "w"},
        {0, 120, "q|q h"}, // the rests show the middle of the bar
        {0, 360, "h.|q"},
        {0, 180, "q.|e h"},
        {0, 90, "e.|s q h"},
        {0, 30, "s|e. q h"},
        {0, 15, "t|s. e q h"},
        {0, 40, "e 3:2|q 3:2 q h"}, // triplets fill their beat
        {0, 80, "q 3:2|e 3:2 q h"},
        {0, 24, "s 5:4|q 5:4 q h"},
        {0, 36, "s. 5:4|e. 5:4 t 5:4 q h"},             // 90 % of a triplet eighth
        {0, 108, "q 5:4~t 5:4|t 5:4 q h"},              // 90 % of a quarter
        {0, 27, "s 5:4~y 5:4|e. 5:4 t. 5:4 y 5:4 q h"}, // 90 % of a 16th
        {0, 5, "x 3:2|q 3:2 s. 3:2 x 3:2 q h"},
        {0, 4, "x 15:8|q. 15:8 s 15:8 x 15:8 q h"},
        {0, 1, "z 15:8|q. 15:8 s 15:8 x. 15:8 z 15:8 q h"},
        {0, 540, "w~e|e q h"}, // tied over the bar line
        {0, 1920, "w~w~w~w"},  // four whole bars
        {0, 1919, "w~w~w~h.~q. 15:8~s 15:8~x. 15:8~z 15:8|z 15:8"},
        {400, 200, "q 3:2~q|q h"}, // from inside beat 4 over the bar line
        {60, 420, "e~q~h"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(Chain(row.start, row.ticks), row.chain) << row.start << "+" << row.ticks;
    }
    // Every duration from one tick to four bars, at the bar line and off
    // it: the chain adds up to the note, every value says its own ticks, tied
    // pieces follow each other, no piece crosses a bar line, and every tuplet
    // group fills one beat.
    for (int start : {0, 1, 40, 465}) {
        for (int ticks = 1; ticks <= 1920; ++ticks) {
            const NoteSpan note{start, ticks};
            const std::int32_t end = ScoreBars({&note, 1}) * ScoreTicksPerBar;
            const std::vector<WrittenPiece> pieces = WritePart({&note, 1}, end);
            long long at = 0, sounding = 0, groupFrom = -1;
            for (std::size_t i = 0; i < pieces.size(); ++i) {
                const WrittenPiece& p = pieces[i];
                ASSERT_EQ(p.start, at);
                ASSERT_EQ(SaysTicks(p.value), p.value.ticks) << Name(p);
                ASSERT_LE(p.start / ScoreTicksPerBar,
                          (p.start + p.value.ticks - 1) / ScoreTicksPerBar);
                ASSERT_EQ(p.start / ScoreTicksPerBar,
                          (p.start + p.value.ticks - 1) / ScoreTicksPerBar);
                if (p.note == 0) {
                    ASSERT_EQ(p.tiedFromPrevious, sounding > 0);
                    sounding += p.value.ticks;
                    ASSERT_EQ(p.tiedToNext, sounding < ticks);
                }
                if (p.tupletStart) {
                    ASSERT_EQ(p.start % ScoreTicksPerBeat, 0);
                    groupFrom = p.start;
                }
                ASSERT_EQ(p.value.actual != 1, groupFrom >= 0);
                at += p.value.ticks;
                if (p.tupletStop) {
                    ASSERT_EQ(at - groupFrom, ScoreTicksPerBeat);
                    groupFrom = -1;
                }
            }
            ASSERT_EQ(sounding, ticks) << start << "+" << ticks;
            ASSERT_EQ(at, end);
        }
    }
}

// Rests fill the gaps, a bar without notes is one bar rest, a note of no
// length is a grace before what starts at its tick, and a note that runs
// into the next one ends where that one starts.
TEST(ScoreNotation, RestsGracesAndOverlapsKeepEveryOnset) {
    const NoteSpan notes[] = {{480, 27}, {510, 0}, {510, 27}, {600, 500}, {650, 10}};
    const std::vector<WrittenPiece> pieces = WritePart(notes, 3 * ScoreTicksPerBar);
    std::vector<std::string> seen;
    for (const WrittenPiece& p : pieces) {
        if (p.note < 0) {
            if (seen.empty() || seen.back()[0] != 'r') {
                seen.push_back("r" + std::to_string(p.start));
            }
            EXPECT_EQ(p.wholeBarRest, p.start % ScoreTicksPerBar == 0 && p.value.ticks == 480);
        } else if (!p.tiedFromPrevious) {
            seen.push_back((p.grace ? "g" : "n") + std::to_string(p.note) + "@" +
                           std::to_string(p.start));
        }
    }
    const std::vector<std::string> expected{"r0",   "n0@480", "r507",   "g1@510", "n2@510",
                                            "r537", "n3@600", "n4@650", "r660"};
    EXPECT_EQ(seen, expected);
    EXPECT_TRUE(pieces[0].wholeBarRest);
}

TEST(ScoreNotation, KeysAreSpelledInCWithTheirCentsAndAccidentals) {
    struct Row {
        int key, cents;
        SpelledPitch pitch;
        const char* alter;
        const char* accidental;
    };
    const Row rows[] = {
        {60, 0, {'C', 4, 0}, "0", "natural"},
        {61, 0, {'C', 4, 100}, "1", "sharp"},
        {63, 0, {'E', 4, -100}, "-1", "flat"},
        {70, 0, {'B', 4, -100}, "-1", "flat"},
        {66, 0, {'F', 4, 100}, "1", "sharp"},
        {60, 30, {'C', 4, 30}, "0.3", "natural-up"}, // a microtonal step
        {61, 30, {'C', 4, 130}, "1.3", "sharp-up"},
        {63, -50, {'E', 4, -150}, "-1.5", "flat-down"},
        {62, -5, {'D', 4, -5}, "-0.05", "natural-down"},
        {127, -200, {'G', 9, -200}, "-2", "natural-down"},
        {0, 0, {'C', -1, 0}, "0", "natural"},
        {11, 0, {'B', -1, 0}, "0", "natural"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.key) + "+" + std::to_string(row.cents));
        const SpelledPitch pitch = SpellPitch(row.key, row.cents);
        EXPECT_EQ(pitch, row.pitch);
        EXPECT_EQ(AlterText(pitch.hundredths), row.alter);
        EXPECT_EQ(AccidentalName(row.key, row.cents), row.accidental);
    }
}

} // namespace
} // namespace sorvelin
