// scale.cfg and rhythm.cfg as a user may leave them: every line is split and
// parsed both as a scale entry and as a rhythm entry, and every entry that
// parses keeps the limits the note generator relies on; each accepted scale
// then maps values across the whole range to notes under every option.
#include "base/Errors.h"
#include "base/TextFile.h"
#include "compose/ComposeState.h"
#include "compose/NoteGen.h"
#include "compose/Tables.h"

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using namespace sorvelin;

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

void CheckScale(const ScaleData& scale, const std::vector<std::int32_t>& series) {
    Require(!scale.ScaleNotes.empty());
    Require(scale.ScaleNotes.size() == scale.ScaleBends.size());
    Require(scale.ScaleNotes.size() <= static_cast<std::size_t>(MaxScaleEntries));
    for (std::size_t i = 0; i < scale.ScaleNotes.size(); ++i) {
        Require(scale.ScaleNotes[i] >= 0 && scale.ScaleNotes[i] <= 127);
        // The wheel value centre + offset must stay a 14-bit number.
        Require(8192 + scale.ScaleBends[i] >= 0 && 8192 + scale.ScaleBends[i] <= 16383);
    }
    const AssignLists lists = BuildAssignLists(scale.ScaleNotes, series);
    for (int item = 0; item < 2 * 3 * 3; ++item) {
        ComposeControls controls;
        controls.OoR = item % 2;
        controls.IterationLimit = (item / 2) % 3;
        controls.DynamicAssign = item >= 6 && lists.DynamicAssignEnabled;
        for (const int limit : {1, 2, 256, 765}) {
            const NoteMapper mapper(scale, lists, controls, limit);
            for (const int value : {0, 1, limit - 1, limit, 64, 765, 1000, INT_MAX / 2}) {
                const int note = mapper.AssignNote(value);
                Require(note == -1 || (note >= 0 && note <= 127));
                if (note >= 0) {
                    const int bend = mapper.FindPitchBend(note);
                    Require(8192 + bend >= 0 && 8192 + bend <= 16383);
                }
            }
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::string> lines =
        SplitLines(std::string(reinterpret_cast<const char*>(data), size));
    std::vector<std::int32_t> series(16 * 4);
    for (std::size_t i = 0; i < series.size(); ++i) {
        series[i] = static_cast<std::int32_t>(i < size ? data[i] : i);
    }
    int item = 0;
    for (const std::string& line : lines) {
        ++item;
        const std::vector<std::string> fields = SplitTableFields(line);
        if (fields.empty()) {
            continue;
        }
        try {
            const RhythmData rhythm = ParseRhythmEntry(line, item);
            Require(!rhythm.RhythmTicks.empty());
            for (const int ticks : rhythm.RhythmTicks) {
                Require(ticks > 0);
            }
        } catch (const UserError&) {
        }
        try {
            CheckScale(ParseScaleEntry(line, item), series);
        } catch (const UserError&) {
        }
    }
    return 0;
}
