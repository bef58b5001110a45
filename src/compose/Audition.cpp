#include "compose/Audition.h"

#include "compose/Sequencer.h"
#include "compose/SongRender.h"
#include "midi/Mididata.h"

#include <algorithm>

namespace sorvelin {
namespace {

constexpr int BeatsPerBar = 4;

// A copy of a channel event of the rendered song at `time`; null for events
// an audition leaves out (names, track ends).
std::unique_ptr<anyEvent> Copy(const anyEvent& event, std::int32_t time, std::int32_t end) {
    switch (event.Kind()) {
    case kindNoteOn: {
        const auto& note = static_cast<const NoteOnEvent&>(event);
        return std::make_unique<NoteOnEvent>(time, note.status, note.key, note.velocity,
                                             std::min(note.duration, end - note.time));
    }
    case kindControlChange: {
        const auto& control = static_cast<const ControlChangeEvent&>(event);
        return std::make_unique<ControlChangeEvent>(time, control.status, control.control,
                                                    control.value);
    }
    case kindProgramChange:
        return std::make_unique<ProgramChangeEvent>(
            time, event.status, static_cast<const ProgramChangeEvent&>(event).program);
    case kindPitchBend:
        return std::make_unique<PitchBendEvent>(time, event.status,
                                                static_cast<const PitchBendEvent&>(event).bend);
    case kindTempo: {
        auto tempo = std::make_unique<TempoEvent>(time);
        tempo->SetTempo(static_cast<const TempoEvent&>(event).DataValue());
        return tempo;
    }
    default:
        return nullptr;
    }
}

} // namespace

bool AuditionAffordable(const ExplorerModel::ComposeJob& job, const ComposeSpeed& speed) {
    const long long samples = static_cast<long long>(PartCount) * job.NoteCount;
    return EstimatedSeconds(speed, samples, 0, job.Engine.GetLimit()) <= AuditionBudgetSeconds;
}

std::shared_ptr<midiTrack> RenderAudition(const ComposeModel& compose,
                                          const PartSettingsTable& parts,
                                          std::span<const std::int32_t> series, int limit,
                                          int bars) {
    // The lists Compose would build for this series, not the last Compose's.
    ComposeModel composed = compose;
    composed.BuildAssignLists(series);
    const std::unique_ptr<midiSong> song = RenderSong(composed, parts, series, limit);

    auto preview = std::make_shared<midiSong>();
    preview->division = song->division;
    preview->RebuildBarTable();
    midiTrack* track = preview->tracks.Add(std::make_unique<midiTrack>(preview.get(), 0, ""));
    // The bar before the first notes holds only the set-up: it goes, and
    // every event before the first notes sounds at once.
    const std::int32_t lead = SequencerStartTime - 1;
    const std::int32_t end = SequencerStartTime + bars * BeatsPerBar * song->division;
    for (int t = 0; t < song->tracks.Count(); ++t) {
        const midiTrack& part = *song->tracks.TrackAt(t);
        int channel = -1;
        for (int e = 0; e < part.Count(); ++e) {
            const anyEvent& event = *part.EventAt(e);
            if (event.time >= end) {
                continue;
            }
            channel = event.EventChannel() >= 0 ? event.EventChannel() : channel;
            std::unique_ptr<anyEvent> copy = Copy(event, std::max(event.time - lead, 0), end);
            if (copy != nullptr) {
                track->AddEvent(std::move(copy), true, false);
            }
        }
        if (channel >= 0) {
            track->AddEvent(std::make_unique<PitchBendEvent>(
                                end - lead + 1, static_cast<std::uint8_t>(0xE0 | channel)),
                            true, false);
        }
    }
    return std::shared_ptr<midiTrack>(preview, track);
}

std::shared_ptr<midiTrack> AuditionLine(const ExplorerModel& explorer, const ComposeModel& compose,
                                        const PartSettingsTable& parts, const ComposeSpeed& speed) {
    const ExplorerModel::ComposeJob job = explorer.PrepareLineCompose(compose.GetNoteCount());
    if (!AuditionAffordable(job, speed)) {
        return nullptr;
    }
    const SeriesTable series = ExplorerModel::RunCompose(job);
    return RenderAudition(compose, parts, series.Values(), job.Engine.GetLimit());
}

} // namespace sorvelin
