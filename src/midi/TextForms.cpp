// The one-line text forms of events and the text of meta event data.
#include "midi/Events.h"
#include "midi/Midispec.h"

#include <cstdarg>
#include <cstdio>

namespace sorvelin {
namespace {

// printf-style formatting into a std::string.
[[gnu::format(printf, 1, 2)]] std::string Format(const char* format, ...) {
    char small[256];
    va_list args;
    va_start(args, format);
    const int needed = std::vsnprintf(small, sizeof small, format, args);
    va_end(args);
    if (needed < 0) {
        return {};
    }
    if (static_cast<std::size_t>(needed) < sizeof small) {
        return std::string(small, static_cast<std::size_t>(needed));
    }
    std::string text(static_cast<std::size_t>(needed) + 1, '\0');
    va_start(args, format);
    std::vsnprintf(text.data(), text.size(), format, args);
    va_end(args);
    text.resize(static_cast<std::size_t>(needed));
    return text;
}

std::string ChannelText(std::uint8_t status) {
    return Format("Chn = %2.2d ", (status & 0x0F) + 1);
}

std::string HexBytes(const std::vector<std::uint8_t>& bytes) {
    std::string text;
    text.reserve(bytes.size() * 3);
    for (const std::uint8_t byte : bytes) {
        text += Format("%2.2X ", byte);
    }
    return text;
}

} // namespace

std::string MIDIEvent::Describe() const {
    return ChannelText(status);
}

std::string NoteOnEvent::Describe() const {
    if (velocity == 0) {
        return ChannelText(status) +
               Format("Note OFF(Vel = 0):Key %3.3d[%s]", key, NoteName(key).c_str());
    }
    return ChannelText(status) + Format("Note ON:Key %3.3d[%s] Vel = %3.3d Dur = %4.4d", key,
                                        NoteName(key).c_str(), velocity, duration);
}

std::string ControlChangeEvent::Describe() const {
    return ChannelText(status) + Format("Ctrl Chg:Data %3d ", value) + ControllerName(control);
}

std::string ProgramChangeEvent::Describe() const {
    return ChannelText(status) + Format("Prog Chg:Prog No %3d ", program) + ProgramName(program);
}

std::string PitchBendEvent::Describe() const {
    return ChannelText(status) + Format("PitchBend:Value %5d ", bend - PitchWheelCentre);
}

std::string anyEvent::PositionText() const {
    return Format("%8.8X %3.3d:%2.2d:%3.3d ", static_cast<unsigned>(time), bar + 1, beat + 1, tick);
}

std::string metaEvent::Describe() const {
    return PositionText() + Format("Meta Event:Type =%2X ", type) + HexBytes(data);
}

std::string metaEvent::DataText() const {
    std::string text;
    for (const std::uint8_t byte : data) {
        text += Format("%d ", byte);
    }
    return text;
}

std::string TempoEvent::Describe() const {
    return PositionText() + Format("Tempo = %4d usec/beat", DataValue());
}

std::string trackEndEvent::Describe() const {
    return PositionText() + "Track end: ";
}

std::string trackNameEvent::Describe() const {
    return PositionText() + DataText();
}

std::string trackNameEvent::DataText() const {
    return std::string(data.begin(), data.end());
}

std::string sysexEvent::Describe() const {
    return PositionText() + Format("Sysex:Length %5d= ", static_cast<int>(bytes.size())) +
           HexBytes(bytes);
}

} // namespace sorvelin
