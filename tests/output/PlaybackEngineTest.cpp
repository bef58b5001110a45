#include "support/PlaybackTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

using namespace sorvelin;
using namespace sorvelin::testing;
using namespace std::chrono_literals;

namespace {

std::vector<Bytes> BytesOf(const std::vector<CapturedMessage>& messages) {
    std::vector<Bytes> out;
    for (const auto& message : messages) {
        out.push_back(message.bytes);
    }
    return out;
}

std::vector<Bytes> Silencing() {
    std::vector<Bytes> out;
    for (std::uint8_t channel = 0; channel < 16; ++channel) {
        out.push_back({static_cast<std::uint8_t>(0xB0 | channel), 120, 0});
        out.push_back({static_cast<std::uint8_t>(0xB0 | channel), 121, 0});
    }
    return out;
}

} // namespace

TEST(PlaybackEngine, EventsMapToMessagesByStatus) {
    Bench b;
    ASSERT_EQ(b.output.Open(0), kMidiOk);
    auto pressure = std::make_unique<MIDIEvent>(0, 0xA1);
    auto channelPressure = std::make_unique<MIDIEvent>(0, 0xD1);
    metaEvent name(0, 0x03);
    name.SetText("Part 1");
    TempoEvent tempo(0);
    tempo.SetData({0x07, 0xA1, 0x20});
    TempoEvent shortTempo(0);
    shortTempo.SetData({0x07});
    sysexEvent sysex(0, 0xF0);
    sysex.bytes = {0x7E, 0x7F, 0x09, 0x01, 0xF7};

    const struct {
        const char* name;
        std::unique_ptr<anyEvent> event;
        std::vector<Bytes> sent;
    } cases[] = {
        {"note on", std::make_unique<NoteOnEvent>(0, 0x93, 60, 100), {{0x93, 60, 100}}},
        {"note off", std::make_unique<NoteOnEvent>(0, 0x83, 60, 0), {{0x83, 60, 0}}},
        {"control", std::make_unique<ControlChangeEvent>(0, 0xB2, 10, 127), {{0xB2, 10, 127}}},
        {"program", std::make_unique<ProgramChangeEvent>(0, 0xC4, 19), {{0xC4, 19}}},
        {"bend centre", std::make_unique<PitchBendEvent>(0, 0xE0, 8192), {{0xE0, 0x00, 0x40}}},
        {"bend low", std::make_unique<PitchBendEvent>(0, 0xE1, 0), {{0xE1, 0x00, 0x00}}},
        {"bend high", std::make_unique<PitchBendEvent>(0, 0xE1, 16383), {{0xE1, 0x7F, 0x7F}}},
        {"bend odd", std::make_unique<PitchBendEvent>(0, 0xE1, 4097), {{0xE1, 0x01, 0x20}}},
        {"key pressure", std::move(pressure), {}},
        {"channel pressure", std::move(channelPressure), {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        b.capture.ClearMessages();
        b.engine.SendEvent(*c.event);
        EXPECT_EQ(BytesOf(b.capture.Messages()), c.sent);
    }

    b.capture.ClearMessages();
    b.engine.SendEvent(shortTempo); // too short to carry a tempo: ignored
    EXPECT_EQ(b.engine.CurrentTempo(), 500000);
    tempo.SetData({0x06, 0x1A, 0x80});
    b.engine.SendEvent(tempo);
    EXPECT_EQ(b.engine.CurrentTempo(), 400000);
    tempo.SetData({0x07, 0xA1, 0x20});
    b.engine.SendEvent(tempo);
    EXPECT_EQ(b.engine.CurrentTempo(), 500000);
    b.engine.SendEvent(name);
    EXPECT_EQ(b.capture.MessageCount(), 0u);

    b.engine.SendEvent(sysex);
    const auto messages = b.capture.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].isLong);
    EXPECT_EQ(messages[0].bytes, (Bytes{0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}));
}

TEST(PlaybackEngine, ImmediateMessages) {
    Bench b;
    ASSERT_EQ(b.output.Open(0), kMidiOk);
    b.engine.SilenceAllChannels();
    EXPECT_EQ(BytesOf(b.capture.Messages()), Silencing());

    b.capture.ClearMessages();
    const auto before = b.timer.Now();
    b.engine.SendProgramChange(2, 1, 3, 19);
    EXPECT_EQ(BytesOf(b.capture.Messages()),
              (std::vector<Bytes>{{0xB2, 0, 1}, {0xB2, 32, 3}, {0xC2, 19}}));
    EXPECT_EQ(b.timer.Now() - before, 3ms);

    b.capture.ClearMessages();
    b.engine.SendNoteOn(9, 36, 0);
    EXPECT_EQ(BytesOf(b.capture.Messages()), (std::vector<Bytes>{{0x99, 36, 0}}));
}

