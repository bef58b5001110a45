#pragma once
// The timed playback engine: sends a time-ordered track to the open MIDI
// output in real time, and offers the immediate messages other windows send
// outside playback (a program change with bank select, a note-on, a single
// event) and a stop that silences every channel.
//
// Pacing follows the song's own clock. Each group of events that share a
// time is due at the exact moment its ticks give from the start of the song
// (tempo changes integrated from their own time on, in nanoseconds, without
// rounding that accumulates), and the timer waits for that moment. A late
// wake-up therefore delays one group, never the rest of the song.
//
// Ownership. The engine holds the track it plays, and through the pointer's
// ownership whatever that track points into (its song, the events it
// borrows), from StartPlayback until the next start, a stop or the engine's
// end; it lets go of it on the thread that calls those. Whoever made the song
// may therefore drop its own reference at any moment, also mid-song.
//
// Threads. StartPlayback, StopPlayback and the immediate messages run on the
// window thread; each timer callback runs on the timer service's thread.
// The play state is atomic and the group sending is serialised with the
// window thread's start and stop by one lock, so a stop is final: once
// StopPlayback returns no timer is pending and no callback sends anything.
// The end handler and the message callback may be called on the timer
// thread; the window layer hands them to its own thread (a queued call) and
// must not block there waiting for the window thread.
#include "base/Timer.h"
#include "midi/Events.h"
#include "midi/Mididata.h"
#include "output/OutputHandle.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace sorvelin {

inline constexpr const char* kTimerError = "Timer Error";
inline constexpr const char* kSendFailedMessage =
    "The MIDI output refused some messages of the song; every channel was silenced at its end.";

// Playing round and round until Stop. Each pass after the first starts at
// the first event at or after `from`, and tick `from` of the new pass falls
// on tick `to` of the pass before: the seam. Events of a pass at or after
// `to` are left out (the song's closing events), except note-offs, which go
// out at the seam before the next pass starts, so nothing sounds across it.
struct PlaybackLoop {
    std::int32_t from = 0;
    std::int32_t to = 0;
};

// Where a song is entered when another clock leads (a studio's transport):
// at the first event at or after `ticks`, with `ticks` due at `moment`.
// A `tempo` (microseconds per quarter note) paces the song in place of its
// own Set Tempo events; 0 keeps the song's.
struct PlaybackEntry {
    std::int32_t ticks = 0;
    TimerService::TimePoint moment{};
    int tempo = 0;
};

class PlaybackEngine {
public:
    using PlayEndHandlerFn = std::function<void(void* context)>;
    using MessageFn = std::function<void(const std::string&)>;

    // The output handle and the timer service must outlive the engine.
    PlaybackEngine(OutputHandle& output, TimerService& timer);
    // Stops a playing song without notifying anyone.
    ~PlaybackEngine();
    PlaybackEngine(const PlaybackEngine&) = delete;
    PlaybackEngine& operator=(const PlaybackEngine&) = delete;

    // Called with `context` whenever playback ends or is stopped. Clearing
    // (an empty handler) waits for a call in progress on the timer thread.
    void SetPlayEndHandler(PlayEndHandlerFn handler, void* context);
    void ClearPlayEndHandler() { SetPlayEndHandler(nullptr, nullptr); }
    // Where "Timer Error" and the output's error texts are shown.
    void SetMessageCallback(MessageFn show);

    // Expands the track's note-offs (once: a track played before is already
    // expanded and is played as it is) and sends its first group at once;
    // the rest follows on the timer. Does nothing with an empty track or no
    // open output; with an output whose server went away it shows why. A track whose events all
    // share one time is sent at once and never becomes playing. With a loop whose pass holds an
    // event and lasts a tick or more, playback runs until StopPlayback.
    void StartPlayback(std::shared_ptr<midiTrack> track,
                       std::optional<PlaybackLoop> loop = std::nullopt);
    // Enters the track at a position: what the song set up before it
    // (programs, controllers, the wheel) is sent at once, its notes are not,
    // and the rest follows from `entry.ticks` on. A song already playing is
    // silenced first, without the end handler: playback goes on from there.
    void StartPlaybackAt(std::shared_ptr<midiTrack> track, const PlaybackEntry& entry);
    // Moves the song clock of a playing song: `entry.ticks` is due at
    // `entry.moment`, and the song goes on at `entry.tempo` from there.
    void Retime(const PlaybackEntry& entry);

    // MIDI clock with the song: at a start the song position pointer and
    // Start (Continue when entered past the beginning), 24 clocks per quarter
    // note at the song's tempo from its first tick on, running on across a
    // loop's seam, and Stop at a stop and at the song's end. Read at each
    // start; off unless set.
    void SetSendClock(bool on) { sendClock_ = on; }
    bool SendsClock() const { return sendClock_.load(); }
    // Cancels playback, then calls the end handler and silences every
    // channel (also when idle). With no output open (closed while the song
    // played) nothing can be silenced, but a song that was playing still
    // ends, so the window's Play comes back.
    void StopPlayback();
    bool IsPlaying() const { return playing_.load(); }
    // When the open output's server goes away (a JACK server quits, the
    // sound server behind the synthesizer dies) a playing song stops at
    // once: every channel is silenced where the output still takes it, the
    // output's text for the failure is shown and the end handler is called.

