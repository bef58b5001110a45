#pragma once
// Timed MIDI events: the in-memory form of one event of a track. Every event
// carries its absolute time in ticks from the song start; delta times exist
// only in the file writer and in playback scheduling.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace sorvelin {

// Creation serial of events: each constructor takes the current value as the
// new event's id and moves the counter on. Ids are never reused; they order
// events of equal time by creation.
extern std::atomic<std::int32_t> NextEventId;

// Class codes returned by Kind().
enum EventKind : int {
    kindAny = 0,
    kindMidi = 1,
    kindMeta = 2, // metaEvent and trackEndEvent
    kindSysex = 3,
    kindControlChange = 5,
    kindNoteOn = 6,  // a sounding note (velocity other than 0)
    kindNoteOff = 7, // a note-on with velocity 0
    kindPitchBend = 9,
    kindProgramChange = 10,
    kindTrackName = 13,
    kindTempo = 14,
};

class anyEvent {
public:
    virtual ~anyEvent() = default;
    anyEvent(const anyEvent&) = delete;
    anyEvent& operator=(const anyEvent&) = delete;

    // Reads the payload that follows the status byte from `buffer` at
    // `position`; returns the position after it. IndexError when the buffer
    // ends inside the payload.
    virtual std::size_t Parse(std::span<const std::uint8_t> buffer, std::size_t position) = 0;
    // Writes the payload only: neither the delta time nor the status byte.
    virtual void Write(std::ostream& out) const = 0;
    // One line of text describing the event.
    virtual std::string Describe() const = 0;
    virtual bool IsTrackEnd() const { return false; }
    virtual int Kind() const { return kindAny; }
    // The data bytes as text; meta events only ("" for the others).
    virtual std::string DataText() const { return {}; }

    // status & 0x0F for a channel message, -1 for system exclusive and meta.
    int EventChannel() const { return status < 0xF0 ? (status & 0x0F) : -1; }

    std::int32_t time = 0;   // absolute ticks; never negative at construction
    std::uint8_t status = 0; // 0x80-0xEF with the channel in the low nibble, 0xF0, 0xFF
    std::int32_t bar = 0;    // musical position, filled when a track adds the event
    std::int32_t beat = 0;
    std::int32_t tick = 0;
    std::int32_t id = 0; // creation serial

protected:
    anyEvent(std::int32_t time, std::uint8_t status);
    // Position prefix of the text forms of meta and system exclusive events:
    // time, bar, beat and tick.
    std::string PositionText() const;
};

// The event order: by time, events of equal time by creation.
bool EventOrder(const anyEvent* a, const anyEvent* b);

// Channel voice events; the status carries the message nibble and the channel.
class MIDIEvent : public anyEvent {
public:
    MIDIEvent(std::int32_t time, std::uint8_t status) : anyEvent(time, status) {}
    std::size_t Parse(std::span<const std::uint8_t> buffer, std::size_t position) override;
    void Write(std::ostream& out) const override;
    std::string Describe() const override;
    int Kind() const override { return kindMidi; }
};

// A note with a duration while its track is collapsed; with velocity 0 it is
// a note-off.
class NoteOnEvent : public MIDIEvent {
public:
    NoteOnEvent(std::int32_t time, std::uint8_t status, std::uint8_t key = 0,
                std::uint8_t velocity = 0, std::int32_t duration = 0);
    std::size_t Parse(std::span<const std::uint8_t> buffer, std::size_t position) override;
    void Write(std::ostream& out) const override;
    std::string Describe() const override;
    int Kind() const override { return velocity != 0 ? kindNoteOn : kindNoteOff; }

    std::uint8_t key = 0;
    std::uint8_t velocity = 0; // 0: a note-off
    std::int32_t duration = 0; // ticks
};