TEST(PlaybackEngine, SysExWaitsForTheOutputAndReportsAMissingOne) {
    Bench b;
    sysexEvent sysex(0, 0xF0);
    sysex.bytes = {0x43, 0x10, 0xF7};
    b.engine.SendSysEx(sysex);
    EXPECT_EQ(b.shown, (std::vector<std::string>{b.output.ErrorText(kMidiErrInvalidHandle)}));

    ASSERT_EQ(b.output.Open(0), kMidiOk);
    b.capture.SetLongDonePolls(3);
    const auto before = b.timer.Now();
    b.engine.SendSysEx(sysex);
    EXPECT_EQ(b.timer.Now() - before, 30ms); // three 10 ms pauses
    EXPECT_EQ(b.capture.Messages().back().bytes, (Bytes{0xF0, 0x43, 0x10, 0xF7}));
}

TEST(PlaybackEngine, GroupsGoOutAtTheSongClockWithoutDrift) {
    TestSong s;
    for (int i = 0; i < 16; ++i) {
        s.Note(30 * i, 0, 60 + i % 12, 30);
    }
    s.Tempo(240, 400000); // 150 beats per minute from the 9th 16th note on
    Bench b;
    ASSERT_EQ(b.output.Open(0), kMidiOk);
    b.engine.StartPlayback(s.play);

    // The first group (note on of the first note) went out at once.
    auto messages = b.capture.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(b.At(messages[0]), 0.0);
    EXPECT_TRUE(b.engine.IsPlaying());
    EXPECT_EQ(b.timer.PendingCount(), 1u);
    EXPECT_EQ(b.timer.NextDue() - b.start, 125ms);

    // One wake-up 7 ms late delays its own group only.
    b.timer.RunNext();
    b.timer.Advance(b.timer.NextDue() - b.timer.Now() + 7ms);
    b.timer.RunAll();
    messages = b.capture.Messages();
    EXPECT_FALSE(b.engine.IsPlaying());
    std::vector<double> noteOns;
    for (const auto& message : messages) {
        if (message.bytes[0] == 0x90 && message.bytes[2] != 0) {
            noteOns.push_back(b.At(message));
        }
    }
    ASSERT_EQ(noteOns.size(), 16u);
    for (int i = 0; i < 16; ++i) {
        // 125 ms per 16th note at 120, 100 ms at 150 from tick 240 (1000 ms) on.
        const double due = i <= 8 ? 125.0 * i : 1000.0 + 100.0 * (i - 8);
        EXPECT_DOUBLE_EQ(noteOns[static_cast<std::size_t>(i)], due + (i == 2 ? 7.0 : 0.0))
            << "note " << i;
    }
    // The last note-off ends the song: 1800 ms, and nothing silenced at the end.
    EXPECT_DOUBLE_EQ(b.At(messages.back()), 1800.0);
    for (const auto& message : messages) {
        EXPECT_FALSE((message.bytes[0] & 0xF0) == 0xB0 && message.bytes[1] == 120);
    }
    EXPECT_EQ(b.ends, (std::vector<void*>{&b}));
}

TEST(PlaybackEngine, EqualTimesGoOutTogetherInTrackOrder) {
    TestSong s;
    s.Control(0, 0, 7, 100);
    s.Note(0, 0, 60, 10);
    s.Note(0, 1, 64, 10);
    s.Control(10, 1, 10, 0);
    Bench b;
    ASSERT_EQ(b.output.Open(0), kMidiOk);
    b.engine.StartPlayback(s.play);
    EXPECT_EQ(BytesOf(b.capture.Messages()),
              (std::vector<Bytes>{{0xB0, 7, 100}, {0x90, 60, 100}, {0x91, 64, 100}}));
    b.timer.RunAll();
    const auto messages = b.capture.Messages();
    ASSERT_EQ(messages.size(), 6u);
    for (std::size_t i = 3; i < 6; ++i) {
        EXPECT_NEAR(b.At(messages[i]), 10 * 500000.0 / 120 / 1000, 1e-6);
    }
    EXPECT_EQ(BytesOf({messages.begin() + 3, messages.end()}),
              // the note-offs are made when playback expands the notes: after the control
              (std::vector<Bytes>{{0xB1, 10, 0}, {0x90, 60, 0}, {0x91, 64, 0}}));
}

