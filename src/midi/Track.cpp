// The track's list operations and the placement of new events.
#include "midi/Track.h"

#include "base/Errors.h"
#include "midi/Song.h"

#include <algorithm>
#include <charconv>
#include <iterator>
#include <stdexcept>

namespace sorvelin {
namespace {

std::int32_t SlotTime(const EventSlot& slot) {
    return slot.get_deleter().time;
}

} // namespace

std::string ChangeLog::operator[](std::size_t index) const {
    if (index >= tokens_.size()) {
        throw IndexError(static_cast<long long>(index), static_cast<long long>(tokens_.size()));
    }
    char digits[32];
    const auto end = std::to_chars(digits, digits + sizeof digits, tokens_[index]).ptr;
    std::string line = "+,";
    line.append(digits, end);
    return line;
}

std::vector<std::string> ChangeLog::Lines() const {
    std::vector<std::string> lines;
    lines.reserve(tokens_.size());
    for (std::size_t i = 0; i < tokens_.size(); ++i) {
        lines.push_back((*this)[i]);
    }
    return lines;
}

midiTrack::midiTrack(midiSong* song_, int number, std::string_view name_, EventOwnership ownership)
    : song(song_), name(name_.empty() ? "Track" + std::to_string(number) : std::string(name_)),
      ownership_(ownership) {}

midiTrack::~midiTrack() = default;

EventSlot midiTrack::MakeSlot(anyEvent* event, bool owned) const {
    // The song's General MIDI System On stays the song's, whichever way it
    // reached the list.
    if (song != nullptr && event == song->gmSystemOn.get()) {
        owned = false;
    }
    return EventSlot(event, EventRelease{owned, event != nullptr ? event->time : 0});
}

void midiTrack::CheckIndex(int index) const {
    if (index < 0 || index >= Count()) {
        throw IndexError(index, Count());
    }
}

anyEvent* midiTrack::Get(int index) const {
    CheckIndex(index);
    Settle();
    return entries_[static_cast<std::size_t>(index)].get();
}

bool midiTrack::Owns(int index) const {
    CheckIndex(index);
    Settle();
    return entries_[static_cast<std::size_t>(index)].get_deleter().owned;
}

void midiTrack::Add(anyEvent* event) {
    Settle();
    Append(MakeSlot(event, ownership_ == EventOwnership::Owned));
}

void midiTrack::Add(std::unique_ptr<anyEvent> event) {
    Settle();
    Append(MakeSlot(event.release(), true));
}

void midiTrack::AddBorrowed(anyEvent* event) {
    Settle();
    Append(MakeSlot(event, false));
}

void midiTrack::Insert(int index, anyEvent* event) {
    InsertSlot(index, MakeSlot(event, ownership_ == EventOwnership::Owned));
}

void midiTrack::Insert(int index, std::unique_ptr<anyEvent> event) {
    InsertSlot(index, MakeSlot(event.release(), true));
}

void midiTrack::Append(EventSlot slot) {
    if (!slot || (!entries_.empty() && SlotTime(entries_.back()) > SlotTime(slot))) {
        ordered_ = false;
    }
    entries_.push_back(std::move(slot));
}

void midiTrack::InsertSlot(int index, EventSlot slot) {
    if (index < 0 || index > Count()) {
        throw IndexError(index, Count());
    }
    Settle();
    const auto at = static_cast<std::size_t>(index);
    if (!slot) {
        ordered_ = false;
    } else if (ordered_) {
        const bool afterPrevious = at == 0 || SlotTime(entries_[at - 1]) <= SlotTime(slot);
        const bool beforeNext = at == entries_.size() || SlotTime(slot) <= SlotTime(entries_[at]);
        ordered_ = afterPrevious && beforeNext;
    }
    entries_.insert(entries_.begin() + index, std::move(slot));
}

void midiTrack::Put(int index, anyEvent* event) {
    CheckIndex(index);
    Settle();
    const auto at = static_cast<std::size_t>(index);
    if (entries_[at].get() == event) {
        return;
    }
    entries_[at] = MakeSlot(event, ownership_ == EventOwnership::Owned);
    if (event == nullptr) {
        ordered_ = false;
    } else if (ordered_) {
        const bool afterPrevious = at == 0 || SlotTime(entries_[at - 1]) <= event->time;
        const bool beforeNext =
            at + 1 == entries_.size() || event->time <= SlotTime(entries_[at + 1]);
        ordered_ = afterPrevious && beforeNext;
    }
}

void midiTrack::Pack() {
    Settle();
    std::erase_if(entries_, [](const EventSlot& slot) { return !slot; });
    RecheckOrder();
}

void midiTrack::Sort(bool (*less)(const anyEvent*, const anyEvent*)) {
    Settle();
    std::stable_sort(entries_.begin(), entries_.end(),
                     [less](const EventSlot& a, const EventSlot& b) {
                         if (!a || !b) {
                             return a && !b; // null entries last
                         }
                         return less(a.get(), b.get());
                     });
    RecheckOrder();
}

void midiTrack::Clear() {
    pending_.clear();
    entries_.clear();
    ordered_ = true;
}

void midiTrack::ClearEvents() {
    Clear();
}

void midiTrack::RecheckOrder() {
    ordered_ = true;
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        if (!entries_[i]) {
            ordered_ = false;
            continue;
        }
        entries_[i].get_deleter().time = entries_[i]->time;
        if (i > 0 && entries_[i - 1] && SlotTime(entries_[i - 1]) > SlotTime(entries_[i])) {
            ordered_ = false;
        }
    }
}

