#include "support/PlaybackTestSupport.h"

#include <gtest/gtest.h>

#include <optional>

using namespace sorvelin;
using namespace sorvelin::testing;
using namespace std::chrono_literals;

namespace {

// An output with a clock of its own that wants its messages `lead` ahead:
// it records when each message was handed over and the moment it is due
// (none for a message sent to play at once).
class LeadService : public MidiOutService {
public:
    struct Sent {
        TimerService::TimePoint at;
        std::optional<TimerService::TimePoint> due;
        std::uint32_t packed;
    };
    LeadService(const TimerService& timer, std::chrono::nanoseconds lead)
        : timer_(timer), lead_(lead) {}
    int NumDevs() override { return 1; }
    int DevCaps(int, MidiOutCaps& caps) override {
        caps = {"Clocked", kMidiTechPort};
        return kMidiOk;
    }
    std::string ErrorText(int code) override { return StandardMidiErrorText(code); }
    int Open(int, std::unique_ptr<MidiOutput>& out) override {
        out = std::make_unique<Output>(*this);
        return kMidiOk;
    }
    std::vector<Sent> sent;

private:
    class Output : public MidiOutput {
    public:
        explicit Output(LeadService& service) : service_(service) {}
        int ShortMsg(std::uint32_t packed) override {
            service_.sent.push_back({service_.timer_.Now(), std::nullopt, packed});
            return kMidiOk;
        }
        std::chrono::nanoseconds Lead() const override { return service_.lead_; }
        int ShortMsgAt(std::uint32_t packed, std::chrono::steady_clock::time_point due) override {
            service_.sent.push_back({service_.timer_.Now(), due, packed});
            return kMidiOk;
        }
        int LongMsg(const std::vector<std::uint8_t>&) override { return kMidiOk; }
        bool LongDone() override { return true; }
        int Close() override { return kMidiOk; }

    private:
        LeadService& service_;
    };
    const TimerService& timer_;
    std::chrono::nanoseconds lead_;
};

} // namespace

// Each group goes out its output's lead ahead of its due moment, carrying
// that moment; the due moments are the song clock's whatever the lead; a
// stop silences at once and nothing of the song follows.
TEST(PlaybackEngine, AnOutputWithALeadGetsEachGroupAheadWithItsDueMoment) {
    TestSong s;
    for (int i = 0; i < 8; ++i) {
        s.Note(30 * i, 0, 60 + i, 30);
    }
    s.Tempo(120, 400000); // 150 beats per minute from the 5th note on
    for (const auto lead : {0ms, 40ms, 300ms}) {
        ManualTimer timer;
        LeadService service(timer, lead);
        OutputHandle output(service);
        PlaybackEngine engine(output, timer);
        ASSERT_EQ(output.Open(0), kMidiOk);
        const auto start = timer.Now();
        engine.StartPlayback(s.play);
        timer.RunAll();
        std::vector<std::chrono::milliseconds> noteOns;
        for (const auto& sent : service.sent) {
            const auto due = sent.due.value_or(sent.at);
            EXPECT_EQ(sent.due.has_value(), lead > 0ms) << lead.count();
            // The first group at once, the rest no sooner than the first
            // wake-up a millisecond after the start.
            EXPECT_EQ(sent.at, due == start ? start : std::max(start + 1ms, due - lead))
                << lead.count();
            if ((sent.packed & 0xF0) == 0x90 && (sent.packed >> 16) != 0) {
                noteOns.push_back(
                    std::chrono::duration_cast<std::chrono::milliseconds>(due - start));
            }
        }
        const std::vector<std::chrono::milliseconds> expected = {0ms,   125ms, 250ms, 375ms,
                                                                 500ms, 600ms, 700ms, 800ms};
        EXPECT_EQ(noteOns, expected) << lead.count();

        // Stopped after the first wake-up: the silence goes at once.
        service.sent.clear();
        engine.StartPlayback(s.play);
        timer.RunNext();
        const std::size_t before = service.sent.size();
        engine.StopPlayback();
        ASSERT_EQ(service.sent.size(), before + 32) << lead.count();
        for (std::size_t i = before; i < service.sent.size(); ++i) {
            EXPECT_FALSE(service.sent[i].due.has_value());
        }
        timer.Advance(10s);
        timer.RunAll();
        EXPECT_EQ(service.sent.size(), before + 32) << lead.count();
    }
}