TEST(PlaybackEngine, AFirstDelayBelowOneMillisecondIsRequestedAsOne) {
    TestSong s;
    s.Tempo(0, 100000); // 833 microseconds per tick
    s.Note(0, 0, 60, 1);
    Bench b;
    ASSERT_EQ(b.output.Open(0), kMidiOk);
    b.engine.StartPlayback(s.play);
    ASSERT_TRUE(b.engine.IsPlaying());
    EXPECT_EQ(b.timer.NextDue() - b.start, 1ms);
    b.timer.RunAll();
    EXPECT_DOUBLE_EQ(b.At(b.capture.Messages().back()), 1.0);
}

TEST(PlaybackEngine, TheLongestGapAtTheSlowestTempoIsTimedWithoutOverflow) {
    TestSong s;
    s.Tempo(0, 0xFFFFFF);
    s.Note(0, 0, 60, 0x7FFFFFF0);
    Bench b;
    ASSERT_EQ(b.output.Open(0), kMidiOk);
    b.engine.StartPlayback(s.play);
    const double seconds = std::chrono::duration<double>(b.timer.NextDue() - b.start).count();
    EXPECT_NEAR(seconds, 2147483632.0 * 16777215.0 / 120.0 / 1e6, 1e-3);
}

TEST(PlaybackEngine, ASongOfOneMomentIsSentAtOnceAndNeverPlays) {
    TestSong s;
    s.Note(10, 0, 60, 0);
    s.Control(10, 0, 7, 90);
    Bench b;
    ASSERT_EQ(b.output.Open(0), kMidiOk);
    b.engine.StartPlayback(s.play);
    EXPECT_EQ(b.capture.MessageCount(), 3u); // note on, its note-off, the control
    EXPECT_FALSE(b.engine.IsPlaying());
    EXPECT_EQ(b.timer.PendingCount(), 0u);
    EXPECT_TRUE(b.ends.empty());
}

// The same track started again, after its end or after a stop midway, goes
// out exactly as the first time: one note-off per note, not one more.
TEST(PlaybackEngine, ATrackStartedAgainPlaysAsTheFirstTime) {
    for (const int groupsBeforeStop : {-1, 1}) {
        SCOPED_TRACE(groupsBeforeStop);
        TestSong s;
        for (int i = 0; i < 4; ++i) {
            s.Note(30 * i, i % 2, 60 + i, 45);
        }
        Bench b;
        ASSERT_EQ(b.output.Open(0), kMidiOk);
        b.engine.StartPlayback(s.play);
        b.timer.RunAll();
        const std::vector<Bytes> first = BytesOf(b.capture.Messages());
        b.capture.ClearMessages();
        b.engine.StartPlayback(s.play);
        for (int i = 0; i < groupsBeforeStop; ++i) {
            b.timer.RunNext();
        }
        if (groupsBeforeStop >= 0) {
            b.engine.StopPlayback();
            b.capture.ClearMessages();
            b.engine.StartPlayback(s.play);
        }
        b.timer.RunAll();
        EXPECT_EQ(BytesOf(b.capture.Messages()), first);
    }
}

TEST(PlaybackEngine, NothingStartsWithoutEventsOrWithoutAnOutput) {
    TestSong s;
    Bench b;
    b.engine.StartPlayback(s.play);
    s.Note(0, 0, 60, 30);
    s.Note(30, 0, 62, 30);
    b.engine.StartPlayback(s.play);
    EXPECT_FALSE(b.engine.IsPlaying());
    EXPECT_TRUE(s.play->collapsed); // not even expanded
    ASSERT_EQ(b.output.Open(0), kMidiOk);
    b.engine.StartPlayback(s.play);
    EXPECT_TRUE(b.engine.IsPlaying());
}

TEST(PlaybackEngine, StopSilencesAndNotifiesEvenWhenIdleButNotWithoutAnOutput) {
    Bench b;
    b.engine.StopPlayback();
    EXPECT_TRUE(b.ends.empty());
    EXPECT_EQ(b.capture.MessageCount(), 0u);

    ASSERT_EQ(b.output.Open(0), kMidiOk);
    b.engine.StopPlayback();
    EXPECT_EQ(BytesOf(b.capture.Messages()), Silencing());
    EXPECT_EQ(b.ends.size(), 1u);

    b.engine.ClearPlayEndHandler();
    b.engine.StopPlayback();
    EXPECT_EQ(b.ends.size(), 1u);
}

