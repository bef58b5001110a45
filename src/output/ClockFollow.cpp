#include "output/ClockFollow.h"

#include "sound/MidiOut.h"

#include <cmath>

namespace sorvelin {
namespace {

double Seconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

} // namespace

void ClockEstimate::Add(std::int64_t index, std::chrono::steady_clock::time_point at) {
    points_.emplace_back(index, at);
    while (points_.size() > kClocks) {
        points_.pop_front();
    }
}

// Least squares, about the first point so that the sums stay small.
void ClockEstimate::Fit(double& intercept, double& slope) const {
    const auto [k0, t0] = points_.front();
    const auto n = static_cast<double>(points_.size());
    double sk = 0, st = 0, skk = 0, skt = 0;
    for (const auto& [k, t] : points_) {
        const auto x = static_cast<double>(k - k0);
        const double y = Seconds(t - t0);
        sk += x;
        st += y;
        skk += x * x;
        skt += x * y;
    }
    const double denominator = n * skk - sk * sk;
    slope = denominator > 0 ? (n * skt - sk * st) / denominator : 0.0;
    intercept = (st - slope * sk) / n;
}

std::chrono::steady_clock::time_point ClockEstimate::MomentOf(std::int64_t index) const {
    if (points_.empty()) {
        return {};
    }
    double intercept = 0;
    double slope = 0;
    Fit(intercept, slope);
    const double seconds = intercept + slope * static_cast<double>(index - points_.front().first);
    return points_.front().second + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                        std::chrono::duration<double>(seconds));
}

int ClockEstimate::Tempo() const {
    if (!Ready()) {
        return 0;
    }
    double intercept = 0;
    double slope = 0;
    Fit(intercept, slope);
    return static_cast<int>(std::lround(slope * kClocksPerQuarter * 1e6));
}

ClockFollower::Change ClockFollower::Stop() {
    armed_ = false;
    const bool was = std::exchange(running_, false);
    if (was && engine_.IsPlaying()) {
        engine_.StopPlayback();
        return Change::Stopped;
    }
    return Change::None;
}

ClockFollower::Change ClockFollower::Take(const SyncMessage& message) {
    switch (message.status) {
    case kMidiStart:
    case kMidiContinue:
        if (running_) {
            Stop();
        }
        entryTicks_ = message.status == kMidiStart ? 0 : pointer_;
        armed_ = true;
        estimate_.Reset();
        return Change::None;
    case kSongPosition:
        pointer_ = static_cast<std::int32_t>(std::int64_t{message.sixteenths} * division_ / 4);
        return Change::None;
    case kMidiStop:
        return Stop();
    case kMidiClock:
        return Clock(message.at);
    default:
        return Change::None;
    }
}

ClockFollower::Change ClockFollower::Clock(std::chrono::steady_clock::time_point at) {
    lastClock_ = at;
    if (armed_) {
        // The first clock after Start is the entry's beat.
        armed_ = false;
        track_ = source_ ? source_() : nullptr;
        if (!track_) {
            return Change::None;
        }
        division_ =
            track_->song != nullptr && track_->song->division != 0 ? track_->song->division : 120;
        index_ = 0;
        estimate_.Add(0, at);
        running_ = true;
        engine_.StartPlaybackAt(track_, {entryTicks_, at, 0});
        return Change::Started;
    }
    if (!running_) {
        return Change::None;
    }
    estimate_.Add(++index_, at);
    if (!estimate_.Ready() || !engine_.IsPlaying()) {
        return Change::None;
    }
    const auto ticks =
        static_cast<std::int32_t>(entryTicks_ + index_ * division_ / kClocksPerQuarter);
    engine_.Retime({ticks, estimate_.MomentOf(index_), estimate_.Tempo()});
    return Change::Retimed;
}

ClockFollower::Change ClockFollower::Idle(std::chrono::steady_clock::time_point now) {
    if (running_ && now - lastClock_ > kSilence) {
        return Stop();
    }
    return Change::None;
}

} // namespace sorvelin
