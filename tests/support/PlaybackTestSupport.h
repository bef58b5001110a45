#pragma once
// A playback bench for tests: a capture output whose time stamps come from
// a hand-driven timer, the engine between them, and small song builders.
#include "base/Timer.h"
#include "midi/Mididata.h"
#include "output/OutputHandle.h"
#include "output/PlaybackEngine.h"
#include "sound/MidiOutCapture.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace sorvelin::testing {

using Bytes = std::vector<std::uint8_t>;

// A song with a conductor track (track 0) and a playback track that owns
// the events added to it.
struct TestSong {
    TestSong() {
        song.RebuildBarTable();
        conductor = song.tracks.Add(std::make_unique<midiTrack>(&song, 0, "Tempo"));
        play = std::make_shared<midiTrack>(&song, 0, "");
    }
    // The tempo goes into the conductor track (for TempoAt) and, as Play
    // merges it, into the playback track.
    void Tempo(std::int32_t time, std::int32_t microseconds) {
        for (midiTrack* track : {conductor, play.get()}) {
            auto tempo = std::make_unique<TempoEvent>(time);
            tempo->SetTempo(microseconds);
            track->AddEvent(std::move(tempo), true, false);
        }
    }
    void Note(std::int32_t time, int channel, int key, int duration, int velocity = 100) {
        play->AddEvent(std::make_unique<NoteOnEvent>(time,
                                                     static_cast<std::uint8_t>(0x90 | channel),
                                                     static_cast<std::uint8_t>(key),
                                                     static_cast<std::uint8_t>(velocity), duration),
                       true, false);
    }
    void Control(std::int32_t time, int channel, int control, int value) {
        play->AddEvent(std::make_unique<ControlChangeEvent>(
                           time, static_cast<std::uint8_t>(0xB0 | channel),
                           static_cast<std::uint8_t>(control), static_cast<std::uint8_t>(value)),
                       true, false);
    }
    midiSong song;
    midiTrack* conductor = nullptr;
    std::shared_ptr<midiTrack> play;
};

// A service that passes everything on to a capture service, except that each
// short message first goes through `intercept`, on the thread that sends it:
// a non-zero result refuses the message with that code, as a device that goes
// away for a moment does; the intercept may also hold the sending thread.
class InterceptService : public MidiOutService {
public:
    using Intercept = std::function<int(std::uint32_t packed)>;
    InterceptService(CaptureMidiOut& capture, Intercept intercept)
        : capture_(capture), intercept_(std::move(intercept)) {}
    int NumDevs() override { return capture_.NumDevs(); }
    int DevCaps(int id, MidiOutCaps& caps) override { return capture_.DevCaps(id, caps); }
    std::string ErrorText(int code) override { return capture_.ErrorText(code); }
    int Open(int id, std::unique_ptr<MidiOutput>& out) override {
        std::unique_ptr<MidiOutput> inner;
        const int result = capture_.Open(id, inner);
        if (result == kMidiOk) {
            out = std::make_unique<Output>(intercept_, std::move(inner));
        }
        return result;
    }

private:
    class Output : public MidiOutput {
    public:
        Output(const Intercept& intercept, std::unique_ptr<MidiOutput> inner)
            : intercept_(intercept), inner_(std::move(inner)) {}
        int ShortMsg(std::uint32_t packed) override {
            const int refused = intercept_(packed);
            return refused != kMidiOk ? refused : inner_->ShortMsg(packed);
        }
        int LongMsg(const std::vector<std::uint8_t>& message) override {
            return inner_->LongMsg(message);
        }
        bool LongDone() override { return inner_->LongDone(); }
        int Close() override { return inner_->Close(); }

    private:
        const Intercept& intercept_;
        std::unique_ptr<MidiOutput> inner_;
    };
    CaptureMidiOut& capture_;
    Intercept intercept_;
};

struct Bench {
    explicit Bench(std::vector<MidiOutCaps> devices = {{"Port A", kMidiTechPort}})
        : capture(std::move(devices)), output(capture), engine(output, timer) {
        capture.SetClock([this] { return timer.Now(); });
        engine.SetPlayEndHandler([this](void* context) { ends.push_back(context); }, this);
        engine.SetMessageCallback([this](const std::string& text) { shown.push_back(text); });
        start = timer.Now();
    }
    // Milliseconds from the bench's start, with fractions.
    double At(const CapturedMessage& message) const {
        return std::chrono::duration<double, std::milli>(message.time - start).count();
    }
    // The moment `ms` milliseconds after the bench's start.
    TimerService::TimePoint Moment(double ms) const {
        return start + std::chrono::duration_cast<TimerService::TimePoint::duration>(
                           std::chrono::duration<double, std::milli>(ms));
    }
    // Runs every timer event due by `until`, then moves the clock there.
    void RunUntil(TimerService::TimePoint until) {
        while (timer.PendingCount() > 0 && timer.NextDue() <= until) {
            timer.RunNext();
        }
        if (timer.Now() < until) {
            timer.Advance(until - timer.Now());
        }
    }
    ManualTimer timer;
    CaptureMidiOut capture;
    OutputHandle output;
    PlaybackEngine engine;
    std::vector<void*> ends;
    std::vector<std::string> shown;
    TimerService::TimePoint start;
};

} // namespace sorvelin::testing
