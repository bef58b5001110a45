// A song file as anyone may send it, loaded the whole way: the checks, the
// restore of all three models, the formula change, Zoom In and Compose, then
// Play's rendering and the MIDI file of the result, which must be well
// formed with every note ended, and the same when written again. The input may carry its own scale
// and rhythm tables after the song, each after a line "%%".
#include "base/Convert.h"
#include "base/Errors.h"
#include "base/TextFile.h"
#include "compose/SongActions.h"
#include "midi/Song.h"
#include "midi/Track.h"
#include "support/SmfCheck.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using namespace sorvelin;

// Keeps one run fast: a few notes per part and a low iteration limit. The
// loader's own limits are exercised by the other values of those lines.
constexpr int NoteCountLine = 19;
constexpr int IterationLine = 10;
constexpr int MaxFuzzNotes = 12;
constexpr int MaxFuzzIterations = 64;

void CapLine(std::vector<std::string>& song, int line, int cap, int low) {
    const std::size_t at = static_cast<std::size_t>(line - 1);
    int value = 0;
    if (at < song.size() && TryStrToInt(song[at], value) && value > cap) {
        song[at] = IntToStr(low + value % (cap - low + 1));
    }
}

TableList InMemoryTable(const std::vector<std::string>& lines) {
    TableList table;
    for (const std::string& line : lines) {
        std::vector<std::string> fields = SplitTableFields(line);
        if (!fields.empty()) {
            table.Names.push_back(fields[0]);
            table.Lines.push_back(line);
        }
    }
    return table;
}

[[noreturn]] void Fail(const std::string& why) {
    std::fprintf(stderr, "%s\n", why.c_str());
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::string> all =
        SplitLines(std::string(reinterpret_cast<const char*>(data), size));
    std::vector<std::string> sections[3];
    int section = 0;
    for (const std::string& line : all) {
        if (line == "%%" && section < 2) {
            ++section;
        } else {
            sections[section].push_back(line);
        }
    }
    std::vector<std::string>& song = sections[0];
    CapLine(song, NoteCountLine, MaxFuzzNotes, 2);
    CapLine(song, IterationLine, MaxFuzzIterations, 1);

    ExplorerModel explorer;
    ComposeModel compose;
    PartSettingsTable parts = DefaultPartSettings();
    if (!sections[1].empty()) {
        TableList scales = InMemoryTable(sections[1]);
        if (!scales.Lines.empty()) {
            compose.ScaleLines = scales;
        }
    }
    if (!sections[2].empty()) {
        TableList rhythms = InMemoryTable(sections[2]);
        if (!rhythms.Lines.empty()) {
            compose.RhythmLines = rhythms;
        }
    }
    const LoadSongResult result = LoadSongLines(song, explorer, compose, parts);
    if (!result.Loaded) {
        return 0;
    }
    if (explorer.Series().Length() != 16 * compose.NotesPerPart) {
        Fail("series table does not match the note count");
    }
    RenderedSong rendered;
    try {
        RenderPlaySong(rendered, explorer, compose, parts);
    } catch (const UserError&) {
        return 0;
    } catch (const ConvertError&) {
        return 0;
    }
    check::SmfSummary summary;
    const std::string bytes = rendered.MidiFileBytes();
    const std::string fault = check::CheckSmf(bytes, summary);
    if (!fault.empty()) {
        Fail("MIDI file: " + fault);
    }
    if (summary.HangingNotes != 0) {
        Fail("MIDI file leaves notes sounding");
    }
    // Save MIDI pressed twice writes the same file.
    if (rendered.MidiFileBytes() != bytes) {
        Fail("a second Save MIDI of the same song differs");
    }
    return 0;
}
