#pragma once
// A track: events in time order, in one of two note forms. Collapsed (after
// construction): sounding notes carry their duration and no note-off event is
// present. Expanded (after ExpandNoteOffs): every sounding note has its
// note-off (a note-on of velocity 0) and the list is sorted by the event
// order. The file writer and the playback engine need the expanded form.
//
// Ownership. A part track owns the events added to it and destroys them with
// Clear, ClearEvents, Put over them, or its own destruction. The playback
// track is built with EventOwnership::Borrowed: it only points at events owned
// by the part tracks, and never destroys them. Either way, the note-offs that
// ExpandNoteOffs makes belong to the track that made them, and an event added
// with AddBorrowed (the song's General MIDI System On) is never destroyed by
// the track.
//
// An event's time is not changed while a track holds it (nothing in the
// program does): the track keeps each entry's time to find places quickly.
#include "midi/Events.h"

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace sorvelin {

class midiSong;

enum class EventOwnership { Owned, Borrowed };

// Deleter of a track entry: destroys the event only when the track owns it.
// It also carries the event's time as it was when the track placed it, so the
// placement searches read the list alone and not every event it points at.
struct EventRelease {
    bool owned = true;
    std::int32_t time = 0;
    void operator()(anyEvent* event) const noexcept {
        if (owned) {
            delete event;
        }
    }
};
using EventSlot = std::unique_ptr<anyEvent, EventRelease>;

// A track's change log: one line "+,<address>" per logged AddEvent, the
// address of the added event in decimal. It keeps the addresses and makes the
// lines when they are read: a song logs every one of its events twice.
class ChangeLog {
public:
    void Add(const anyEvent* event) { tokens_.push_back(reinterpret_cast<std::uintptr_t>(event)); }
    std::size_t size() const { return tokens_.size(); }
    bool empty() const { return tokens_.empty(); }
    void clear() { tokens_.clear(); }
    std::string operator[](std::size_t index) const; // IndexError outside the log
    std::vector<std::string> Lines() const;

private:
    std::vector<std::uintptr_t> tokens_;
};

class midiTrack {
public:
    // `name` empty: "Track" followed by `number`.
    midiTrack(midiSong* song, int number, std::string_view name,
              EventOwnership ownership = EventOwnership::Owned);
    ~midiTrack();
    midiTrack(const midiTrack&) = delete;
    midiTrack& operator=(const midiTrack&) = delete;

    // List operations. Get/EventAt raise IndexError outside 0..Count-1; an
    // entry is null only between a Put of null and the next Pack. A raw
    // pointer given to Add, Insert, Put or AddEvent is owned when the track
    // owns its events and borrowed otherwise; a unique_ptr is always owned.
    int Count() const { return static_cast<int>(entries_.size() + pending_.size()); }
    anyEvent* Get(int index) const;
    anyEvent* EventAt(int index) const { return Get(index); }
    void Add(anyEvent* event);
    void Add(std::unique_ptr<anyEvent> event);
    void AddBorrowed(anyEvent* event);
    void Insert(int index, anyEvent* event);
    void Insert(int index, std::unique_ptr<anyEvent> event);
    // Replaces the entry at `index`; an entry the track owned is destroyed.
    void Put(int index, anyEvent* event);
    // Drops null entries, keeping the order.
    void Pack();
    // Stable sort with `less`; null entries go last.
    void Sort(bool (*less)(const anyEvent*, const anyEvent*));
    // Empties the list, destroying the entries the track owns.
    void Clear();
    bool Owns(int index) const;
    EventOwnership Ownership() const { return ownership_; }

    // Fills the event's bar, beat and tick from the song, logs "+,<address>"
    // when `logChange`, raises lastTime for a sounding note, and with
    // `keepOrder` places the event after every event of the same or an
    // earlier time and returns its index; otherwise appends it and returns 0.
    int AddEvent(anyEvent* event, bool keepOrder, bool logChange);
    int AddEvent(std::unique_ptr<anyEvent> event, bool keepOrder, bool logChange);
    // Destroys the events the track owns (never the song's General MIDI
    // System On, nor borrowed events) and empties the list.
    void ClearEvents();

    void ExpandNoteOffs();
    void CollapseNoteOffs();

    // Forward searches from `from`; index or -1. Null entries never match.
    int FindKind(int from, int kind) const;
    int FindNoteOff(int from, const NoteOnEvent& note) const;
    int FindChannelMute(int from, int channel) const;

    // One MTrk chunk: expands, writes, collapses again and empties changeLog.
    void WriteTrack(std::ostream& out);

    midiSong* song = nullptr; // not owned
    bool collapsed = true;
    std::int32_t lastTime = 0; // latest note end seen
    trackEndEvent endEvent{0};
    ChangeLog changeLog;
    std::string name;

private:
    EventSlot MakeSlot(anyEvent* event, bool owned) const;
    int Place(EventSlot slot, bool keepOrder, bool logChange);
    void Append(EventSlot slot);
    void InsertSlot(int index, EventSlot slot);
    // Moves the events placed by AddEvent but not yet merged into the list.
    void Settle() const;
    void CheckIndex(int index) const;
    // Refreshes the times kept in the entries and whether they are in order.
    void RecheckOrder();
    void SortByEventOrder(std::size_t appendedFrom);

    EventOwnership ownership_;
    // The list. While ordered_ is true it holds no null entry and its times
    // never decrease, so the place of a new event is found by binary search.
    mutable std::vector<EventSlot> entries_;
    // Events placed by AddEvent whose merge into entries_ is deferred; their
    // times never decrease. Every read merges them first, so the thread that
    // builds a track also makes the first read after its last AddEvent
    // (ExpandNoteOffs does, before playback hands the track to the timer).
    mutable std::vector<EventSlot> pending_;
    // Where the place of the last held-back event was found in entries_.
    std::size_t searchFrom_ = 0;
    bool ordered_ = true;
};

} // namespace sorvelin
