// "Audition" in the whole program, with the capture output in place of a
// sound device: a line dragged with the box ticked is heard at once with the
// composition window's settings, each move replaces the audition before it
// without leaving a note sounding, the last one plays out, and without the
// box nothing is sent.
#include "compose/Sequencer.h"
#include "compose/SongRender.h"
#include "midi/Mididata.h"
#include "sound/MidiOutCapture.h"
#include "support/WindowTestSupport.h"
#include "ui/compose/Cmpwin.h"
#include "ui/explorer/MainPictures.h"
#include "ui/output/Mididevicewin.h"
#include "ui/tracks/Trkwin.h"
#ifdef SORVELIN_TEST_SYNTH
#include "sound/FluidSynthCore.h"
#include "sound/MidiOutFactory.h"
#include "support/PulseServer.h"
#endif

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>
#include <chrono>
#include <cmath>
#include <set>

using namespace sorvelin;
using namespace sorvelin::testing;

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;

std::vector<CapturedMessage> Heard() {
    return static_cast<CaptureMidiOut&>(MidiDevice->Service()).Messages();
}
bool NoteOn(const CapturedMessage& m) {
    return m.bytes.size() == 3 && (m.bytes[0] & 0xF0) == 0x90 && m.bytes[2] != 0;
}
// All Sound Off or All Notes Off.
bool Silence(const CapturedMessage& m) {
    return m.bytes.size() == 3 && (m.bytes[0] & 0xF0) == 0xB0 &&
           (m.bytes[1] == 120 || m.bytes[1] == 123);
}

// The notes still sounding after the first `count` messages.
std::set<std::pair<int, int>> Sounding(const std::vector<CapturedMessage>& heard,
                                       std::size_t count) {
    std::set<std::pair<int, int>> sounding;
    for (std::size_t i = 0; i < count; ++i) {
        const Bytes& b = heard[i].bytes;
        const int channel = b[0] & 0x0F;
        if (NoteOn(heard[i])) {
            sounding.insert({channel, b[1]});
        } else if ((b[0] & 0xE0) == 0x80) { // a note-off or a note-on of velocity 0
            sounding.erase({channel, b[1]});
        } else if (Silence(heard[i])) {
            std::erase_if(sounding, [&](const auto& note) { return note.first == channel; });
        }
    }
    return sounding;
}

// The note-ons of the first two bars of the song Play renders now, and
// their ticks.
std::pair<std::vector<Bytes>, std::vector<std::int32_t>> PlayedNotes() {
    const std::unique_ptr<midiSong> song =
        RenderSong(ComposeWin->Model(), TrackSettingWin->Parts, MainForm1->Series().Values(),
                   MainForm1->Engine().GetLimit());
    const std::unique_ptr<midiTrack> play = MergePlayTrack(*song);
    std::pair<std::vector<Bytes>, std::vector<std::int32_t>> notes;
    for (int i = 0; i < play->Count(); ++i) {
        if (play->EventAt(i)->Kind() != kindNoteOn) {
            continue;
        }
        const auto* note = static_cast<const NoteOnEvent*>(play->EventAt(i));
        if (note->time < SequencerStartTime + 2 * 4 * 120) {
            notes.first.push_back({note->status, note->key, note->velocity});
            notes.second.push_back(note->time);
        }
    }
    return notes;
}

} // namespace

class AuditionTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString oldCurrent_;

