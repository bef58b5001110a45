#pragma once
// A shared transport an output may offer (JACK's): whether the studio is
// rolling and where, the tempo its timebase master gives, and the means to
// start, stop and move it, or to become its timebase master. Outputs without
// one offer none.
#include <chrono>
#include <cstdint>
#include <vector>

namespace sorvelin {

// One look at the transport.
struct TransportState {
    bool rolling = false;
    // Between a start or relocate and rolling: the clients are getting
    // ready, and it rolls (again) soon.
    bool starting = false;
    std::uint32_t frame = 0;     // the transport's position, in frames
    std::uint32_t frameRate = 0; // frames per second
    // The server's own frame count where the transport reads `frame`: a
    // transport rolling on keeps the two the same distance apart.
    std::uint32_t serverFrame = 0;
    // The steady-clock moment a message must be due at so that the output
    // plays it where the transport reads `frame` (the output's own latency
    // taken off).
    std::chrono::steady_clock::time_point at{};
    // Bar, beat and tick from a timebase master, when there is one.
    bool hasBbt = false;
    std::int32_t bar = 1;  // from 1
    std::int32_t beat = 1; // from 1
    std::int32_t tick = 0; // from 0
    double ticksPerBeat = 0;
    double beatsPerBar = 4;
    double beatType = 4;
    double beatsPerMinute = 0;
};

// One clock, Start, Continue, Stop or song position message from outside,
// with the moment it arrived (for the pointer, its sixteenths).
struct SyncMessage {
    std::uint8_t status = 0;
    int sixteenths = 0;
    std::chrono::steady_clock::time_point at{};
};

// What a timebase master tells the others: the song's tempo, and the song
// time of a transport frame, so that bar and beat follow the song.
struct TimebaseSource {
    // Microseconds per quarter note.
    int tempo = 500000;
    // Ticks per quarter note the bar, beat and tick are counted in.
    int division = 120;
    int beatsPerBar = 4;
};

class MidiTransport {
public:
    virtual ~MidiTransport() = default;
    // False when the transport cannot be read (the server went away).
    virtual bool Query(TransportState& state) = 0;
    virtual void StartRolling() = 0;
    virtual void StopRolling() = 0;
    virtual void Locate(std::uint32_t frame) = 0;
    // While on, every message is placed in the server's frames as the
    // transport counts them (from the moments Query gives), not where the
    // steady clock falls on them: a song that follows the transport keeps
    // to it also when the server falls behind or runs ahead of the clock.
    virtual void KeepToTransport(bool on) = 0;
    // The clock, Start, Continue, Stop and song position messages that
    // reached the output's own MIDI input since the last call, in order.
    virtual void ReadSync(std::vector<SyncMessage>& into) = 0;
    // Offers bar, beat, tick and tempo to every client of the transport;
    // false when another client holds the role. Called again, it changes
    // what is offered.
    virtual bool BecomeTimebaseMaster(const TimebaseSource& source) = 0;
    // Gives the role back (nothing when not holding it).
    virtual void ReleaseTimebase() = 0;
    virtual bool IsTimebaseMaster() const = 0;
};

} // namespace sorvelin