int midiTrack::AddEvent(anyEvent* event, bool keepOrder, bool logChange) {
    if (event == nullptr) {
        throw std::invalid_argument("AddEvent needs an event");
    }
    return Place(MakeSlot(event, ownership_ == EventOwnership::Owned), keepOrder, logChange);
}

int midiTrack::AddEvent(std::unique_ptr<anyEvent> event, bool keepOrder, bool logChange) {
    if (!event) {
        throw std::invalid_argument("AddEvent needs an event");
    }
    return Place(MakeSlot(event.release(), true), keepOrder, logChange);
}

// The new event goes after every event whose time is not greater than its
// own. While the list is in time order that place is found by binary search;
// events arriving in time order after it are held back in pending_ and merged
// in one pass at the next read, so merging whole tracks costs linear time.
int midiTrack::Place(EventSlot slot, bool keepOrder, bool logChange) {
    anyEvent* event = slot.get();
    if (song != nullptr) {
        song->TimeToPosition(event->time, event->bar, event->beat, event->tick);
    }
    if (logChange) {
        changeLog.Add(event);
    }
    if (event->Kind() == kindNoteOn) {
        const auto* note = static_cast<const NoteOnEvent*>(event);
        const std::int64_t end = static_cast<std::int64_t>(note->time) + note->duration;
        if (end > lastTime) {
            lastTime = static_cast<std::int32_t>(std::min<std::int64_t>(end, INT32_MAX));
        }
    }
    if (!keepOrder) {
        Settle();
        Append(std::move(slot));
        return 0;
    }
    const std::int32_t time = event->time;
    if (!ordered_) {
        // A list out of time order (after Put, Insert or Sort): the first
        // entry later than the event, from the start.
        std::size_t at = 0;
        while (at < entries_.size() && (!entries_[at] || entries_[at]->time <= time)) {
            ++at;
        }
        entries_.insert(entries_.begin() + static_cast<std::ptrdiff_t>(at), std::move(slot));
        return static_cast<int>(at);
    }
    if (!pending_.empty() && time < SlotTime(pending_.back())) {
        Settle();
    }
    if (pending_.empty() && (entries_.empty() || SlotTime(entries_.back()) <= time)) {
        entries_.push_back(std::move(slot));
        return static_cast<int>(entries_.size() - 1);
    }
    // Held-back events arrive in time order, so each search starts where the
    // previous one ended and gallops forward from there.
    const std::size_t count = entries_.size();
    std::size_t low = pending_.empty() ? 0 : searchFrom_; // entries before low are not later
    std::size_t high = low;
    for (std::size_t step = 1; high < count && SlotTime(entries_[high]) <= time; step *= 2) {
        low = high + 1;
        high = low + step;
    }
    high = std::min(high, count);
    const auto later = std::upper_bound(
        entries_.begin() + static_cast<std::ptrdiff_t>(low),
        entries_.begin() + static_cast<std::ptrdiff_t>(high), time,
        [](std::int32_t t, const EventSlot& entry) { return t < SlotTime(entry); });
    searchFrom_ = static_cast<std::size_t>(later - entries_.begin());
    const int index = static_cast<int>(searchFrom_ + pending_.size());
    pending_.push_back(std::move(slot));
    return index;
}

void midiTrack::Settle() const {
    if (pending_.empty()) {
        return;
    }
    // Merged from the back, so only entries later than the earliest
    // held-back event move; on equal times the entries stay first.
    std::size_t from = entries_.size();
    std::size_t taken = pending_.size();
    std::size_t to = from + taken;
    entries_.resize(to);
    while (taken > 0) {
        if (from > 0 && SlotTime(entries_[from - 1]) > SlotTime(pending_[taken - 1])) {
            entries_[--to] = std::move(entries_[--from]);
        } else {
            entries_[--to] = std::move(pending_[--taken]);
        }
    }
    pending_.clear();
}

} // namespace sorvelin
