#pragma once
// The composition's operations over all three models at once: Compose's
// redraw, Play's rendering, Save MIDI, Save Song and Load Song. The program's
// windows and sorvelin-render both call these, so the same song file gives
// the same MIDI bytes in both.
#include "base/LongWork.h"
#include "compose/ComposeModel.h"
#include "compose/PartSettings.h"
#include "compose/SongFile.h"
#include "compose/SongRender.h"
#include "explorer/ExplorerModel.h"

#include <filesystem>
#include <string>
#include <vector>

namespace sorvelin {

// The three models of a composition: the explorer's view and series, the
// composition's controls and tables, and the part settings.
struct SongState {
    ExplorerModel Explorer;
    ComposeModel Compose;
    PartSettingsTable Parts;
};

// The program's start-up state without windows: the tables of the first of
// `tableDirs` holding them (with the Scala scales of `scalaDirs`), the design
// view of the explorer's picture, the default options and part settings.
// What the tables have to say to the user is appended to `messages`.
SongState StartUpState(const std::vector<std::filesystem::path>& tableDirs,
                       const std::vector<std::filesystem::path>& scalaDirs,
                       std::vector<std::string>& messages);

// ReDraw's model half: the Dynamic Assign lists from the current scale and
// the whole series table (the window then draws the score).
void ComposeRedraw(ComposeModel& compose, const ExplorerModel& explorer);

// "Compose": samples NotesPerPart values per part along the line, then ReDraw.
// A progress is advanced per sample; its cancel flag stops the work with
// WorkCancelled before anything changed.
void ComposeSeries(ExplorerModel& explorer, ComposeModel& compose,
                   WorkProgress* progress = nullptr);

// Play's rendering of the current state into `song` (the window then sends
// General MIDI System On and starts playback of song.PlayTrack()). On an
// error the previous song stays and the error propagates.
void RenderPlaySong(RenderedSong& song, const ExplorerModel& explorer, const ComposeModel& compose,
                    const PartSettingsTable& parts);

// The song file's values from the current state.
SongFileData SongFromState(const ExplorerModel& explorer, const ComposeModel& compose,
                           const PartSettingsTable& parts);
void SaveSong(const std::filesystem::path& path, const ExplorerModel& explorer,
              const ComposeModel& compose, const PartSettingsTable& parts);

struct LoadSongResult {
    bool Loaded = false;
    // For the user, in order: a newer version, names not found, a scale or
    // rhythm entry that is broken; when Loaded is false the last one says why
    // nothing was loaded.
    std::vector<std::string> Messages;
    // Cancel was pressed during the recompute: nothing changed, nothing to say.
    bool Cancelled = false;
};

// Load Song: reads and checks the whole file, then restores the view texts,
// formula, sampling options, line, note count, composition options, scale,
// rhythm, part settings and Julia constant, and reruns the formula change,
// Zoom In and Compose (with its ReDraw). A file that cannot be read or fails
// the checks changes nothing. Names that are not found leave their list
// without a selection, with a message, and loading goes on. `confirm` is
// asked before a song that may take minutes to compose (none: refused),
// counting the picture that "Always" draws. The file is read and checked on
// the caller's thread; the recompute runs through `run` (none: at once), on
// copies of the three models that are committed only when it ends, so a
// cancelled load changes nothing.
LoadSongResult LoadSong(const std::filesystem::path& path, ExplorerModel& explorer,
                        ComposeModel& compose, PartSettingsTable& parts,
                        const ConfirmLongWork& confirm = {}, const LongWorkRunner& run = {});
LoadSongResult LoadSongLines(const std::vector<std::string>& lines, ExplorerModel& explorer,
                             ComposeModel& compose, PartSettingsTable& parts,
                             const ConfirmLongWork& confirm = {}, const LongWorkRunner& run = {});

inline constexpr const char* FormulaNotFoundMessage = "Sorry, Couldn't find function name:";
inline constexpr const char* ScaleNotFoundMessage = "Sorry, Couldn't find Scale:";
inline constexpr const char* RhythmNotFoundMessage = "Sorry, Couldn't find Rhythm.";

// What Play's render is made from (the series, the limit, the options, the
// tables' names, the part settings), as one text: Save MIDI compares it with
// the text of the last Play to tell whether the composition changed since.
std::string PlayInputs(const ExplorerModel& explorer, const ComposeModel& compose,
                       const PartSettingsTable& parts);

} // namespace sorvelin