TEST(PlaybackEngine, AStopIsFinal) {
    TestSong s;
    for (int i = 0; i < 8; ++i) {
        s.Note(30 * i, 0, 60, 30);
    }
    Bench b;
    ASSERT_EQ(b.output.Open(0), kMidiOk);
    b.engine.StartPlayback(s.play);
    b.timer.RunNext();
    const std::size_t sent = b.capture.MessageCount();
    b.engine.StopPlayback();
    EXPECT_FALSE(b.engine.IsPlaying());
    EXPECT_EQ(b.timer.PendingCount(), 0u);
    EXPECT_EQ(b.capture.MessageCount(), sent + 32);
    b.timer.Advance(10s);
    b.timer.RunAll();
    EXPECT_EQ(b.capture.MessageCount(), sent + 32);
    EXPECT_EQ(b.ends.size(), 1u);

    // Playing again starts from the beginning.
    b.engine.StartPlayback(s.play);
    EXPECT_TRUE(b.engine.IsPlaying());
    b.timer.RunAll();
    EXPECT_EQ(b.ends.size(), 2u);
}

TEST(PlaybackEngine, AStopWithoutAnOutputStillCancelsTheSong) {
    TestSong s;
    s.Note(0, 0, 60, 30);
    s.Note(30, 0, 62, 30);
    Bench b;
    ASSERT_EQ(b.output.Open(0), kMidiOk);
    b.engine.StartPlayback(s.play);
    ASSERT_EQ(b.output.Close(), kMidiOk);
    b.engine.StopPlayback();
    EXPECT_FALSE(b.engine.IsPlaying());
    EXPECT_EQ(b.timer.PendingCount(), 0u);
    // Nothing to silence, but the song ended: the window's Play comes back.
    EXPECT_EQ(b.ends.size(), 1u);
    b.engine.StopPlayback(); // idle and no output: nothing more to end
    EXPECT_EQ(b.ends.size(), 1u);
}

TEST(PlaybackEngine, TheSongContinuesOnANewOutput) {
    TestSong s;
    for (int i = 0; i < 4; ++i) {
        s.Note(30 * i, 0, 60 + i, 30);
    }
    Bench b({{"Port A", kMidiTechPort}, {"Port B", kMidiTechPort}});
    ASSERT_EQ(b.output.Open(0), kMidiOk);
    b.engine.StartPlayback(s.play);
    b.timer.RunNext();
    ASSERT_EQ(b.output.Open(1), kMidiOk); // closes (and silences) output 0 first
    b.timer.RunAll();
    const auto messages = b.capture.Messages();
    std::vector<int> devices;
    for (const auto& message : messages) {
        if (devices.empty() || devices.back() != message.device) {
            devices.push_back(message.device);
        }
    }
    EXPECT_EQ(devices, (std::vector<int>{0, 1}));
    EXPECT_EQ(messages.back().device, 1);
    EXPECT_EQ(messages.back().bytes, (Bytes{0x90, 63, 0}));
    EXPECT_EQ(b.ends.size(), 1u);
}

namespace {
// A timer service that refuses requests once told to.
class RefusingTimer : public ManualTimer {
public:
    std::uint32_t SetEventAt(TimePoint due, Callback callback) override {
        return refuse ? 0 : ManualTimer::SetEventAt(due, std::move(callback));
    }
    bool refuse = false;
};
} // namespace

TEST(PlaybackEngine, ARefusedTimerShowsTimerError) {
    TestSong s;
    for (int i = 0; i < 4; ++i) {
        s.Note(30 * i, 0, 60, 30);
    }
    RefusingTimer timer;
    CaptureMidiOut capture;
    OutputHandle output(capture);
    PlaybackEngine engine(output, timer);
    std::vector<std::string> shown;
    engine.SetMessageCallback([&](const std::string& text) { shown.push_back(text); });
    ASSERT_EQ(output.Open(-1), kMidiOk);

    timer.refuse = true;
    engine.StartPlayback(s.play);
    EXPECT_FALSE(engine.IsPlaying());
    EXPECT_EQ(shown, (std::vector<std::string>{"Timer Error"}));

    timer.refuse = false;
    engine.StartPlayback(s.play);
    ASSERT_TRUE(engine.IsPlaying());
    timer.refuse = true;
    timer.RunNext();
    EXPECT_EQ(shown.size(), 2u);
    EXPECT_TRUE(engine.IsPlaying()); // halted until the user stops
    engine.StopPlayback();
    EXPECT_FALSE(engine.IsPlaying());
}

