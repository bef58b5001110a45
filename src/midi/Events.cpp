#include "midi/Events.h"

#include "base/Errors.h"
#include "midi/SmfIo.h"

namespace sorvelin {

std::atomic<std::int32_t> NextEventId{0};

namespace {

std::uint8_t ByteAt(std::span<const std::uint8_t> buffer, std::size_t position) {
    if (position >= buffer.size()) {
        throw IndexError(static_cast<long long>(position), static_cast<long long>(buffer.size()));
    }
    return buffer[position];
}

} // namespace

anyEvent::anyEvent(std::int32_t time_, std::uint8_t status_)
    : time(time_ < 0 ? 0 : time_), status(status_), id(NextEventId.fetch_add(1)) {}

bool EventOrder(const anyEvent* a, const anyEvent* b) {
    if (a->time != b->time) {
        return a->time < b->time;
    }
    return a->id < b->id;
}

std::size_t MIDIEvent::Parse(std::span<const std::uint8_t>, std::size_t position) {
    return position;
}

void MIDIEvent::Write(std::ostream&) const {}

NoteOnEvent::NoteOnEvent(std::int32_t time_, std::uint8_t status_, std::uint8_t key_,
                         std::uint8_t velocity_, std::int32_t duration_)
    : MIDIEvent(time_, status_), key(key_), velocity(velocity_), duration(duration_) {}

std::size_t NoteOnEvent::Parse(std::span<const std::uint8_t> buffer, std::size_t position) {
    key = ByteAt(buffer, position);
    velocity = ByteAt(buffer, position + 1);
    if (velocity == 0) {
        status ^= 0x10; // a note-on of velocity 0 is read as a note-off
    }
    return position + 2;
}

void NoteOnEvent::Write(std::ostream& out) const {
    WriteByte(out, key);
    WriteByte(out, velocity);
}

ControlChangeEvent::ControlChangeEvent(std::int32_t time_, std::uint8_t status_,
                                       std::uint8_t control_, std::uint8_t value_)
    : MIDIEvent(time_, status_), control(control_), value(value_) {}

std::size_t ControlChangeEvent::Parse(std::span<const std::uint8_t> buffer, std::size_t position) {
    control = ByteAt(buffer, position);
    value = ByteAt(buffer, position + 1);
    return position + 2;
}

void ControlChangeEvent::Write(std::ostream& out) const {
    WriteByte(out, control);
    WriteByte(out, value);
}

ProgramChangeEvent::ProgramChangeEvent(std::int32_t time_, std::uint8_t status_,
                                       std::uint8_t program_)
    : MIDIEvent(time_, status_), program(program_) {}

std::size_t ProgramChangeEvent::Parse(std::span<const std::uint8_t> buffer, std::size_t position) {
    program = ByteAt(buffer, position);
    return position + 1;
}

void ProgramChangeEvent::Write(std::ostream& out) const {
    WriteByte(out, program);
}

PitchBendEvent::PitchBendEvent(std::int32_t time_, std::uint8_t status_, std::int16_t bend_)
    : MIDIEvent(time_, status_), bend(bend_) {}

std::size_t PitchBendEvent::Parse(std::span<const std::uint8_t> buffer, std::size_t position) {
    const int low = ByteAt(buffer, position);
    const int high = ByteAt(buffer, position + 1);
    bend = static_cast<std::int16_t>(low + high * 128);
    return position + 2;
}

void PitchBendEvent::Write(std::ostream& out) const {
    WriteByte(out, static_cast<unsigned>(bend) & 0x7F);
    WriteByte(out, (static_cast<unsigned>(bend) >> 7) & 0x7F);
}

metaEvent::metaEvent(std::int32_t time_, std::uint8_t type_) : anyEvent(time_, 0xFF), type(type_) {}

std::size_t metaEvent::Parse(std::span<const std::uint8_t> buffer, std::size_t position) {
    type = ByteAt(buffer, position);
    std::uint32_t count = 0;
    position = ReadVarLen(buffer, position + 1, count);
    if (count > buffer.size() - position) {
        throw IndexError(static_cast<long long>(position + count),
                         static_cast<long long>(buffer.size()));
    }
    data.assign(buffer.begin() + static_cast<std::ptrdiff_t>(position),
                buffer.begin() + static_cast<std::ptrdiff_t>(position + count));
    return position + count;
}

void metaEvent::Write(std::ostream& out) const {
    WriteByte(out, type);
    WriteVarLen(out, static_cast<std::uint32_t>(data.size()));
    for (const std::uint8_t byte : data) {
        WriteByte(out, byte);
    }
}

int metaEvent::SetText(std::string_view text) {
    data.assign(text.begin(), text.end());
    return length();
}

int metaEvent::DataValue() const {
    std::uint32_t value = 0;
    for (const std::uint8_t byte : data) {
        value = (value << 8) + byte;
    }
    return static_cast<int>(value);
}

void TempoEvent::SetTempo(std::int32_t microsecondsPerQuarter) {
    const auto value = static_cast<std::uint32_t>(microsecondsPerQuarter);
    data = {static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 8),
            static_cast<std::uint8_t>(value)};
}

sysexEvent::sysexEvent(std::int32_t time_, std::uint8_t status_) : anyEvent(time_, status_) {}

std::size_t sysexEvent::Parse(std::span<const std::uint8_t> buffer, std::size_t position) {
    std::uint32_t count = 0;
    position = ReadVarLen(buffer, position, count);
    if (count > buffer.size() - position) {
        throw IndexError(static_cast<long long>(position + count),
                         static_cast<long long>(buffer.size()));
    }
    bytes.assign(buffer.begin() + static_cast<std::ptrdiff_t>(position),
                 buffer.begin() + static_cast<std::ptrdiff_t>(position + count));
    return position + count;
}

void sysexEvent::Write(std::ostream& out) const {
    WriteVarLen(out, static_cast<std::uint32_t>(bytes.size()));
    for (const std::uint8_t byte : bytes) {
        WriteByte(out, byte);
    }
}

} // namespace sorvelin
