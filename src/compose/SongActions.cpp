#include "compose/SongActions.h"

#include "base/Convert.h"
#include "base/Errors.h"
#include "base/TextFile.h"
#include "compose/Sequencer.h"
#include "explorer/Picture.h"
#include "fractal/Iteration.h"

#include <cstdint>
#include <type_traits>
#include <utility>

namespace sorvelin {
namespace {

static_assert(PartCount == PartSettingsCount, "a series row per part");
static_assert(std::is_copy_assignable_v<ExplorerModel> && std::is_copy_assignable_v<ComposeModel>,
              "Load Song works on copies and commits them whole");

int FormulaIndex(const std::string& name) {
    for (int i = 0; i < FormulaCount; ++i) {
        if (name == FormulaLabels[static_cast<std::size_t>(i)]) {
            return i;
        }
    }
    return -1;
}

std::string FormulaName(int index) {
    return index >= 0 && index < FormulaCount ? FormulaLabels[static_cast<std::size_t>(index)] : "";
}

// Selection change of a table after a load found the name: a broken entry is
// reported and the arrays in force stay.
void ApplyEntry(void (ComposeModel::*change)(), ComposeModel& compose,
                std::vector<std::string>& messages) {
    try {
        (compose.*change)();
    } catch (const UserError& error) {
        messages.push_back(error.what());
    }
}

// The engine watches the cancel flag only while the work runs: the models
// are committed afterwards and must not point at the flag then.
class StopFlagScope {
public:
    StopFlagScope(FractalIterator& engine, const WorkProgress& progress) : engine_(engine) {
        engine_.SetStopFlag(progress.StopFlag());
    }
    ~StopFlagScope() { engine_.SetStopFlag(nullptr); }
    StopFlagScope(const StopFlagScope&) = delete;
    StopFlagScope& operator=(const StopFlagScope&) = delete;

private:
    FractalIterator& engine_;
};

void Apply(const SongFileData& song, ExplorerModel& explorer, ComposeModel& compose,
           PartSettingsTable& parts, std::vector<std::string>& messages, WorkProgress& progress) {
    ExplorerFields& fields = explorer.Fields();
    fields.MouseX = song.MouseX;
    fields.MouseY = song.MouseY;
    fields.RectWidth = song.RectWidth;
    fields.RectHeight = song.RectHeight;
    fields.StartX = song.StartX;
    fields.StartY = song.StartY;
    fields.EndX = song.EndX;
    fields.EndY = song.EndY;
    fields.Iteration = song.Iteration;

    const int formula = FormulaIndex(song.FormulaName);
    fields.ComboBox1Index = formula;
    if (formula < 0) {
        messages.push_back(FormulaNotFoundMessage + Excerpt(song.FormulaName));
    }
    fields.PolyphonicMethodIndex = song.PolyphonicMethod;
    explorer.SetXShift(song.XShift);
    explorer.SetYShift(song.YShift);
    explorer.SetLine({song.LineStartX, song.LineStartY, song.LineEndX, song.LineEndY});

    compose.NotesPerPart = song.NotesPerPart;
    compose.Controls.NoteCount = std::to_string(song.NotesPerPart);
    explorer.Series().Resize(PartCount * song.NotesPerPart);

    ComposeControls& controls = compose.Controls;
    controls.LongLimit = song.LongLimit;
    controls.DynamicAssign = song.DynamicAssign;
    controls.OoR = song.OoR;
    controls.IterationLimit = song.IterationLimit;
    controls.ContinuousNumberAssgn = song.ContinuousNumberAssgn;
    controls.Notesare = song.Notesare;
    compose.TempoBpm = song.Tempo;
    controls.Tempo = std::to_string(song.Tempo);
    controls.Velocity = song.Velocity;
    controls.Loop = song.Loop;

    if (compose.SelectScaleByName(song.ScaleName)) {
        ApplyEntry(&ComposeModel::ScaleComboBox1Change, compose, messages);
    } else {
        messages.push_back(ScaleNotFoundMessage + Excerpt(song.ScaleName));
    }
    if (compose.SelectRhythmByName(song.RhythmName)) {
        ApplyEntry(&ComposeModel::RhytmComboBox2Change, compose, messages);
    } else {
        messages.push_back(RhythmNotFoundMessage + Excerpt(song.RhythmName));
    }
    parts = song.Parts;
    if (song.HasJuliaConstant) {
        explorer.SetJuliaConstant(song.JuliaX, song.JuliaY);
    }

    // Zoom In redraws at once: the formula change leaves the whole picture
    // to it, so "Always" draws it once, not twice.
    const StopFlagScope stoppable(explorer.Engine(), progress);
    explorer.SelectFormula(formula, false);
    explorer.ZoomIn();
    progress.ThrowIfCancelled();
    ComposeSeries(explorer, compose, &progress);
}

} // namespace

SongState StartUpState(const std::vector<std::filesystem::path>& tableDirs,
                       const std::vector<std::filesystem::path>& scalaDirs,
                       std::vector<std::string>& messages) {
    SongState state;
    for (std::string& message : state.Compose.LoadTableFiles(tableDirs, scalaDirs)) {
        messages.push_back(std::move(message));
    }
    state.Explorer.SetPictureSize(ExplorerPictureSize, ExplorerPictureSize);
    state.Explorer.ZoomIn();
    state.Parts = DefaultPartSettings();
    return state;
}

void ComposeRedraw(ComposeModel& compose, const ExplorerModel& explorer) {
    compose.BuildAssignLists(explorer.Series().Values());
}

void ComposeSeries(ExplorerModel& explorer, ComposeModel& compose, WorkProgress* progress) {
    explorer.Compose(compose.GetNoteCount(), progress);
    ComposeRedraw(compose, explorer);
}

void RenderPlaySong(RenderedSong& song, const ExplorerModel& explorer, const ComposeModel& compose,
                    const PartSettingsTable& parts) {
    try {
        song.Render(compose, parts, explorer.Series().Values(), explorer.Engine().GetLimit());
    } catch (const SongTooLongError&) {
        // Which song, and the rhythm whose durations made it so long.
        const std::string name =
            compose.SongFile.empty() ? "" : " \"" + Excerpt(compose.SongFile) + "\"";
        throw UserError("The song" + name + " is too long for a MIDI file: with the rhythm \"" +
                        Excerpt(compose.SelectedRhythmName()) + "\" a part runs past tick " +
                        IntToStr(MaxSongTime) + ".");
    }
}

SongFileData SongFromState(const ExplorerModel& explorer, const ComposeModel& compose,
                           const PartSettingsTable& parts) {
    const ExplorerFields& fields = explorer.Fields();
    SongFileData song;
    song.MouseX = fields.posX;
    song.MouseY = fields.posY;
    song.RectWidth = fields.RangeX;
    song.RectHeight = fields.RangeY;
    song.StartX = fields.StartX;
    song.StartY = fields.StartY;
    song.EndX = fields.EndX;
    song.EndY = fields.EndY;
    song.Iteration = fields.Iteration;
    song.FormulaName = FormulaName(fields.ComboBox1Index);
    song.PolyphonicMethod = fields.PolyphonicMethodIndex;
    song.XShift = fields.XShiftTrackBar1Position;
    song.YShift = fields.YShiftTrackBar2Position;
    const LinePoints line = explorer.DesignLine();
    song.LineStartX = line.LineStartX;
    song.LineStartY = line.LineStartY;
    song.LineEndX = line.LineEndX;
    song.LineEndY = line.LineEndY;
    song.NotesPerPart = compose.NotesPerPart;
    const ComposeControls& controls = compose.Controls;
    song.LongLimit = controls.LongLimit;
    song.DynamicAssign = controls.DynamicAssign;
    song.OoR = controls.OoR;
    song.IterationLimit = controls.IterationLimit;
    song.ContinuousNumberAssgn = controls.ContinuousNumberAssgn;
    song.Notesare = controls.Notesare;
    song.Tempo = compose.TempoBpm;
    song.Velocity = controls.Velocity;
    song.Loop = controls.Loop;
    song.ScaleName = compose.SelectedScaleName();
    song.RhythmName = compose.SelectedRhythmName();
    song.Parts = parts;
    song.HasJuliaConstant = true;
    song.JuliaX = explorer.JuliaX();
    song.JuliaY = explorer.JuliaY();
    return song;
}

void SaveSong(const std::filesystem::path& path, const ExplorerModel& explorer,
              const ComposeModel& compose, const PartSettingsTable& parts) {
    WriteLinesAtomic(path, FormatSavableSongFile(SongFromState(explorer, compose, parts)));
}

LoadSongResult LoadSong(const std::filesystem::path& path, ExplorerModel& explorer,
                        ComposeModel& compose, PartSettingsTable& parts,
                        const ConfirmLongWork& confirm, const LongWorkRunner& run) {
    std::vector<std::string> lines;
    try {
        lines = ReadLines(path);
        CheckSongLineLengths(lines, path.filename().string());
    } catch (const std::exception& error) {
        return {false, {error.what()}};
    }
    LoadSongResult result = LoadSongLines(lines, explorer, compose, parts, confirm, run);
    if (result.Loaded) {
        compose.SongFile = path.filename().string();
    }
    return result;
}

LoadSongResult LoadSongLines(const std::vector<std::string>& lines, ExplorerModel& explorer,
                             ComposeModel& compose, PartSettingsTable& parts,
                             const ConfirmLongWork& confirm, const LongWorkRunner& run) {
    LoadSongResult result;
    try {
        LongWorkCost cost;
        if (explorer.Fields().AlwaysChecked) {
            cost.AlwaysPixels =
                static_cast<long long>(explorer.Image().Width()) * explorer.Image().Height();
        }
        const SongFileData song = ParseSongFile(lines, result.Messages, confirm, cost);
        // Applied to copies and committed whole, so nothing that fails on the
        // way (or is cancelled) leaves a half-loaded composition behind.
        ExplorerModel newExplorer = explorer;
        ComposeModel newCompose = compose;
        PartSettingsTable newParts = parts;
        // The worker alone touches the copies and the messages until run
        // returns.
        const LongWork work = [&](WorkProgress& progress) {
            Apply(song, newExplorer, newCompose, newParts, result.Messages, progress);
        };
        run ? run(work) : RunHere(work);
        explorer = newExplorer;
        compose = newCompose;
        parts = newParts;
        result.Loaded = true;
    } catch (const WorkCancelled&) {
        result.Messages.clear();
        result.Cancelled = true;
    } catch (const std::exception& error) {
        result.Messages.push_back(error.what());
    }
    return result;
}

std::string PlayInputs(const ExplorerModel& explorer, const ComposeModel& compose,
                       const PartSettingsTable& parts) {
    // The song file's lines from the note count (line 19) on hold every option
    // and part setting; the view lines before them matter only through the
    // series, which are weighed by a hash (a million notes per part would
    // make a text of a hundred megabytes).
    constexpr std::size_t NoteCountLine = 19;
    SongFileData song = SongFromState(explorer, compose, parts);
    song.Loop = false; // how playback ends is no part of the rendered song
    const std::vector<std::string> lines = FormatSongFile(song);
    std::string text = IntToStr(explorer.Engine().GetLimit());
    for (std::size_t i = NoteCountLine - 1; i < lines.size(); ++i) {
        text += '\n' + lines[i];
    }
    std::uint64_t hash = 14695981039346656037ULL; // FNV-1a
    for (const auto value : explorer.Series().Values()) {
        hash = (hash ^ static_cast<std::uint32_t>(value)) * 1099511628211ULL;
    }
    return text + "\nseries " + std::to_string(explorer.Series().Values().size()) + ' ' +
           std::to_string(hash);
}

} // namespace sorvelin