TEST(PlaybackEngine, ErrorTestPlaysSixNotesForTwoSeconds) {
    Bench b;
    RunErrorTest(b.engine, b.output, b.timer);
    EXPECT_EQ(b.capture.MessageCount(), 0u);
    ASSERT_EQ(b.output.Open(0), kMidiOk);
    RunErrorTest(b.engine, b.output, b.timer);
    const auto messages = b.capture.Messages();
    ASSERT_EQ(messages.size(), 15u);
    EXPECT_EQ(messages[3].bytes, (Bytes{0x90, 30, 100}));
    EXPECT_EQ(messages[9].bytes, (Bytes{0x90, 29, 0}));
    EXPECT_DOUBLE_EQ(b.At(messages[9]) - b.At(messages[8]), 2000.0);
}

// Three notes from tick 480 and a closing control at 960; the loop repeats
// ticks 480 .. 840, so the third note (720 + 150) outlasts the seam.
TEST(PlaybackEngine, ALoopStartsEachPassAtTheSeamWithNothingSoundingAcrossIt) {
    struct Case {
        const char* name;
        std::int32_t laterTempo; // from tick 600 on; 0 for none
        std::int32_t firstTempo; // from tick 0
        std::vector<double> noteOnsMs;
        std::vector<double> seamsMs;
    };
    const Case cases[] = {
        {"one tempo",
         0,
         500000,
         {2000, 2500, 3000, 3500, 4000, 4500, 5000, 5500, 6000},
         {3500, 5000}},
        // Each pass starts again at the tempo in force at its first tick.
        {"a tempo change within the pass",
         600000,
         400000,
         {1600, 2000, 2600, 3200, 3600, 4200, 4800, 5200, 5800},
         {3200, 4800}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestSong s;
        s.Tempo(0, c.firstTempo);
        if (c.laterTempo != 0) {
            s.Tempo(600, c.laterTempo);
        }
        s.Control(0, 0, 7, 90);
        s.Note(480, 0, 60, 108);
        s.Note(600, 0, 62, 108);
        s.Note(720, 0, 64, 150);
        s.Control(960, 0, 10, 64);
        Bench b;
        ASSERT_EQ(b.output.Open(0), kMidiOk);
        b.engine.StartPlayback(s.play, PlaybackLoop{480, 840});
        while (b.timer.NextDue() - b.start < 6100ms && b.timer.RunNext()) {
        }
        EXPECT_TRUE(b.engine.IsPlaying());
        EXPECT_TRUE(b.ends.empty());
        b.engine.StopPlayback();
        EXPECT_EQ(b.timer.PendingCount(), 0u);
        EXPECT_EQ(b.ends.size(), 1u);

        std::vector<double> noteOns;
        std::vector<double> controls;
        std::set<int> sounding;
        const auto messages = b.capture.Messages();
        ASSERT_GT(messages.size(), 32u);
        // Everything before the silencing of the stop.
        for (std::size_t i = 0; i + 32 < messages.size(); ++i) {
            const Bytes& m = messages[i].bytes;
            if (m[0] == 0x90 && m[2] != 0) {
                // The first note of a pass: everything before it has ended.
                if (m[1] == 60) {
                    EXPECT_TRUE(sounding.empty()) << "at " << b.At(messages[i]);
                }
                sounding.insert(m[1]);
                noteOns.push_back(b.At(messages[i]));
            } else if (m[0] == 0x90) {
                EXPECT_EQ(sounding.erase(m[1]), 1u);
                if (m[1] == 64) {
                    EXPECT_TRUE(std::count(c.seamsMs.begin(), c.seamsMs.end(), b.At(messages[i])))
                        << "the third note ends at the seam, not at " << b.At(messages[i]);
                }
            } else if (m[0] == 0xB0) {
                controls.push_back(m[1]);
            }
        }
        EXPECT_EQ(noteOns, c.noteOnsMs);
        // The set-up before the loop goes out once, the closing control never.
        EXPECT_EQ(controls, (std::vector<double>{7}));
        // Stop silences what the third pass was playing.
        const std::vector<Bytes> bytes = BytesOf(messages);
        EXPECT_EQ(std::vector<Bytes>(bytes.end() - 32, bytes.end()), Silencing());
    }
}