class ControlChangeEvent : public MIDIEvent {
public:
    ControlChangeEvent(std::int32_t time, std::uint8_t status, std::uint8_t control = 0,
                       std::uint8_t value = 0);
    std::size_t Parse(std::span<const std::uint8_t> buffer, std::size_t position) override;
    void Write(std::ostream& out) const override;
    std::string Describe() const override;
    int Kind() const override { return kindControlChange; }

    std::uint8_t control = 0;
    std::uint8_t value = 0;
};

class ProgramChangeEvent : public MIDIEvent {
public:
    ProgramChangeEvent(std::int32_t time, std::uint8_t status, std::uint8_t program = 0);
    std::size_t Parse(std::span<const std::uint8_t> buffer, std::size_t position) override;
    void Write(std::ostream& out) const override;
    std::string Describe() const override;
    int Kind() const override { return kindProgramChange; }

    std::uint8_t program = 0;
};

// The pitch wheel's centre: no bend.
inline constexpr std::int16_t PitchWheelCentre = 8192;
// Microseconds per quarter note where no tempo event says otherwise: 120
// beats per minute.
inline constexpr std::int32_t DefaultTempo = 500000;

class PitchBendEvent : public MIDIEvent {
public:
    PitchBendEvent(std::int32_t time, std::uint8_t status, std::int16_t bend = PitchWheelCentre);
    std::size_t Parse(std::span<const std::uint8_t> buffer, std::size_t position) override;
    void Write(std::ostream& out) const override;
    std::string Describe() const override;
    int Kind() const override { return kindPitchBend; }

    std::int16_t bend = PitchWheelCentre; // 0-16383
};

// Meta event (status 0xFF): a type byte and data bytes.
class metaEvent : public anyEvent {
public:
    metaEvent(std::int32_t time, std::uint8_t type);
    std::size_t Parse(std::span<const std::uint8_t> buffer, std::size_t position) override;
    void Write(std::ostream& out) const override;
    std::string Describe() const override;
    int Kind() const override { return kindMeta; }
    std::string DataText() const override;

    // Replaces the data with the bytes of `text` (no terminator); returns the
    // new length.
    int SetText(std::string_view text);
    void SetData(std::vector<std::uint8_t> bytes) { data = std::move(bytes); }
    // The data bytes read as one big-endian unsigned number.
    int DataValue() const;
    // Number of data bytes.
    std::int32_t length() const { return static_cast<std::int32_t>(data.size()); }

    std::uint8_t type = 0;
    std::vector<std::uint8_t> data;
};

// Set Tempo (meta 0x51): microseconds per quarter note in three bytes.
class TempoEvent : public metaEvent {
public:
    explicit TempoEvent(std::int32_t time) : metaEvent(time, 0x51) {}
    std::string Describe() const override;
    int Kind() const override { return kindTempo; }
    // Sets the three data bytes, most significant first.
    void SetTempo(std::int32_t microsecondsPerQuarter);
};

// End of Track (meta 0x2F), no data.
class trackEndEvent : public metaEvent {
public:
    explicit trackEndEvent(std::int32_t time) : metaEvent(time, 0x2F) {}
    std::string Describe() const override;
    bool IsTrackEnd() const override { return true; }
};

// Sequence/Track Name (meta 0x03): the name's bytes.
class trackNameEvent : public metaEvent {
public:
    explicit trackNameEvent(std::int32_t time) : metaEvent(time, 0x03) {}
    std::string Describe() const override;
    int Kind() const override { return kindTrackName; }
    std::string DataText() const override;
};

// System exclusive message: `bytes` are what follows 0xF0, closing 0xF7
// included.
class sysexEvent : public anyEvent {
public:
    sysexEvent(std::int32_t time, std::uint8_t status = 0xF0);
    std::size_t Parse(std::span<const std::uint8_t> buffer, std::size_t position) override;
    void Write(std::ostream& out) const override;
    std::string Describe() const override;
    int Kind() const override { return kindSysex; }

    std::vector<std::uint8_t> bytes;
};

} // namespace sorvelin
