#include "compose/SongRender.h"

#include "base/Convert.h"
#include "base/Errors.h"
#include "base/OutputFile.h"
#include "compose/Sequencer.h"
#include "midi/Mididata.h"

#include <algorithm>
#include <sstream>

namespace sorvelin {
namespace {

constexpr int ClosingBendDelay = 120;
constexpr int BendRangeSemitones = 2;

void Add(midiTrack& track, std::unique_ptr<anyEvent> event) {
    track.AddEvent(std::move(event), true, true);
}

std::unique_ptr<anyEvent> Control(int time, int channel, int control, int value) {
    return std::make_unique<ControlChangeEvent>(time, static_cast<std::uint8_t>(0xB0 | channel),
                                                static_cast<std::uint8_t>(control),
                                                static_cast<std::uint8_t>(value));
}

// The part's name, bank, program, pan and a pitch-bend range of two
// semitones, offset by 2 ticks per part; created in the order name, pan,
// bank MSB, bank LSB, parameter LSB, parameter MSB, data entry, program.
void AddSetUp(midiTrack& track, int part, const PartSettings& settings) {
    const int t = 2 * part;
    const int ch = settings.Channel;
    auto name = std::make_unique<trackNameEvent>(0);
    name->SetText(PartName(part));
    Add(track, std::move(name));
    Add(track, Control(t + 15, ch, 10, settings.Pan));
    Add(track, Control(t + 8, ch, 0, 0));
    Add(track, Control(t + 9, ch, 32, 0));
    Add(track, Control(t + 50, ch, 100, 0));
    Add(track, Control(t + 65, ch, 101, 0));
    Add(track, Control(t + 80, ch, 6, BendRangeSemitones));
    Add(track, std::make_unique<ProgramChangeEvent>(t + 10, static_cast<std::uint8_t>(0xC0 | ch),
                                                    static_cast<std::uint8_t>(settings.Program)));
}

void CheckPart(int part, const PartSettings& settings) {
    if (!FitsMidiBytes(settings)) {
        throw UserError(PartName(part) + " has channel " + IntToStr(settings.Channel + 1) +
                        ", program " + IntToStr(settings.Program) + " and pan " +
                        IntToStr(settings.Pan) +
                        "; channels run from 1 to 16, programs and pans from 0 to 127.");
    }
}

} // namespace

std::unique_ptr<midiSong> RenderSong(const ComposeModel& compose, const PartSettingsTable& parts,
                                     std::span<const std::int32_t> series, int limit,
                                     SongTimeline* timeline) {
    for (int i = 0; i < PartSettingsCount; ++i) {
        if (parts[static_cast<std::size_t>(i)].UsePart) {
            CheckPart(i, parts[static_cast<std::size_t>(i)]);
        }
    }
    auto song = std::make_unique<midiSong>();
    song->RebuildBarTable();

    auto conductor = std::make_unique<midiTrack>(song.get(), 0, "");
    auto tempo = std::make_unique<TempoEvent>(0);
    tempo->SetTempo(SongTempo(compose.TempoBpm));
    Add(*conductor, std::move(tempo));
    song->tracks.Add(std::move(conductor));

    const std::size_t rowLength = series.size() / PartSettingsCount;
    const NoteMapper mapper = compose.Mapper(limit);
    for (int i = 0; i < PartSettingsCount; ++i) {
        const PartSettings& settings = parts[static_cast<std::size_t>(i)];
        if (!settings.UsePart) {
            continue;
        }
        midiTrack* track = song->tracks.Add(std::make_unique<midiTrack>(song.get(), i + 1, ""));
        AddSetUp(*track, i, settings);
        const bool first = timeline != nullptr && timeline->part < 0;
        if (first) {
            timeline->part = i;
        }
        const int end =
            RunSequencer(*track, series.subspan(static_cast<std::size_t>(i) * rowLength, rowLength),
                         settings.Channel, settings.Octave, mapper, compose.Rhythm.RhythmTicks,
                         first ? &timeline->stepTimes : nullptr);
        if (timeline != nullptr) {
            timeline->end = std::max(timeline->end, static_cast<std::int32_t>(end));
        }
        Add(*track, std::make_unique<PitchBendEvent>(
                        end + ClosingBendDelay, static_cast<std::uint8_t>(0xE0 | settings.Channel),
                        PitchWheelCentre));
    }
    song->RebuildBarTable();
    return song;
}

int StepAt(const SongTimeline& timeline, std::int32_t ticks) {
    const auto& times = timeline.stepTimes;
    return static_cast<int>(std::upper_bound(times.begin(), times.end(), ticks) - times.begin()) -
           1;
}

SongLoop LoopOf(const SongTimeline& timeline) {
    if (timeline.end <= SequencerStartTime) {
        return {};
    }
    return {SequencerStartTime - 1, timeline.end - 1};
}

std::unique_ptr<midiTrack> MergePlayTrack(midiSong& song) {
    auto play = std::make_unique<midiTrack>(&song, 0, "", EventOwnership::Borrowed);
    for (int t = 0; t < song.tracks.Count(); ++t) {
        const midiTrack& track = *song.tracks.TrackAt(t);
        for (int e = 0; e < track.Count(); ++e) {
            anyEvent* event = track.EventAt(e);
            if (event != nullptr && !event->IsTrackEnd()) {
                play->AddEvent(event, true, true);
            }
        }
    }
    return play;
}

RenderedSong::RenderedSong() = default;
RenderedSong::~RenderedSong() = default;

void RenderedSong::Render(const ComposeModel& compose, const PartSettingsTable& parts,
                          std::span<const std::int32_t> series, int limit) {
    auto played = std::make_shared<Played>();
    played->song = RenderSong(compose, parts, series, limit, &played->timeline);
    played->track = MergePlayTrack(*played->song);
    played->dynamics = compose.Controls.Velocity == VelocityFromSeries;
    played_ = std::move(played);
}

midiSong& RenderedSong::Rendered() {
    if (!played_) {
        throw UserError(NothingRenderedMessage);
    }
    return *played_->song;
}

void RenderedSong::WriteMidi(std::ostream& out) {
    Rendered().WriteSmf(out);
}

std::string RenderedSong::MidiFileBytes() {
    std::ostringstream out;
    WriteMidi(out);
    return out.str();
}

void RenderedSong::SaveMidi(const std::filesystem::path& path) {
    // Streamed into the file: a long song is never held twice in memory.
    midiSong& song = Rendered();
    PendingFile file(path);
    song.WriteSmf(file.Stream());
    file.Commit();
}

} // namespace sorvelin

namespace sorvelin {

void RenderedSong::WriteScore(std::ostream& out, bool compressed, const std::string& songFile) {
    midiSong& song = Rendered();
    const ScoreOptions options{std::filesystem::path(songFile).stem().string(), played_->dynamics};
    if (compressed) {
        WriteMxl(song, options, out);
    } else {
        WriteMusicXml(song, options, out);
    }
}

void RenderedSong::SaveScore(const std::filesystem::path& path, const std::string& songFile) {
    Rendered();
    PendingFile file(path);
    WriteScore(file.Stream(), IsMxlName(path.filename().string()), songFile);
    file.Commit();
}

} // namespace sorvelin
