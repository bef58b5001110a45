#include "midi/ScoreNotation.h"

#include <algorithm>
#include <array>
#include <numeric>

namespace sorvelin {
namespace {

// The grid a beat is written in, from the simplest: plain values, then the
// tuplet groups that fill the beat exactly.
enum class Grid { Plain, Triplet, Quintuplet, Fifteen };

struct Ratio {
    int actual;
    int normal;
    int normalType; // the type `normal` of which the group lasts one beat
};

Ratio RatioOf(Grid grid) {
    switch (grid) {
    case Grid::Triplet:
        return {3, 2, 3}; // three eighths in the time of two
    case Grid::Quintuplet:
        return {5, 4, 4}; // five 16ths in the time of four
    case Grid::Fifteen:
        return {15, 8, 5}; // fifteen 32nds in the time of eight
    default:
        return {1, 1, 0};
    }
}

// Ticks of a type with dots under a ratio, or 0 when that is not a whole
// number of ticks.
int ValueTicks(int type, int dots, Ratio ratio) {
    const long long num = static_cast<long long>(ScoreTicksPerBar) * (2 + dots) * ratio.normal;
    const long long den = (2LL << type) * ratio.actual;
    return num % den == 0 ? static_cast<int>(num / den) : 0;
}

// The values that fit in one beat of a grid, longest first.
std::vector<WrittenValue> GridValues(Grid grid, int longest) {
    const Ratio ratio = RatioOf(grid);
    std::vector<WrittenValue> values;
    for (int type = WholeNoteType; type <= ShortestNoteType; ++type) {
        for (int dots = 0; dots <= 1; ++dots) {
            const int ticks = ValueTicks(type, dots, ratio);
            if (ticks > 0 && ticks <= longest) {
                values.push_back({type, dots, ratio.actual, ratio.normal, ticks});
            }
        }
    }
    std::stable_sort(
        values.begin(), values.end(),
        [](const WrittenValue& a, const WrittenValue& b) { return a.ticks > b.ticks; });
    return values;
}

const std::vector<WrittenValue>& ValuesOf(Grid grid) {
    static const std::array<std::vector<WrittenValue>, 4> tables{
        GridValues(Grid::Plain, ScoreTicksPerBar), GridValues(Grid::Triplet, ScoreTicksPerBeat),
        GridValues(Grid::Quintuplet, ScoreTicksPerBeat),
        GridValues(Grid::Fifteen, ScoreTicksPerBeat)};
    return tables[static_cast<std::size_t>(grid)];
}

// Whether a plain value may start at `inBar` ticks into its bar: values of a
// beat or more start on a beat (a half note on beat 1 or 3, a dotted half on
// beat 1) and stay in the bar, so the middle of the bar shows; shorter ones stay in
// their beat and start on a multiple of their own grain, so the beats stay
// visible.
bool PlainFits(int ticks, int inBar) {
    constexpr int Middle = ScoreTicksPerBar / 2;
    if (inBar + ticks > ScoreTicksPerBar ||
        (ticks < Middle && inBar < Middle && inBar + ticks > Middle)) {
        return false;
    }
    if (ticks >= ScoreTicksPerBeat) {
        if (inBar % ScoreTicksPerBeat != 0) {
            return false;
        }
        if (ticks == 3 * ScoreTicksPerBeat) {
            return inBar == 0;
        }
        if (ticks == 2 * ScoreTicksPerBeat) {
            return inBar % (2 * ScoreTicksPerBeat) == 0;
        }
        return true;
    }
    return inBar % ScoreTicksPerBeat + ticks <= ScoreTicksPerBeat &&
           inBar % std::gcd(ticks, ScoreTicksPerBeat) == 0;
}

Grid GridOfBeat(int grain) {
    if (grain % 15 == 0) {
        return Grid::Plain;
    }
    if (grain % 5 == 0) {
        return Grid::Triplet;
    }
    if (grain % 3 == 0) {
        return Grid::Quintuplet;
    }
    return Grid::Fifteen;
}

struct Segment {
    std::int32_t start;
    std::int32_t end;
    int note; // -1: a rest
};

// Notes and the rests between them, covering 0 .. end; notes of no length
// come back as graces.
std::vector<Segment> Segments(std::span<const NoteSpan> notes, std::int32_t end,
                              std::vector<std::pair<std::int32_t, int>>& graces) {
    std::vector<Segment> segments;
    std::int32_t cursor = 0;
    for (std::size_t i = 0; i < notes.size(); ++i) {
        const NoteSpan& n = notes[i];
        const std::int32_t start = std::clamp<std::int32_t>(n.start, 0, end);
        if (start < cursor) {
            // Runs into this one: the earlier note is cut at this onset.
            while (!segments.empty() && segments.back().start >= start) {
                if (segments.back().note >= 0) {
                    graces.emplace_back(segments.back().start, segments.back().note);
                }
                segments.pop_back();
            }
            if (!segments.empty()) {
                segments.back().end = start;
            }
            cursor = start;
        }
        const std::int32_t stop = std::min<std::int64_t>(end, std::int64_t{start} + n.length);
        if (stop <= start) {
            graces.emplace_back(start, static_cast<int>(i));
            continue;
        }
        if (start > cursor) {
            segments.push_back({cursor, start, -1});
        }
        segments.push_back({start, static_cast<std::int32_t>(stop), static_cast<int>(i)});
        cursor = static_cast<std::int32_t>(stop);
    }
    if (cursor < end) {
        segments.push_back({cursor, end, -1});
    }
    std::stable_sort(graces.begin(), graces.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    return segments;
}

} // namespace

const char* NoteTypeName(int type) {
    static const char* const names[] = {"whole", "half", "quarter", "eighth", "16th",
                                        "32nd",  "64th", "128th",   "256th"};
    return names[std::clamp(type, WholeNoteType, ShortestNoteType)];
}

std::int32_t ScoreBars(std::span<const NoteSpan> notes) {
    std::int64_t last = 1;
    for (const NoteSpan& n : notes) {
        last = std::max<std::int64_t>(last, std::int64_t{n.start} + std::max(n.length, 1));
    }
    return static_cast<std::int32_t>((last + ScoreTicksPerBar - 1) / ScoreTicksPerBar);
}

std::vector<WrittenPiece> WritePart(std::span<const NoteSpan> notes, std::int32_t end) {
    std::vector<std::pair<std::int32_t, int>> graces;
    std::vector<Segment> segments = Segments(notes, end, graces);

    // A grace stands before a piece that starts at its tick.
    std::vector<Segment> split;
    split.reserve(segments.size() + graces.size());
    std::size_t g = 0;
    for (Segment s : segments) {
        while (g < graces.size() && graces[g].first <= s.start) {
            ++g;
        }
        while (g < graces.size() && graces[g].first < s.end) {
            split.push_back({s.start, graces[g].first, s.note});
            s.start = graces[g].first;
            ++g;
        }
        split.push_back(s);
    }
    segments.swap(split);

    // The grain of each beat: the common divisor of its boundaries' places.
    const std::size_t beats = static_cast<std::size_t>(end / ScoreTicksPerBeat);
    std::vector<int> grain(beats, ScoreTicksPerBeat);
    for (const Segment& s : segments) {
        const int offset = s.start % ScoreTicksPerBeat;
        if (offset != 0) {
            int& beatGrain = grain[static_cast<std::size_t>(s.start / ScoreTicksPerBeat)];
            beatGrain = std::gcd(beatGrain, offset);
        }
    }

    std::vector<WrittenPiece> pieces;
    pieces.reserve(segments.size() * 2 + graces.size());
    g = 0;
    for (const Segment& s : segments) {
        while (g < graces.size() && graces[g].first <= s.start) {
            WrittenPiece grace;
            grace.start = graces[g].first;
            grace.value = {3, 0, 1, 1, 0};
            grace.note = graces[g].second;
            grace.grace = true;
            pieces.push_back(grace);
            ++g;
        }
        const std::size_t first = pieces.size();
        std::int32_t at = s.start;
        while (at < s.end) {
            const std::int32_t beatStart = at - at % ScoreTicksPerBeat;
            const Grid grid = GridOfBeat(grain[static_cast<std::size_t>(at / ScoreTicksPerBeat)]);
            // A plain stretch runs over the plain beats that follow in the bar.
            std::int32_t regionEnd = beatStart + ScoreTicksPerBeat;
            if (grid == Grid::Plain) {
                const std::int32_t barEnd = at - at % ScoreTicksPerBar + ScoreTicksPerBar;
                while (regionEnd < barEnd &&
                       GridOfBeat(grain[static_cast<std::size_t>(regionEnd / ScoreTicksPerBeat)]) ==
                           Grid::Plain) {
                    regionEnd += ScoreTicksPerBeat;
                }
            }
            const std::int32_t stop = std::min(s.end, regionEnd);
            while (at < stop) {
                const int left = stop - at;
                const int inBar = at % ScoreTicksPerBar;
                const WrittenValue* chosen = nullptr;
                for (const WrittenValue& v : ValuesOf(grid)) {
                    if (v.ticks <= left && (grid != Grid::Plain || PlainFits(v.ticks, inBar))) {
                        chosen = &v;
                        break;
                    }
                }
                WrittenPiece piece;
                piece.start = at;
                piece.value = *chosen; // the shortest value always fits its grid
                piece.note = s.note;
                if (grid != Grid::Plain) {
                    piece.tupletStart = at == beatStart;
                    piece.tupletStop = at + chosen->ticks == beatStart + ScoreTicksPerBeat;
                }
                piece.wholeBarRest = s.note < 0 && inBar == 0 && chosen->ticks == ScoreTicksPerBar;
                pieces.push_back(piece);
                at += chosen->ticks;
            }
        }
        if (s.note >= 0) {
            for (std::size_t i = first; i < pieces.size(); ++i) {
                pieces[i].tiedFromPrevious = i > first;
                pieces[i].tiedToNext = i + 1 < pieces.size();
            }
        }
    }
    return pieces;
}

SpelledPitch SpellPitch(int key, int cents) {
    struct Name {
        char step;
        int alter;
    };
    static constexpr Name names[12] = {{'C', 0}, {'C', 1}, {'D', 0},  {'E', -1},
                                       {'E', 0}, {'F', 0}, {'F', 1},  {'G', 0},
                                       {'G', 1}, {'A', 0}, {'B', -1}, {'B', 0}};
    const int pitchClass = ((key % 12) + 12) % 12;
    const int octave = (key - pitchClass) / 12 - 1;
    const Name name = names[pitchClass];
    return {name.step, octave, name.alter * 100 + cents};
}

std::string AlterText(int hundredths) {
    const int magnitude = hundredths < 0 ? -hundredths : hundredths;
    std::string text = hundredths < 0 ? "-" : "";
    text += std::to_string(magnitude / 100);
    int fraction = magnitude % 100;
    if (fraction != 0) {
        text += '.';
        text += static_cast<char>('0' + fraction / 10);
        if (fraction % 10 != 0) {
            text += static_cast<char>('0' + fraction % 10);
        }
    }
    return text;
}

std::string AccidentalName(int key, int cents) {
    const int base = SpellPitch(key, 0).hundredths / 100;
    std::string name = base > 0 ? "sharp" : base < 0 ? "flat" : "natural";
    if (cents > 0) {
        name += "-up";
    } else if (cents < 0) {
        name += "-down";
    }
    return name;
}

} // namespace sorvelin
