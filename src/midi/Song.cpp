#include "midi/Song.h"

#include "base/Errors.h"

#include <algorithm>

namespace sorvelin {

midiTrack* midiTracks::Get(int index) const {
    if (index < 0 || index >= Count()) {
        throw IndexError(index, Count());
    }
    return tracks_[static_cast<std::size_t>(index)].get();
}

midiTrack* midiTracks::Add(std::unique_ptr<midiTrack> track) {
    tracks_.push_back(std::move(track));
    return tracks_.back().get();
}

void midiTracks::Insert(int index, std::unique_ptr<midiTrack> track) {
    if (index < 0 || index > Count()) {
        throw IndexError(index, Count());
    }
    tracks_.insert(tracks_.begin() + index, std::move(track));
}

// General MIDI System On: F0 7E 7F 09 01 F7. The song is made before any
// other event, so this message carries the smallest id and sorts first.
midiSong::midiSong() : gmSystemOn(std::make_unique<sysexEvent>(0, 0xF0)) {
    gmSystemOn->bytes = {0x7E, 0x7F, 0x09, 0x01, 0xF7};
    RebuildBarTable();
}

midiSong::~midiSong() {
    tracks.Clear();
}

void midiSong::RebuildBarTable() {
    barStarts.clear();
    const std::int64_t bar = 4 * static_cast<std::int64_t>(division); // 4/4 throughout
    std::int64_t t = 0;
    barStarts.push_back(0);
    while (t <= songLength && bar > 0) {
        t += bar;
        barStarts.push_back(static_cast<std::int32_t>(std::min<std::int64_t>(t, INT32_MAX)));
    }
    barStarts.push_back(static_cast<std::int32_t>(std::min<std::int64_t>(t, INT32_MAX)));
}

void midiSong::TimeToPosition(std::int32_t time, std::int32_t& bar, std::int32_t& beat,
                              std::int32_t& tick) const {
    const auto later = std::upper_bound(barStarts.begin(), barStarts.end(), time);
    const auto index = std::max<std::ptrdiff_t>(later - barStarts.begin() - 1, 0);
    const std::int32_t barStart =
        barStarts.empty() ? 0 : barStarts[static_cast<std::size_t>(index)];
    bar = static_cast<std::int32_t>(index);
    if (division == 0) {
        beat = 0;
        tick = 0;
        return;
    }
    tick = time % division; // counted from the song start, not the bar start
    beat = (time - barStart) / division;
}

int midiSong::TempoAt(std::int32_t time) {
    tempo = DefaultTempo;
    if (tracks.Count() == 0) {
        return tempo;
    }
    const midiTrack* conductor = tracks.Get(0);
    for (int i = 0; i < conductor->Count(); ++i) {
        const anyEvent* event = conductor->EventAt(i);
        if (event == nullptr) {
            continue;
        }
        if (event->time > time) {
            break;
        }
        if (event->Kind() == kindTempo) {
            const auto& data = static_cast<const TempoEvent*>(event)->data;
            const auto byte = [&data](std::size_t n) { return n < data.size() ? data[n] : 0; };
            tempo = byte(0) * 65536 + byte(1) * 256 + byte(2);
        }
    }
    return tempo;
}

} // namespace sorvelin