    // One event by its status: channel messages as short messages, system
    // exclusive as a long message, Set Tempo changes CurrentTempo only.
    void SendEvent(const anyEvent& event);
    // Bank select MSB and LSB, program change, then a 3 ms pause.
    void SendProgramChange(int channel, int bankMsb, int bankLsb, int program);
    void SendNoteOn(int channel, int key, int velocity);
    // All Sound Off then Reset All Controllers, channel 0 to 15.
    void SilenceAllChannels();
    // The status byte followed by exactly the event's bytes, as one long
    // message; waits until the output has taken it.
    void SendSysEx(const sysexEvent& event);

    int CurrentTempo() const { return currentTempo_.load(); }
    std::uint32_t TimerId() const { return timerId_.load(); }
    int PlayIndex() const { return playIndex_.load(); }
    // The song time reached: the ticks of the last group sent (within its
    // pass when looping); -1 while nothing plays. Read by the window's own
    // timer to show where the song is.
    std::int32_t SongTicks() const { return playing_.load() ? songTicks_.load() : -1; }

private:
    using TimePoint = TimerService::TimePoint;

    void TimerTick(std::uint64_t session);
    // Sends the group of events at the play index; false when a stop came
    // in between.
    bool SendGroup();
    // Looping: where the next pass starts, or nothing when the track gives no
    // pass to repeat. Needs the events and their song.
    void PrepareLoop(const std::optional<PlaybackLoop>& loop, midiSong* song);
    bool AtSeam() const { return looping_ && playIndex_.load() >= passEnd_; }
    // Ends the pass's notes and moves the song clock to the next pass.
    void Seam();
    // When whatever is next goes to the output: the next group, or the seam,
    // or the next clock, less the output's lead.
    TimePoint NextDue() const;
    // Due moment of the next group or seam (not less the lead).
    TimePoint NextSongDue() const;
    // Due moment of clock `index`: clocks count from the song's first tick
    // of its first pass, each division / 24 ticks after the one before.
    TimePoint ClockDue(std::int64_t index) const;
    void SendClock();
    // SPP, Start or Continue, for a song entered at `ticks`.
    void StartClock(std::int32_t ticks);
    // The common part of both starts; `entry` null: from the beginning.
    void Begin(std::shared_ptr<midiTrack> track, const std::optional<PlaybackLoop>& loop,
               const PlaybackEntry* entry);
    // Sends what the song set up before the play index, without its notes.
    void Chase();
    // Moment the song clock reaches `ticks`.
    TimePoint DueTime(std::int32_t ticks) const;
    // Moment the group at `ticks` is handed to the output: its due moment,
    // less the output's lead.
    TimePoint WakeTime(std::int32_t ticks) const;
    // SendEvent with the group's due moment for an output that plays ahead
    // (null: at once).
    void SendEventAt(const anyEvent& event, const TimePoint* due);
    int SendShort(std::uint32_t packed, const TimePoint* due);
    void FollowTempo(std::int32_t ticks);
    std::uint32_t RequestTimer(TimePoint due, std::uint64_t session);
    // Notes a message the open output refused (no output at all is not a
    // refusal: closing it already silenced what it played).
    void Check(int result);
    void NotifyPlayEnd();
    void Show(const std::string& text);
    // Cancels playback and lets go of the track; true when a song was playing.
    bool Halt();
    // The open output failed for good (on the output's thread): the rest is
    // done on the timer's thread, which may wait for the play lock.
    void OutputFailed(int code);
    void EndAfterFailure();
    // Halt, and whether the halted song was sending clock.
    bool Halt(bool& clockWasOn);

    OutputHandle& output_;
    TimerService& timer_;

    std::atomic<bool> playing_{false};
    std::atomic<bool> stopRequested_{false};
    // A message of the song the output refused: its note-off may be lost.
    std::atomic<bool> sendFailed_{false};
    std::atomic<int> playIndex_{0};
    std::atomic<int> currentTempo_{DefaultTempo};
    std::atomic<std::uint32_t> timerId_{0};
    std::atomic<std::int32_t> songTicks_{0};
    std::atomic<int> failure_{0};
    std::atomic<std::uint32_t> failureTimerId_{0};

    // Held while a group is sent and the next timer requested, and while a
    // start or stop changes the fields below.
    std::mutex playMutex_;
    std::uint64_t session_ = 0;        // a timer of an older session does nothing
    std::shared_ptr<midiTrack> track_; // keeps alive what events_ points at
    std::vector<const anyEvent*> events_;
    std::int32_t division_ = 120;
    TimePoint anchorTime_{};
    std::int32_t anchorTicks_ = 0;
    int anchorTempo_ = DefaultTempo;
    bool looping_ = false;
    PlaybackLoop loop_;
    int loopFirst_ = 0; // index of the first event of a repeated pass
    int passEnd_ = 0;   // index of the first event at or after loop_.to
    int loopTempo_ = DefaultTempo;
    std::chrono::nanoseconds lead_{0}; // the output's, read at the start
    bool tempoLocked_ = false;         // an entry's tempo, not the song's, paces it
    std::atomic<bool> sendClock_{false};
    bool clockOn_ = false;        // this song sends clock
    std::int64_t clockNext_ = 0;  // the next clock to send
    std::int64_t passOffset_ = 0; // ticks of the passes played before this one

    std::mutex handlerMutex_;
    PlayEndHandlerFn playEndHandler_;
    void* playEndContext_ = nullptr;
    std::mutex showMutex_;
    MessageFn show_;
};

// The device window's hidden diagnostic: on channel 1, program 0 of bank 0,
// six notes held for two seconds, then released. Nothing without an output.
void RunErrorTest(PlaybackEngine& engine, const OutputHandle& output, TimerService& timer);

} // namespace sorvelin
