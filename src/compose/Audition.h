#pragma once
// Hearing the line while it is drawn: the first bars of the song that
// Compose and Play would make of it, made to sound at once. The window plays
// one audition after the other while the pointer moves; the composition's
// own song, files and series are never touched.
#include "compose/ComposeModel.h"
#include "compose/PartSettings.h"
#include "explorer/ComposeSpeed.h"
#include "explorer/ExplorerModel.h"

#include <cstdint>
#include <memory>
#include <span>

namespace sorvelin {

class midiTrack;

// The bars an audition plays, from the song's first notes.
inline constexpr int AuditionBars = 2;
// The longest the sampling of one audition may be expected to hold the
// window's thread; a line that could take longer is not auditioned.
inline constexpr double AuditionBudgetSeconds = 0.02;

// Whether sampling `job` fits the budget at `speed`, counting every sample
// as iterating to the limit (a line inside the set).
bool AuditionAffordable(const ExplorerModel::ComposeJob& job, const ComposeSpeed& speed);

// The first `bars` bars of the song Play renders from `series` (the whole
// table, Dynamic Assign lists built from it as Compose builds them): the
// tempo and every used part's set-up at tick 0, then the notes without the
// song's lead-in bar, the first ones one tick in. A note still sounding at
// the end of the last bar is cut there, and each part's pitch wheel is
// centred just after. The playback track holds its own song. Raises what
// RenderSong raises.
std::shared_ptr<midiTrack> RenderAudition(const ComposeModel& compose,
                                          const PartSettingsTable& parts,
                                          std::span<const std::int32_t> series, int limit,
                                          int bars = AuditionBars);

// The audition of the explorer's line as it stands (also while it is being
// drawn) with the composition's note count: null when the sampling would
// not fit the budget. Raises what PrepareLineCompose and RenderSong raise.
std::shared_ptr<midiTrack> AuditionLine(const ExplorerModel& explorer, const ComposeModel& compose,
                                        const PartSettingsTable& parts, const ComposeSpeed& speed);

} // namespace sorvelin
