#pragma once
// The plugin's audio-thread half: it follows the host's transport in song
// ticks and sends the active Score's events, each at the frame its tick
// falls on. Nothing here allocates, locks, touches a file or logs: it only
// reads Scores that the worker made and will free.
#include "plugin/Score.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace sorvelin::plugin {

// Where the events go; false when there is no room for one more.
class MidiSink {
public:
    virtual bool Put(std::uint32_t frame, const std::uint8_t* bytes, std::uint32_t size) = 0;

protected:
    ~MidiSink() = default;
};

// What a host said about its transport; a field it left out stays unset.
struct HostTime {
    bool hasBar = false;
    std::int64_t bar = 0;
    bool hasBarBeat = false;
    double barBeat = 0;
    bool hasBeat = false;
    double beat = 0;
    double beatsPerBar = 0; // 0: not said
    double beatUnit = 0;
    double bpm = 0;
    bool hasSpeed = false;
    double speed = 0;
    bool hasFrame = false;
    std::int64_t frame = 0;
};

class Player {
public:
    void SetSampleRate(double rate) { rate_ = rate > 0 ? rate : rate_; }
    // Back at the song's start, running at the song's tempo until the host
    // says otherwise, nothing sounding.
    void Activate();

    // The host's transport as it is at `frame` of this cycle. A jump ends
    // every sounding note there, as does a stop.
    void Position(const HostTime& time, std::uint32_t frame, MidiSink& out);
    // Plays the frames from `from` up to `to` of this cycle.
    void Play(std::uint32_t from, std::uint32_t to, MidiSink& out);
    // Note-offs at `frame` for every note sounding.
    void Silence(std::uint32_t frame, MidiSink& out);

    // A new render: it takes over at once when nothing plays, otherwise at
    // the next bar line. Returns the render that was waiting and will never
    // play (null for none).
    const Score* Offer(const Score* score);
    // The renders let go since the last call, one per call; null when none.
    const Score* TakeRetired();

    const Score* Active() const { return active_; }
    const Score* Pending() const { return pending_; }
    double Tick() const { return tick_; }
    bool Rolling() const { return speed_ > 0; }
    int Sounding() const;

private:
    double Bpm() const;
    double TicksPerFrame() const;
    void Send(const ScoreEvent& event, std::uint32_t frame, MidiSink& out);
    // Sends the events before `limit` ticks, placed within [from, to).
    void EmitUntil(double limit, std::uint32_t from, std::uint32_t to, MidiSink& out);
    // What a listener joining at `tick` must hear: the set-up before it and
    // the notes sounding across it.
    void Chase(double tick, std::uint32_t frame, MidiSink& out);
    void Switch(double tick, std::uint32_t frame, MidiSink& out);
    void Retire(const Score* score);

    double rate_ = 48000;
    const Score* active_ = nullptr;
    const Score* pending_ = nullptr;
    std::array<const Score*, 4> retired_{};
    std::size_t next_ = 0; // the active score's next event
    double tick_ = 0;      // the song tick at the next frame to play
    double speed_ = 1;
    double bpm_ = 0; // 0: the song's tempo
    double ticksPerBeat_ = TicksPerQuarter;
    bool hostTime_ = false;
    std::array<std::uint8_t, 16 * 128> sounding_{}; // per channel and key
};

} // namespace sorvelin::plugin
