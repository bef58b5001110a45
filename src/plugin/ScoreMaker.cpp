#include "plugin/ScoreMaker.h"

#include "base/Errors.h"
#include "base/TextFile.h"
#include "compose/ScalaFile.h"
#include "compose/Tables.h"
#include "midi/Mididata.h"

#include <algorithm>
#include <sstream>
#include <system_error>

namespace sorvelin::plugin {
namespace {

// Appends the folders of `more` that are not the same folder as one listed.
void AddDirs(std::vector<std::filesystem::path>& dirs,
             const std::vector<std::filesystem::path>& more) {
    for (const std::filesystem::path& dir : more) {
        std::error_code error;
        if (dir.empty() || !std::filesystem::is_directory(dir, error)) {
            continue;
        }
        const bool listed = std::any_of(dirs.begin(), dirs.end(), [&](const auto& known) {
            std::error_code same;
            return std::filesystem::equivalent(known, dir, same);
        });
        if (!listed) {
            dirs.push_back(dir);
        }
    }
}

template <typename T> void Override(T& value, int wanted) {
    if (wanted != AsInSong) {
        value = static_cast<T>(wanted);
    }
}

// A list choice beyond the list keeps the song's; a broken entry too, said.
void Choose(int wanted, std::size_t items, int& selection, void (ComposeModel::*change)(),
            ComposeModel& compose, std::vector<std::string>& messages) {
    if (wanted == AsInSong || wanted >= static_cast<int>(items) || wanted == selection) {
        return;
    }
    selection = wanted;
    try {
        (compose.*change)();
    } catch (const UserError& error) {
        messages.push_back(error.what());
    }
}

} // namespace

std::size_t Score::IndexAt(double tick) const {
    const auto at = std::partition_point(events.begin(), events.end(),
                                         [tick](const ScoreEvent& e) { return e.tick < tick; });
    return static_cast<std::size_t>(at - events.begin());
}

ScoreMaker::ScoreMaker(std::vector<std::filesystem::path> dataDirs)
    : dataDirs_(std::move(dataDirs)) {}

// The current folder first, as the program looks; then the song's own,
// before the installed data, so that the tables a song was made with travel
// with it; then the data installed beside the plugin, whatever program
// hosts it. Scala scales add up from every folder, in this order.
std::vector<std::filesystem::path>
ScoreMaker::TableDirs(const std::filesystem::path& songDir) const {
    std::vector<std::filesystem::path> dirs;
    AddDirs(dirs, {"."});
    AddDirs(dirs, {songDir});
    AddDirs(dirs, TableSearchDirs());
    AddDirs(dirs, dataDirs_);
    return dirs;
}

std::vector<std::filesystem::path>
ScoreMaker::ScalaDirs(const std::filesystem::path& songDir) const {
    std::vector<std::filesystem::path> dirs;
    AddDirs(dirs, ScalaSearchDirs());
    AddDirs(dirs, {songDir.empty() ? songDir : songDir / "scales"});
    for (const std::filesystem::path& data : dataDirs_) {
        AddDirs(dirs, {data / "scales"});
    }
    return dirs;
}

bool ScoreMaker::Load(const std::filesystem::path& file, std::vector<std::string>& messages) {
    std::string text;
    try {
        text = ReadFileBytes(file);
    } catch (const std::exception& error) {
        messages.push_back(error.what());
        return false;
    }
    return Adopt(text, file, messages);
}

bool ScoreMaker::Restore(const std::string& text, const std::filesystem::path& file,
                         std::vector<std::string>& messages) {
    return Adopt(text, file, messages);
}

bool ScoreMaker::Adopt(const std::string& text, const std::filesystem::path& file,
                       std::vector<std::string>& messages) {
    const std::filesystem::path songDir = file.parent_path();
    SongState state = StartUpState(TableDirs(songDir), ScalaDirs(songDir), messages);
    std::vector<std::string> lines;
    try {
        lines = SplitLines(text);
        CheckSongLineLengths(lines, file.filename().string());
    } catch (const std::exception& error) {
        messages.push_back(error.what());
        return false;
    }
    // No one is there to answer whether a song of minutes may load: as in
    // sorvelin-render without its option, it is refused.
    const LoadSongResult loaded = LoadSongLines(lines, state.Explorer, state.Compose, state.Parts);
    messages.insert(messages.end(), loaded.Messages.begin(), loaded.Messages.end());
    if (!loaded.Loaded) {
        return false;
    }
    state.Compose.SongFile = file.filename().string();
    text_ = text;
    file_ = file;
    loaded_ = std::move(state);
    shifted_.reset();
    return true;
}

const SongState& ScoreMaker::Shifted(const ScoreControls& controls) {
    const ExplorerFields& fields = loaded_->Explorer.Fields();
    const int dx = controls.dx == AsInSong ? fields.XShiftTrackBar1Position : controls.dx;
    const int dy = controls.dy == AsInSong ? fields.YShiftTrackBar2Position : controls.dy;
    if (dx == fields.XShiftTrackBar1Position && dy == fields.YShiftTrackBar2Position) {
        return *loaded_;
    }
    if (!shifted_ || shifted_->dx != dx || shifted_->dy != dy) {
        shifted_.reset();
        ShiftedState shifted{dx, dy, *loaded_};
        shifted.state.Explorer.SetXShift(dx);
        shifted.state.Explorer.SetYShift(dy);
        ComposeSeries(shifted.state.Explorer, shifted.state.Compose);
        shifted_ = std::move(shifted);
    }
    return shifted_->state;
}

std::unique_ptr<Score> ScoreMaker::Render(const ScoreControls& controls,
                                          std::vector<std::string>& messages) {
    if (!loaded_) {
        return nullptr;
    }
    try {
        SongState state = Shifted(controls);
        ComposeModel& compose = state.Compose;
        ComposeControls& options = compose.Controls;
        const int scaleBefore = options.ScaleComboBox1;
        Choose(controls.scale, compose.ScaleLines.Lines.size(), options.ScaleComboBox1,
               &ComposeModel::ScaleComboBox1Change, compose, messages);
        Choose(controls.rhythm, compose.RhythmLines.Lines.size(), options.RhytmComboBox2,
               &ComposeModel::RhytmComboBox2Change, compose, messages);
        if (options.ScaleComboBox1 != scaleBefore) {
            ComposeRedraw(compose, state.Explorer);
        }
        Override(options.OoR, controls.noteAssign);
        Override(options.ContinuousNumberAssgn, controls.continuous);
        Override(options.Notesare, controls.overLength);
        Override(options.Velocity, controls.velocity);
        for (int part = 0; part < ScorePartCount; ++part) {
            PartSettings& settings = state.Parts[static_cast<std::size_t>(part)];
            settings.Octave = std::clamp(settings.Octave + controls.octave, MinOctave, MaxOctave);
            if (controls.parts[static_cast<std::size_t>(part)] != AsInSong) {
                settings.UsePart = controls.parts[static_cast<std::size_t>(part)] != 0;
            }
        }
        RenderedSong song;
        RenderPlaySong(song, state.Explorer, compose, state.Parts);
        std::unique_ptr<Score> score = ScoreOf(song, compose.TempoBpm);
        score->controls = controls;
        score->songPath = file_.string();
        return score;
    } catch (const std::exception& error) {
        messages.push_back(error.what());
        return nullptr;
    }
}

std::unique_ptr<Score> ScoreOf(RenderedSong& song, int tempoBpm) {
    auto score = std::make_unique<Score>();
    score->tempoBpm = tempoBpm;
    const std::shared_ptr<midiTrack> track = song.PlayTrack();
    if (!track) {
        return score;
    }
    // The note-offs as playback and the file writer make them.
    track->ExpandNoteOffs();
    std::ostringstream payload;
    bool noteSeen = false;
    // Play sends General MIDI System On first, then the playback track.
    std::vector<const anyEvent*> events;
    if (song.Song() != nullptr && song.Song()->gmSystemOn) {
        events.push_back(song.Song()->gmSystemOn.get());
    }
    for (int i = 0; i < track->Count(); ++i) {
        events.push_back(track->Get(i));
    }
    for (const anyEvent* event : events) {
        ScoreEvent out;
        if (event == nullptr) {
            continue;
        }
        out.tick = event->time;
        out.end = event->time;
        if (const auto* sysex = dynamic_cast<const sysexEvent*>(event)) {
            // On the wire the message is whole: its status, then its bytes.
            out.size = static_cast<std::uint32_t>(sysex->bytes.size() + 1);
            out.bytes[0] = event->status;
            out.longAt = static_cast<std::uint32_t>(score->longData.size());
            score->longData.push_back(event->status);
            score->longData.insert(score->longData.end(), sysex->bytes.begin(), sysex->bytes.end());
        } else if (event->status >= 0xF0) {
            continue; // meta events are the file's, not the wire's
        } else {
            payload.str({});
            event->Write(payload);
            const std::string data = payload.str();
            out.size = static_cast<std::uint32_t>(1 + std::min<std::size_t>(data.size(), 2));
            out.bytes[0] = event->status;
            for (std::size_t k = 0; k + 1 < out.size; ++k) {
                out.bytes[k + 1] = static_cast<std::uint8_t>(data[k]);
            }
        }
        if (const auto* note = dynamic_cast<const NoteOnEvent*>(event);
            note != nullptr && note->velocity != 0) {
            out.end = event->time + note->duration;
            score->longestNote = std::max(score->longestNote, note->duration);
            if (!noteSeen) {
                score->setupEnd = score->events.size();
                noteSeen = true;
            }
        }
        score->end = std::max(score->end, out.tick);
        score->events.push_back(out);
    }
    if (!noteSeen) {
        score->setupEnd = score->events.size();
    }
    return score;
}

} // namespace sorvelin::plugin
