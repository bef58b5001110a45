// The two note forms of a track: notes with durations (collapsed) and notes
// with separate note-off events (expanded), and the searches between them.
#include "midi/Song.h"
#include "midi/Track.h"

#include <algorithm>
#include <array>

namespace sorvelin {
namespace {

const NoteOnEvent* AsNote(const anyEvent* event) {
    return static_cast<const NoteOnEvent*>(event);
}

bool IsChannelMute(const anyEvent* event, int channel) {
    if (event->Kind() != kindControlChange || (event->status & 0x0F) != channel) {
        return false;
    }
    const auto control = static_cast<const ControlChangeEvent*>(event)->control;
    return control == 120 || control == 123; // All Sound Off, All Notes Off
}

// Note-offs are matched by channel and key; -1 (no channel) has its own row.
int NoteCode(const anyEvent* note) {
    return (note->EventChannel() + 1) * 256 + AsNote(note)->key;
}

// The event order over entries whose kept times are fresh.
bool ByEventOrder(const EventSlot& a, const EventSlot& b) {
    const std::int32_t ta = a.get_deleter().time;
    const std::int32_t tb = b.get_deleter().time;
    return ta != tb ? ta < tb : a->id < b->id;
}

bool ByTime(const EventSlot& a, const EventSlot& b) {
    return a.get_deleter().time < b.get_deleter().time;
}

} // namespace

int midiTrack::FindKind(int from, int kind) const {
    Settle();
    for (auto i = static_cast<std::size_t>(std::max(from, 0)); i < entries_.size(); ++i) {
        if (entries_[i] && entries_[i]->Kind() == kind) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

int midiTrack::FindNoteOff(int from, const NoteOnEvent& note) const {
    Settle();
    for (auto i = static_cast<std::size_t>(std::max(from, 0)); i < entries_.size(); ++i) {
        const anyEvent* entry = entries_[i].get();
        if (entry != nullptr && entry->Kind() == kindNoteOff &&
            entry->EventChannel() == note.EventChannel() && AsNote(entry)->key == note.key) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

int midiTrack::FindChannelMute(int from, int channel) const {
    Settle();
    for (auto i = static_cast<std::size_t>(std::max(from, 0)); i < entries_.size(); ++i) {
        if (entries_[i] && IsChannelMute(entries_[i].get(), channel)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

void midiTrack::ExpandNoteOffs() {
    Settle();
    if (!collapsed) {
        return;
    }
    const std::size_t notes = entries_.size();
    for (std::size_t i = 0; i < notes; ++i) {
        const anyEvent* entry = entries_[i].get();
        if (entry == nullptr || entry->Kind() != kindNoteOn) {
            continue;
        }
        const NoteOnEvent* note = AsNote(entry);
        const std::int64_t end = static_cast<std::int64_t>(note->time) + note->duration;
        const auto offTime = static_cast<std::int32_t>(std::clamp<std::int64_t>(end, 0, INT32_MAX));
        auto off = std::make_unique<NoteOnEvent>(
            offTime, static_cast<std::uint8_t>((note->status & 0x0F) | 0x90), note->key, 0, 0);
        if (song != nullptr) {
            song->TimeToPosition(off->time, off->bar, off->beat, off->tick);
        }
        lastTime = std::max(lastTime, offTime);
        entries_.push_back(MakeSlot(off.release(), true));
    }
    SortByEventOrder(notes);
    collapsed = false;
}

// Sorts by the event order. The list before `appendedFrom` is usually in
// that order already, and the note-offs appended after it were made one after
// the other, so their ids rise and their order is that of their times alone.
// Sorting the appended part and merging then gives the same list as sorting
// the whole, reading the events themselves only where times are equal.
void midiTrack::SortByEventOrder(std::size_t appendedFrom) {
    bool nulls = false;
    for (EventSlot& slot : entries_) {
        if (slot) {
            slot.get_deleter().time = slot->time;
        } else {
            nulls = true;
        }
    }
    const auto split = entries_.begin() + static_cast<std::ptrdiff_t>(appendedFrom);
    if (!nulls && std::is_sorted(entries_.begin(), split, ByEventOrder)) {
        if (!std::is_sorted(split, entries_.end(), ByEventOrder)) {
            const bool risingIds =
                std::adjacent_find(split, entries_.end(), [](const auto& a, const auto& b) {
                    return a->id >= b->id;
                }) == entries_.end();
            if (risingIds) {
                std::stable_sort(split, entries_.end(), ByTime);
            } else {
                std::stable_sort(split, entries_.end(), ByEventOrder);
            }
        }
        std::inplace_merge(entries_.begin(), split, entries_.end(), ByEventOrder);
        ordered_ = true;
        return;
    }
    Sort(EventOrder);
}

void midiTrack::CollapseNoteOffs() {
    Settle();
    if (collapsed) {
        return;
    }
    // Each note takes the first later note-off of its channel and key that no
    // earlier note took, else the first later All Sound Off or All Notes Off
    // of its channel, else lastTime. The indexes below find these without a
    // scan per note: a note-off at or before the current note can never be
    // taken by a later note, so each key's queue only moves forward.
    std::vector<std::vector<std::size_t>> offsByCode(17 * 256);
    std::array<std::vector<std::size_t>, 16> mutesByChannel;
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        const anyEvent* entry = entries_[i].get();
        if (entry == nullptr) {
            continue;
        }
        if (entry->Kind() == kindNoteOff) {
            offsByCode[static_cast<std::size_t>(NoteCode(entry))].push_back(i);
        } else if (entry->Kind() == kindControlChange &&
                   IsChannelMute(entry, entry->status & 0x0F)) {
            mutesByChannel[entry->status & 0x0F].push_back(i);
        }
    }
    std::vector<std::size_t> nextOff(offsByCode.size(), 0);
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        anyEvent* entry = entries_[i].get();
        if (entry == nullptr || entry->Kind() != kindNoteOn) {
            continue;
        }
        auto* note = static_cast<NoteOnEvent*>(entry);
        const auto code = static_cast<std::size_t>(NoteCode(note));
        const auto& offs = offsByCode[code];
        std::size_t& next = nextOff[code];
        while (next < offs.size() && (offs[next] <= i || !entries_[offs[next]])) {
            ++next;
        }
        if (next < offs.size()) {
            const std::size_t j = offs[next];
            note->duration = entries_[j]->time - note->time;
            entries_[j] = EventSlot(nullptr, EventRelease{});
            continue;
        }
        const auto& mutes = mutesByChannel[note->status & 0x0F];
        const auto mute = std::upper_bound(mutes.begin(), mutes.end(), i);
        if (mute != mutes.end()) {
            note->duration = entries_[*mute]->time - note->time;
        } else {
            note->duration = lastTime - note->time;
        }
    }
    for (auto& slot : entries_) {
        if (slot && slot->Kind() == kindNoteOff) {
            slot = EventSlot(nullptr, EventRelease{});
        }
    }
    std::erase_if(entries_, [](const EventSlot& slot) { return !slot; });
    RecheckOrder();
    collapsed = true;
}

} // namespace sorvelin
