#include "output/PlaybackEngine.h"

#include <algorithm>
#include <utility>

namespace sorvelin {
namespace {

constexpr int kSysExPollMs = 10;
constexpr int kProgramChangePauseMs = 3;
// The first timer is never asked for less than this after the start.
constexpr auto kFirstDelayMin = std::chrono::milliseconds(1);

std::uint8_t DataByte(int value) {
    return static_cast<std::uint8_t>(value & 0x7F);
}

} // namespace

PlaybackEngine::PlaybackEngine(OutputHandle& output, TimerService& timer)
    : output_(output), timer_(timer) {
    output_.SetFailureHandler([this](int code) { OutputFailed(code); });
}

PlaybackEngine::~PlaybackEngine() {
    output_.SetFailureHandler(nullptr);
    timer_.KillEvent(failureTimerId_.load());
    Halt();
}

void PlaybackEngine::OutputFailed(int code) {
    failure_ = code;
    failureTimerId_ = timer_.SetEventAt(timer_.Now(), [this] { EndAfterFailure(); });
}

void PlaybackEngine::EndAfterFailure() {
    const bool wasPlaying = Halt();
    if (wasPlaying) {
        SilenceAllChannels();
    }
    Show(output_.ErrorText(failure_.load()));
    if (wasPlaying) {
        NotifyPlayEnd();
    }
}

void PlaybackEngine::SetPlayEndHandler(PlayEndHandlerFn handler, void* context) {
    std::lock_guard lock(handlerMutex_);
    playEndHandler_ = std::move(handler);
    playEndContext_ = context;
}

void PlaybackEngine::SetMessageCallback(MessageFn show) {
    std::lock_guard lock(showMutex_);
    show_ = std::move(show);
}

void PlaybackEngine::NotifyPlayEnd() {
    std::lock_guard lock(handlerMutex_);
    if (playEndHandler_) {
        playEndHandler_(playEndContext_);
    }
}

void PlaybackEngine::Show(const std::string& text) {
    std::lock_guard lock(showMutex_);
    if (show_) {
        show_(text);
    }
}

// ---- immediate messages ----

void PlaybackEngine::Check(int result) {
    if (result != 0 && result != kMidiErrInvalidHandle) {
        sendFailed_ = true;
    }
}

void PlaybackEngine::SendEvent(const anyEvent& event) {
    SendEventAt(event, nullptr);
}

int PlaybackEngine::SendShort(std::uint32_t packed, const TimePoint* due) {
    return due != nullptr ? output_.ShortMsgAt(packed, *due) : output_.ShortMsg(packed);
}

void PlaybackEngine::SendEventAt(const anyEvent& event, const TimePoint* due) {
    const std::uint8_t status = event.status;
    if (status == 0xF0 || status == 0xF7) {
        if (const auto* sysex = dynamic_cast<const sysexEvent*>(&event)) {
            SendSysEx(*sysex);
        }
        return;
    }
    if (status == 0xFF) {
        const auto* meta = dynamic_cast<const metaEvent*>(&event);
        // A Set Tempo with fewer than three data bytes carries no tempo.
        if (meta != nullptr && meta->type == 0x51 && meta->data.size() >= 3) {
            currentTempo_ = (meta->data[0] << 16) | (meta->data[1] << 8) | meta->data[2];
        }
        return;
    }
    switch (status & 0xF0) {
    case 0x80:
    case 0x90:
        if (const auto* note = dynamic_cast<const NoteOnEvent*>(&event)) {
            Check(SendShort(PackShortMsg(status, note->key, note->velocity), due));
        }
        break;
    case 0xB0:
        if (const auto* control = dynamic_cast<const ControlChangeEvent*>(&event)) {
            Check(SendShort(PackShortMsg(status, control->control, control->value), due));
        }
        break;
    case 0xC0:
        if (const auto* program = dynamic_cast<const ProgramChangeEvent*>(&event)) {
            Check(SendShort(PackShortMsg(status, program->program), due));
        }
        break;
    case 0xE0:
        if (const auto* bend = dynamic_cast<const PitchBendEvent*>(&event)) {
            const int value = bend->bend;
            Check(SendShort(PackShortMsg(status, DataByte(value), DataByte(value >> 7)), due));
        }
        break;
    default: // key and channel pressure, system common and real-time
        break;
    }
}

void PlaybackEngine::SendProgramChange(int channel, int bankMsb, int bankLsb, int program) {
    const auto control = static_cast<std::uint8_t>(0xB0 | (channel & 0x0F));
    output_.ShortMsg(PackShortMsg(control, 0, DataByte(bankMsb)));
    output_.ShortMsg(PackShortMsg(control, 32, DataByte(bankLsb)));
    output_.ShortMsg(
        PackShortMsg(static_cast<std::uint8_t>(0xC0 | (channel & 0x0F)), DataByte(program)));
    timer_.Sleep(kProgramChangePauseMs);
}

void PlaybackEngine::SendNoteOn(int channel, int key, int velocity) {
    output_.ShortMsg(PackShortMsg(static_cast<std::uint8_t>(0x90 | (channel & 0x0F)), DataByte(key),
                                  DataByte(velocity)));
}

void PlaybackEngine::SilenceAllChannels() {
    for (const std::uint32_t message : SilenceMessages()) {
        output_.ShortMsg(message);
    }
}

void PlaybackEngine::SendSysEx(const sysexEvent& event) {
    std::vector<std::uint8_t> message;
    message.reserve(event.bytes.size() + 1);
    message.push_back(event.status);
    message.insert(message.end(), event.bytes.begin(), event.bytes.end());
    const int result = output_.LongMsg(message, [this] { timer_.Sleep(kSysExPollMs); });
    if (result != kMidiOk) {
        Show(output_.ErrorText(result));
    }
}

// ---- the song clock ----

PlaybackEngine::TimePoint PlaybackEngine::DueTime(std::int32_t ticks) const {
    // Nanoseconds = gap x tempo x 1000 / division, split so that no product
    // leaves 64 bits: even 2^31 ticks at the slowest tempo (about ten years)
    // fit, while gap x tempo x 1000 alone would not.
    const std::int64_t gap = static_cast<std::int64_t>(ticks) - anchorTicks_;
    const std::int64_t perQuarter = static_cast<std::int64_t>(anchorTempo_) * 1000;
    const std::int64_t nanos =
        gap * (perQuarter / division_) + gap * (perQuarter % division_) / division_;
    return anchorTime_ + std::chrono::duration_cast<TimerService::Clock::duration>(
                             std::chrono::nanoseconds(nanos));
}

PlaybackEngine::TimePoint PlaybackEngine::WakeTime(std::int32_t ticks) const {
    return DueTime(ticks) - std::chrono::duration_cast<TimerService::Clock::duration>(lead_);
}

// A Set Tempo sent with the group at `ticks` paces the song from that time on.
void PlaybackEngine::FollowTempo(std::int32_t ticks) {
    const int tempo = currentTempo_.load();
    if (tempo != anchorTempo_ && !tempoLocked_) {
        anchorTime_ = DueTime(ticks);
        anchorTicks_ = ticks;
        anchorTempo_ = tempo;
    }
}

std::uint32_t PlaybackEngine::RequestTimer(TimePoint due, std::uint64_t session) {
    const std::uint32_t id = timer_.SetEventAt(due, [this, session] { TimerTick(session); });
    if (id != 0) {
        timerId_ = id;
    }
    return id;
}

bool PlaybackEngine::SendGroup() {
    const int count = static_cast<int>(events_.size());
    int index = playIndex_.load();
    const std::int32_t groupTime = events_[static_cast<std::size_t>(index)]->time;
    // An output with its own clock gets the group ahead, with its due moment.
    const TimePoint groupDue = DueTime(groupTime);
    const TimePoint* due = lead_.count() > 0 ? &groupDue : nullptr;
    while (index < count && events_[static_cast<std::size_t>(index)]->time == groupTime) {
        if (stopRequested_.load()) {
            return false;
        }
        SendEventAt(*events_[static_cast<std::size_t>(index)], due);
        playIndex_ = ++index;
    }
    songTicks_ = groupTime;
    FollowTempo(groupTime);
    return true;
}

// ---- looping ----

void PlaybackEngine::PrepareLoop(const std::optional<PlaybackLoop>& loop, midiSong* song) {
    looping_ = false;
    if (!loop || loop->to <= loop->from) {
        return;
    }
    const auto first = std::find_if(events_.begin(), events_.end(),
                                    [&](const anyEvent* e) { return e->time >= loop->from; });
    const auto end =
        std::find_if(first, events_.end(), [&](const anyEvent* e) { return e->time >= loop->to; });
    if (first == end) {
        return; // a pass without events would spin for ever
    }
    loop_ = *loop;
    loopFirst_ = static_cast<int>(first - events_.begin());
    passEnd_ = static_cast<int>(end - events_.begin());
    loopTempo_ = song != nullptr ? song->TempoAt(loop->from) : DefaultTempo;
    looping_ = true;
}

void PlaybackEngine::Seam() {
    // An output that plays ahead ends the pass's notes at the seam itself.
    const TimePoint seamDue = DueTime(loop_.to);
    for (std::size_t i = static_cast<std::size_t>(passEnd_); i < events_.size(); ++i) {
        const anyEvent& event = *events_[i];
        const bool noteOff = (event.status & 0xF0) == 0x80 || event.Kind() == kindNoteOff;
        if (noteOff && !stopRequested_.load()) {
            SendEventAt(event, lead_.count() > 0 ? &seamDue : nullptr);
        }
    }
    anchorTime_ = seamDue;
    anchorTicks_ = loop_.from;
    passOffset_ += static_cast<std::int64_t>(loop_.to) - loop_.from;
    if (!tempoLocked_) {
        anchorTempo_ = loopTempo_;
        currentTempo_ = loopTempo_;
    }
    playIndex_ = loopFirst_;
}

PlaybackEngine::TimePoint PlaybackEngine::NextSongDue() const {
    return DueTime(AtSeam() ? loop_.to
                            : events_[static_cast<std::size_t>(playIndex_.load())]->time);
}

PlaybackEngine::TimePoint PlaybackEngine::NextDue() const {
    const auto lead = std::chrono::duration_cast<TimerService::Clock::duration>(lead_);
    const TimePoint song = NextSongDue();
    return (clockOn_ ? std::min(song, ClockDue(clockNext_)) : song) - lead;
}

// ---- MIDI clock ----

PlaybackEngine::TimePoint PlaybackEngine::ClockDue(std::int64_t index) const {
    // In 24ths of a tick, so that a division that 24 does not divide still
    // gives every clock its exact moment; split as in DueTime so that no
    // product leaves 64 bits.
    const std::int64_t gap =
        index * division_ -
        kClocksPerQuarter * (static_cast<std::int64_t>(anchorTicks_) + passOffset_);
    const std::int64_t perQuarter = static_cast<std::int64_t>(anchorTempo_) * 1000;
    const std::int64_t unit = std::int64_t{kClocksPerQuarter} * division_;
    const std::int64_t nanos = gap * (perQuarter / unit) + gap * (perQuarter % unit) / unit;
    return anchorTime_ + std::chrono::duration_cast<TimerService::Clock::duration>(
                             std::chrono::nanoseconds(nanos));
}

void PlaybackEngine::SendClock() {
    const TimePoint due = ClockDue(clockNext_);
    Check(SendShort(PackShortMsg(kMidiClock), lead_.count() > 0 ? &due : nullptr));
    ++clockNext_;
}

void PlaybackEngine::StartClock(std::int32_t ticks) {
    clockOn_ = sendClock_.load();
    if (!clockOn_) {
        return;
    }
    // The first clock on or after the entry; the pointer counts sixteenths.
    const std::int64_t scaled = std::int64_t{ticks} * kClocksPerQuarter;
    clockNext_ = scaled / division_ + (scaled % division_ > 0 ? 1 : 0);
    const int sixteenths = static_cast<int>(std::int64_t{ticks} * 4 / division_);
    const TimePoint due = anchorTime_;
    const TimePoint* at = lead_.count() > 0 ? &due : nullptr;
    Check(SendShort(PackSongPosition(sixteenths), at));
    Check(SendShort(PackShortMsg(sixteenths == 0 ? kMidiStart : kMidiContinue), at));
}

// ---- start, tick, stop ----

void PlaybackEngine::StartPlayback(std::shared_ptr<midiTrack> track,
                                   std::optional<PlaybackLoop> loop) {
    Begin(std::move(track), loop, nullptr);
}

void PlaybackEngine::StartPlaybackAt(std::shared_ptr<midiTrack> track, const PlaybackEntry& entry) {
    Begin(std::move(track), std::nullopt, &entry);
}

void PlaybackEngine::Chase() {
    const int first = playIndex_.load();
    for (int i = 0; i < first && !stopRequested_.load(); ++i) {
        const anyEvent& event = *events_[static_cast<std::size_t>(i)];
        const int kind = event.status & 0xF0;
        const bool note = kind == 0x80 || kind == 0x90 || event.Kind() == kindNoteOff;
        const bool tempo = event.status == 0xFF;
        if (!note && !(tempo && tempoLocked_)) {
            SendEventAt(event, nullptr);
        }
    }
}

void PlaybackEngine::Begin(std::shared_ptr<midiTrack> track,
                           const std::optional<PlaybackLoop>& loop, const PlaybackEntry* entry) {
    if (!track || track->Count() == 0 || !output_.IsOpen()) {
        return;
    }
    if (const int failure = output_.Failure(); failure != kMidiOk) {
        Show(output_.ErrorText(failure));
        return;
    }
    if (playing_.load()) {
        // The window never starts while playing; a follower moves the song
        // on, and nothing of the old position may keep sounding.
        bool clockWasOn = false;
        Halt(clockWasOn);
        if (entry != nullptr) {
            if (clockWasOn) {
                output_.ShortMsg(PackShortMsg(kMidiStop));
            }
            SilenceAllChannels();
        }
    }
    // Expanding does nothing on an expanded track, so a track started again
    // keeps one note-off per note.
    track->ExpandNoteOffs();

    std::shared_ptr<midiTrack> previous; // let go of after the lock
    std::unique_lock lock(playMutex_);
    const std::uint64_t session = ++session_;
    previous = std::exchange(track_, track);
    events_.clear();
    for (int i = 0; i < track->Count(); ++i) {
        if (const anyEvent* event = track->EventAt(i)) {
            events_.push_back(event);
        }
    }
    if (events_.empty()) {
        return;
    }
    const std::int32_t t0 = entry != nullptr ? entry->ticks : events_.front()->time;
    midiSong* song = track->song;
    division_ = song != nullptr && song->division != 0 ? song->division : 120;
    const int songTempo = song != nullptr ? song->TempoAt(t0) : DefaultTempo;
    tempoLocked_ = entry != nullptr && entry->tempo > 0;
    currentTempo_ = tempoLocked_ ? entry->tempo : songTempo;
    stopRequested_ = false;
    sendFailed_ = false;
    playIndex_ = 0;
    anchorTime_ = entry != nullptr ? entry->moment : timer_.Now();
    anchorTicks_ = t0;
    anchorTempo_ = currentTempo_.load();
    passOffset_ = 0;
    lead_ = output_.Lead();
    PrepareLoop(loop, song);
    const bool oneMoment = events_.front()->time == events_.back()->time && !looping_;

    if (entry != nullptr) {
        const auto first = std::find_if(events_.begin(), events_.end(),
                                        [t0](const anyEvent* e) { return e->time >= t0; });
        playIndex_ = static_cast<int>(first - events_.begin());
        Chase();
        if (first == events_.end()) {
            return; // entered past the song's end: nothing is left to play
        }
        StartClock(t0);
    } else {
        if (!oneMoment) {
            StartClock(t0);
        }
        // The clock due with the first group goes just before it.
        while (clockOn_ && ClockDue(clockNext_) <= anchorTime_) {
            SendClock();
        }
        SendGroup();
        if (playIndex_.load() >= static_cast<int>(events_.size()) && !looping_) {
            return; // the whole song was one moment: it never becomes playing
        }
    }
    const TimePoint due = entry != nullptr ? std::max(NextDue(), timer_.Now())
                                           : std::max(NextDue(), anchorTime_ + kFirstDelayMin);
    if (RequestTimer(due, session) == 0) {
        clockOn_ = false;
        lock.unlock();
        Show(kTimerError);
        return;
    }
    playing_ = true;
}

void PlaybackEngine::Retime(const PlaybackEntry& entry) {
    std::lock_guard lock(playMutex_);
    if (!playing_.load() || events_.empty()) {
        return;
    }
    // A new session: the timer asked for under the old pace does nothing.
    const std::uint64_t session = ++session_;
    anchorTime_ = entry.moment;
    anchorTicks_ = entry.ticks;
    passOffset_ = 0;
    if (entry.tempo > 0) {
        tempoLocked_ = true;
        anchorTempo_ = entry.tempo;
        currentTempo_ = entry.tempo;
    }
    if (clockOn_) {
        const std::int64_t scaled = std::int64_t{entry.ticks} * kClocksPerQuarter;
        clockNext_ = scaled / division_ + (scaled % division_ > 0 ? 1 : 0);
    }
    RequestTimer(std::max(NextDue(), timer_.Now()), session);
}

void PlaybackEngine::TimerTick(std::uint64_t session) {
    std::unique_lock lock(playMutex_);
    if (session != session_ || stopRequested_.load()) {
        return; // stopped (and silenced) already
    }
    const int count = static_cast<int>(events_.size());
    if (playIndex_.load() >= count && !looping_) {
        if (clockOn_) {
            output_.ShortMsg(PackShortMsg(kMidiStop));
            clockOn_ = false;
        }
        SilenceAllChannels();
        playing_ = false;
        lock.unlock();
        NotifyPlayEnd();
        return;
    }
    for (;;) {
        if (clockOn_ && ClockDue(clockNext_) <= NextSongDue()) {
            SendClock();
        } else if (AtSeam()) {
            Seam();
        } else if (!SendGroup()) {
            return;
        }
        if (playIndex_.load() >= count && !looping_) {
            if (clockOn_) {
                // The clock ends with the song's last moment.
                const TimePoint end = DueTime(songTicks_.load());
                Check(SendShort(PackShortMsg(kMidiStop), lead_.count() > 0 ? &end : nullptr));
                clockOn_ = false;
            }
            // Natural end: the song's own note-offs have ended the sound,
            // unless the output refused some of them.
            const bool refused = sendFailed_.exchange(false);
            if (refused) {
                SilenceAllChannels();
            }
            playing_ = false;
            lock.unlock();
            if (refused) {
                Show(kSendFailedMessage);
            }
            NotifyPlayEnd();
            return;
        }
        const TimePoint due = NextDue();
        if (due <= timer_.Now()) {
            continue; // already due: no timer to wait for
        }
        if (RequestTimer(due, session) == 0) {
            // Playback halts here; Playing stays set until the user stops.
            lock.unlock();
            Show(kTimerError);
        }
        return;
    }
}

bool PlaybackEngine::Halt() {
    bool clockWasOn = false;
    return Halt(clockWasOn);
}

bool PlaybackEngine::Halt(bool& clockWasOn) {
    stopRequested_ = true;
    std::uint32_t id = 0;
    bool wasPlaying = false;
    std::shared_ptr<midiTrack> played;
    {
        std::lock_guard lock(playMutex_);
        ++session_;
        clockWasOn = std::exchange(clockOn_, false);
        id = timerId_.load();
        wasPlaying = playing_.exchange(false);
        events_.clear();
        played = std::move(track_);
    }
    // The lock is released first: a callback that is running waits for it,
    // then finds its session over and returns without sending anything.
    // The track goes last, once no callback can reach it.
    timer_.KillEvent(id);
    return wasPlaying;
}

void PlaybackEngine::StopPlayback() {
    // Even without an output (closed while a song played) the stop is final.
    bool clockWasOn = false;
    const bool wasPlaying = Halt(clockWasOn);
    if (!output_.IsOpen()) {
        if (wasPlaying) {
            NotifyPlayEnd();
        }
        return;
    }
    if (clockWasOn) {
        output_.ShortMsg(PackShortMsg(kMidiStop));
    }
    NotifyPlayEnd();
    SilenceAllChannels();
}

void RunErrorTest(PlaybackEngine& engine, const OutputHandle& output, TimerService& timer) {
    if (!output.IsOpen()) {
        return;
    }
    engine.SendProgramChange(0, 0, 0, 0);
    for (int key : {30, 29, 31, 33, 34, 36}) {
        engine.SendNoteOn(0, key, 100);
    }
    timer.Sleep(2000);
    for (int key : {29, 30, 31, 33, 34, 36}) {
        engine.SendNoteOn(0, key, 0);
    }
}

} // namespace sorvelin