private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        oldCurrent_ = QDir::currentPath();
        UseTwoTablesIn(dir_.path());
    }

    void cleanupTestCase() { QDir::setCurrent(oldCurrent_); }

    void aDraggedLineIsHeardWithTheCompositionsSettings() {
        MessageRecorder recorder;
        StartProgram(dir_.path());
        QWidget* picture = MainForm1->Image2;
        // Without the box a drag sends nothing.
        QVERIFY(!MainForm1->Audition->isChecked());
        Drag(picture, QPoint(20, 200), QPoint(225, 30), 4);
        QTest::qWait(120);
        QVERIFY(Heard().empty());

        // The composition window's settings, none of them the default.
        ComposeWin->ScaleComboBox1->setCurrentIndex(1);
        ComposeWin->RhytmComboBox2->setCurrentIndex(1);
        ComposeWin->NoteCount->setText("16");
        ComposeWin->Tempo->setText("180");
        ComposeWin->TempoChange();
        TrackSettingWin->Parts[0].Program = 40;
        MidiDevice->Engine().SetSendClock(true); // the studio hears no audition
        MainForm1->Audition->setChecked(true);

        // The first move is heard at once.
        QTest::mousePress(picture, Qt::LeftButton, Qt::NoModifier, QPoint(30, 190));
        const Clock::time_point moved = Clock::now();
        QTest::mouseMove(picture, QPoint(120, 120));
        QTRY_VERIFY_WITH_TIMEOUT(std::ranges::any_of(Heard(), NoteOn), 1000);
        const std::vector<CapturedMessage> opening = Heard();
        const std::size_t first = opening.size();
        QVERIFY(std::ranges::find_if(opening, NoteOn)->time - moved <
                std::chrono::milliseconds(150));
        QVERIFY(!Sounding(opening, first).empty());

        // A burst of moves: one more audition at most per pause, the last
        // move heard, and the audition cut short silenced first.
        const Clock::time_point burst = Clock::now();
        for (const QPoint at : {QPoint(150, 100), QPoint(180, 80), QPoint(210, 50)}) {
            QTest::mouseMove(picture, at);
        }
        QTest::mouseRelease(picture, Qt::LeftButton, Qt::NoModifier, QPoint(210, 50));
        const auto spent = Clock::now() - burst;
        QTRY_VERIFY_WITH_TIMEOUT(!MidiDevice->IsPlaying(), 5000);
        const std::vector<CapturedMessage> heard = Heard();
        const auto lastSilence = std::ranges::find_if(heard.rbegin(), heard.rend(), Silence);
        const auto start = static_cast<std::size_t>(heard.rend() - lastSilence);
        QVERIFY(start > first);
        QVERIFY(Sounding(heard, start).empty());
        QVERIFY(Sounding(heard, heard.size()).empty());
        const auto auditions = std::ranges::count_if(
            heard, [](const auto& m) { return Silence(m) && m.bytes[0] == 0xB0; });
        QVERIFY(auditions <= 2 + spent / std::chrono::milliseconds(50));

        // The last audition played out the first two bars of the song Play
        // renders from the same line, on part 1's program, at the tempo.
        QTest::mouseClick(MainForm1->Compose, Qt::LeftButton);
        const auto [expected, ticks] = PlayedNotes();
        std::vector<Bytes> played;
        std::vector<Clock::time_point> times;
        for (std::size_t i = start; i < heard.size(); ++i) {
            if (NoteOn(heard[i])) {
                played.push_back(heard[i].bytes);
                times.push_back(heard[i].time);
            }
        }
        QVERIFY(expected.size() > 2);
        QCOMPARE(played, expected);
        QVERIFY(std::ranges::any_of(heard.begin() + static_cast<std::ptrdiff_t>(start), heard.end(),
                                    [](const auto& m) {
                                        return m.bytes == Bytes{0xC0, 40};
                                    }));
        const double expectedMs = (ticks.back() - ticks.front()) * 60000.0 / 180 / 120;
        const double playedMs =
            std::chrono::duration<double, std::milli>(times.back() - times.front()).count();
        QVERIFY2(std::abs(playedMs - expectedMs) < 40.0,
                 qPrintable(QString("%1 ms for %2 ms").arg(playedMs).arg(expectedMs)));
        QVERIFY(std::ranges::none_of(heard, [](const auto& m) { return m.bytes[0] >= 0xF0; }));
        QVERIFY(recorder.messages.empty());
        StopProgram();
    }

#ifdef SORVELIN_TEST_SYNTH
    // The built-in synthesizer on a sound server of the test's own: the first
    // move is heard soon, and Stop silences the audition.
    void theSynthesizerSoundsAtOnceAndStopsAtStop() {
        if (!test::PulseServer::Available() || FindSoundFont(SoundFontFolders()).empty()) {
            QSKIP("pulseaudio, parec or a SoundFont is missing");
        }
        test::PulseServer pulse;
        QVERIFY(pulse.Ready());
        test::MonitorRecorder heard(pulse);
        QVERIFY(heard.WaitUntilRecording());
        MessageRecorder recorder;
        StartProgram(dir_.path(), MakeMidiOutService());
        QCOMPARE(MidiDevice->DeviceId(), -1);
        MainForm1->Audition->setChecked(true);
        QTest::mousePress(MainForm1->Image2, Qt::LeftButton, Qt::NoModifier, QPoint(30, 190));
        const Clock::time_point moved = Clock::now();
        QTest::mouseMove(MainForm1->Image2, QPoint(200, 60));
        QTest::mouseRelease(MainForm1->Image2, Qt::LeftButton, Qt::NoModifier, QPoint(200, 60));
        QTest::qWait(600);
        QVERIFY(MidiDevice->IsPlaying());
        const Clock::time_point stopped = Clock::now();
        QTest::mouseClick(ComposeWin->StopButton, Qt::LeftButton);
        QTest::qWait(500);
        heard.Stop();
        DestroyWindows(); // before the server goes

        const std::vector<int> peaks = heard.Peaks();
        const auto onset =
            std::find_if(peaks.begin() + static_cast<std::ptrdiff_t>(heard.FrameAt(moved)),
                         peaks.end(), [](int peak) { return peak >= 2000; });
        QVERIFY(onset != peaks.end());
        const auto after = heard.TimeOf(static_cast<std::size_t>(onset - peaks.begin())) - moved;
        qInfo("heard %.1f ms after the first move",
              std::chrono::duration<double, std::milli>(after).count());
        QVERIFY(after < std::chrono::milliseconds(150));
        const std::size_t quiet = heard.FrameAt(stopped + std::chrono::milliseconds(200));
        QVERIFY(quiet < peaks.size());
        QVERIFY(*std::max_element(peaks.begin() + static_cast<std::ptrdiff_t>(quiet), peaks.end()) <
                33); // -60 dBFS
        QVERIFY(recorder.messages.empty());
    }
#endif
};

QTEST_MAIN(AuditionTest)
#include "AuditionTest.moc"
