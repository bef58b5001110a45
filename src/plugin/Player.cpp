#include "plugin/Player.h"

#include <algorithm>
#include <cmath>

namespace sorvelin::plugin {
namespace {

// A host position this far from where playing has got to is a jump; closer,
// it is the host's rounding and playing goes on.
constexpr double JumpTicks = 0.5;
// Ticks of a frame computed in floating point: a tick that falls exactly on
// a frame stays on it.
constexpr double FrameSlack = 1e-9;

std::uint32_t FrameOf(double ticks, double ticksPerFrame) {
    const double frames = std::ceil(ticks / ticksPerFrame - FrameSlack);
    return frames <= 0 ? 0u : static_cast<std::uint32_t>(std::min(frames, 4294967295.0));
}

} // namespace

void Player::Activate() {
    next_ = active_ != nullptr ? active_->IndexAt(0) : 0;
    tick_ = 0;
    speed_ = 1;
    bpm_ = 0;
    ticksPerBeat_ = TicksPerQuarter;
    hostTime_ = false;
    sounding_.fill(0);
}

double Player::Bpm() const {
    if (bpm_ > 0) {
        return bpm_;
    }
    return active_ != nullptr ? active_->tempoBpm : 120.0;
}

double Player::TicksPerFrame() const {
    return speed_ * Bpm() * ticksPerBeat_ / 60.0 / rate_;
}

int Player::Sounding() const {
    int count = 0;
    for (const std::uint8_t n : sounding_) {
        count += n;
    }
    return count;
}

void Player::Send(const ScoreEvent& event, std::uint32_t frame, MidiSink& out) {
    const std::uint8_t* data = active_->Data(event);
    if (!event.IsNoteOn() && !event.IsNoteOff()) {
        out.Put(frame, data, event.size);
        return;
    }
    std::uint8_t& sounding = sounding_[(data[0] & 0x0Fu) * 128u + (data[1] & 0x7Fu)];
    if (event.IsNoteOff()) {
        // A note that began before a jump was ended there already.
        if (sounding > 0 && out.Put(frame, data, event.size)) {
            --sounding;
        }
    } else if (out.Put(frame, data, event.size) && sounding < 255) {
        ++sounding;
    }
}

void Player::Silence(std::uint32_t frame, MidiSink& out) {
    for (std::size_t i = 0; i < sounding_.size(); ++i) {
        const std::uint8_t off[3] = {static_cast<std::uint8_t>(0x80 | (i / 128)),
                                     static_cast<std::uint8_t>(i % 128), 0};
        while (sounding_[i] > 0 && out.Put(frame, off, 3)) {
            --sounding_[i];
        }
        sounding_[i] = 0;
    }
}

void Player::EmitUntil(double limit, std::uint32_t from, std::uint32_t to, MidiSink& out) {
    const double perFrame = TicksPerFrame();
    const auto& events = active_->events;
    while (next_ < events.size() && events[next_].tick < limit) {
        const ScoreEvent& event = events[next_++];
        const std::uint32_t frame = std::min(from + FrameOf(event.tick - tick_, perFrame), to - 1);
        Send(event, frame, out);
    }
}

void Player::Chase(double tick, std::uint32_t frame, MidiSink& out) {
    if (active_ == nullptr) {
        return;
    }
    const auto& events = active_->events;
    for (std::size_t i = 0; i < active_->setupEnd && events[i].tick < tick; ++i) {
        Send(events[i], frame, out);
    }
    for (std::size_t i = std::min(next_, events.size()); i > active_->setupEnd; --i) {
        const ScoreEvent& event = events[i - 1];
        if (event.tick + active_->longestNote <= tick) {
            break;
        }
        if (event.IsNoteOn() && event.end > tick && event.tick < tick) {
            Send(event, frame, out);
        }
    }
}

void Player::Switch(double tick, std::uint32_t frame, MidiSink& out) {
    Silence(frame, out);
    Retire(active_);
    active_ = pending_;
    pending_ = nullptr;
    next_ = active_->IndexAt(tick);
    if (Rolling()) {
        Chase(tick, frame, out);
    }
}

void Player::Retire(const Score* score) {
    if (score == nullptr) {
        return;
    }
    for (const Score*& slot : retired_) {
        if (slot == nullptr) {
            slot = score;
            return;
        }
    }
}

const Score* Player::TakeRetired() {
    for (const Score*& slot : retired_) {
        if (slot != nullptr) {
            const Score* score = slot;
            slot = nullptr;
            return score;
        }
    }
    return nullptr;
}

const Score* Player::Offer(const Score* score) {
    const Score* displaced = pending_;
    pending_ = score;
    return displaced;
}

void Player::Position(const HostTime& time, std::uint32_t frame, MidiSink& out) {
    const bool wasRolling = Rolling();
    hostTime_ = true;
    if (time.hasSpeed) {
        speed_ = time.speed;
    }
    if (time.bpm > 0) {
        bpm_ = time.bpm;
    }
    if (time.beatUnit > 0) {
        ticksPerBeat_ = TicksPerBar / time.beatUnit;
    }
    const double beatsPerBar = time.beatsPerBar > 0 ? time.beatsPerBar : 4.0;
    double tick = tick_;
    if (time.hasBar && time.hasBarBeat) {
        tick = (static_cast<double>(time.bar) * beatsPerBar + time.barBeat) * ticksPerBeat_;
    } else if (time.hasBeat) {
        tick = time.beat * ticksPerBeat_;
    } else if (time.hasFrame) {
        tick = static_cast<double>(time.frame) * Bpm() * ticksPerBeat_ / 60.0 / rate_;
    }
    const bool jump = std::fabs(tick - tick_) > JumpTicks;
    if (jump || !Rolling()) {
        Silence(frame, out);
    }
    tick_ = tick;
    if (jump && active_ != nullptr) {
        next_ = active_->IndexAt(tick);
    }
    if (Rolling() && (jump || !wasRolling)) {
        Chase(tick, frame, out);
    }
}

void Player::Play(std::uint32_t from, std::uint32_t to, MidiSink& out) {
    while (from < to) {
        if (pending_ != nullptr && (active_ == nullptr || !Rolling())) {
            Switch(tick_, from, out);
        }
        if (active_ == nullptr || !Rolling()) {
            // Host time goes on without a song; free running waits for one.
            if (active_ == nullptr && hostTime_ && Rolling()) {
                tick_ += (to - from) * TicksPerFrame();
            }
            return;
        }
        const double perFrame = TicksPerFrame();
        const double end = tick_ + (to - from) * perFrame;
        if (pending_ != nullptr) {
            const double bar = std::ceil(tick_ / TicksPerBar - FrameSlack) * TicksPerBar;
            const std::uint32_t barFrame = from + FrameOf(bar - tick_, perFrame);
            if (barFrame < to) {
                EmitUntil(bar, from, std::max(barFrame, from + 1), out);
                tick_ += (barFrame - from) * perFrame;
                Switch(bar, barFrame, out);
                from = barFrame;
                continue;
            }
        }
        EmitUntil(end, from, to, out);
        tick_ = end;
        from = to;
    }
}

} // namespace sorvelin::plugin
