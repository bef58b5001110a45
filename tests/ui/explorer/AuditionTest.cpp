// "Audition" in the whole program, with the capture output in place of a
// sound device: a line dragged with the box ticked is heard at once with the
// composition window's settings, each move replaces the audition before it
// without leaving a note sounding, the last one plays out, and without the
// box nothing is sent.
#include "base/TextFile.h"
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
using Messages = std::vector<CapturedMessage>;

CaptureMidiOut& Capture() {
    return static_cast<CaptureMidiOut&>(MidiDevice->Service());
}

int Kind(const CapturedMessage& m) {
    return m.bytes.empty() ? 0 : m.bytes[0] & 0xF0;
}
int ChannelOf(const CapturedMessage& m) {
    return m.bytes[0] & 0x0F;
}
bool NoteOn(const CapturedMessage& m) {
    return Kind(m) == 0x90 && m.bytes.size() == 3 && m.bytes[2] != 0;
}
// All Sound Off or All Notes Off.
bool Silence(const CapturedMessage& m) {
    return Kind(m) == 0xB0 && m.bytes.size() == 3 && (m.bytes[1] == 120 || m.bytes[1] == 123);
}

// The notes still sounding after the first `count` messages.
std::set<std::pair<int, int>> Sounding(const Messages& messages, std::size_t count) {
    std::set<std::pair<int, int>> sounding;
    for (std::size_t i = 0; i < count && i < messages.size(); ++i) {
        const CapturedMessage& m = messages[i];
        if (NoteOn(m)) {
            sounding.insert({ChannelOf(m), m.bytes[1]});
        } else if (Kind(m) == 0x80 || Kind(m) == 0x90) {
            sounding.erase({ChannelOf(m), m.bytes[1]});
        } else if (Silence(m)) {
            std::erase_if(sounding, [&](const auto& note) { return note.first == ChannelOf(m); });
        }
    }
    return sounding;
}

// Where the last audition starts: just after the last silencing.
std::size_t LastAuditionStart(const Messages& messages) {
    std::size_t start = 0;
    for (std::size_t i = 0; i < messages.size(); ++i) {
        if (Silence(messages[i])) {
            start = i + 1;
        }
    }
    return start;
}

struct Note {
    std::int32_t ticks;
    std::vector<std::uint8_t> bytes;
};

// The note-ons of the first two bars of the song Play renders now.
std::vector<Note> PlayedNotes() {
    const std::unique_ptr<midiSong> song =
        RenderSong(ComposeWin->Model(), TrackSettingWin->Parts, MainForm1->Series().Values(),
                   MainForm1->Engine().GetLimit());
    const std::unique_ptr<midiTrack> play = MergePlayTrack(*song);
    std::vector<Note> notes;
    for (int i = 0; i < play->Count(); ++i) {
        const anyEvent* event = play->EventAt(i);
        if (event->Kind() == kindNoteOn && event->time < SequencerStartTime + 2 * 4 * 120) {
            const auto* note = static_cast<const NoteOnEvent*>(event);
            notes.push_back({note->time, {note->status, note->key, note->velocity}});
        }
    }
    return notes;
}

} // namespace

class AuditionTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString oldCurrent_;

    QString Path(const QString& name) const { return QDir(dir_.path()).filePath(name); }

private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        oldCurrent_ = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir_.path()));
        WriteLinesAtomic(Path("scale.cfg").toStdString(),
                         {"scales", "\"C Major\",48,50,52,53,55,57,59,60,62,64,65,67,69,71,72",
                          "Penta,60,62,64,67,69,60"});
        WriteLinesAtomic(Path("rhythm.cfg").toStdString(),
                         {"rhythms", "\"16th note\",30", "Swing,40,20"});
    }

    void cleanupTestCase() { QDir::setCurrent(oldCurrent_); }

    void aDraggedLineIsHeardWithTheCompositionsSettings() {
        MessageRecorder recorder;
        StartProgram(dir_.path());
        QWidget* picture = MainForm1->Image2;
        QVERIFY(!MainForm1->Audition->isChecked());

        // Without the box a drag sends nothing.
        Capture().ClearMessages();
        Drag(picture, QPoint(20, 200), QPoint(225, 30), 4);
        QTest::qWait(120);
        QCOMPARE(Capture().MessageCount(), std::size_t{0});

        // The composition window's settings, none of them the default.
        ComposeWin->ScaleComboBox1->setCurrentIndex(1);
        ComposeWin->RhytmComboBox2->setCurrentIndex(1);
        ComposeWin->NoteCount->setText("16");
        ComposeWin->Tempo->setText("180");
        ComposeWin->TempoChange();
        TrackSettingWin->Parts[0].Program = 40;
        MainForm1->Audition->setChecked(true);

        // The first move is heard at once.
        Capture().ClearMessages();
        QTest::mousePress(picture, Qt::LeftButton, Qt::NoModifier, QPoint(30, 190));
        const Clock::time_point moved = Clock::now();
        QTest::mouseMove(picture, QPoint(120, 120));
        QTRY_VERIFY_WITH_TIMEOUT(
            std::ranges::any_of(Capture().Messages(), [](const auto& m) { return NoteOn(m); }),
            1000);
        const Messages first = Capture().Messages();
        const auto firstNote = std::ranges::find_if(first, [](const auto& m) { return NoteOn(m); });
        QVERIFY(firstNote->time - moved < std::chrono::milliseconds(150));

        // A burst of moves: the audition before is cut short, at most one
        // audition starts per pause, and the last move is heard.
        QVERIFY(!Sounding(first, first.size()).empty());
        const Clock::time_point burst = Clock::now();
        for (const QPoint at : {QPoint(150, 100), QPoint(180, 80), QPoint(210, 50)}) {
            QTest::mouseMove(picture, at);
        }
        QTest::mouseRelease(picture, Qt::LeftButton, Qt::NoModifier, QPoint(210, 50));
        const auto spent = Clock::now() - burst;
        QTRY_VERIFY_WITH_TIMEOUT(!MidiDevice->IsPlaying(), 5000);
        const Messages heard = Capture().Messages();
        const std::size_t start = LastAuditionStart(heard);
        QVERIFY(start > first.size());
        const auto auditions = std::ranges::count_if(
            heard, [](const auto& m) { return Silence(m) && m.bytes[0] == 0xB0; });
        QVERIFY(auditions <= 2 + spent / std::chrono::milliseconds(50));

        // What the last audition played: the first two bars of the song Play
        // renders from the same line, at the tempo, on part 0's program, and
        // nothing left sounding before it began nor after it ended.
        QTest::mouseClick(MainForm1->Compose, Qt::LeftButton);
        const std::vector<Note> expected = PlayedNotes();
        QVERIFY(expected.size() > 2);
        std::vector<std::vector<std::uint8_t>> played;
        std::vector<Clock::time_point> times;
        bool program = false;
        for (std::size_t i = start; i < heard.size(); ++i) {
            if (NoteOn(heard[i])) {
                played.push_back(heard[i].bytes);
                times.push_back(heard[i].time);
            }
            program |= heard[i].bytes == std::vector<std::uint8_t>{0xC0, 40};
            QVERIFY(!Silence(heard[i]));
        }
        std::vector<std::vector<std::uint8_t>> notes;
        for (const Note& note : expected) {
            notes.push_back(note.bytes);
        }
        QCOMPARE(played, notes);
        QVERIFY(program);
        const double msPerTick = 60000.0 / 180 / 120;
        const double expectedMs = (expected.back().ticks - expected.front().ticks) * msPerTick;
        const double playedMs =
            std::chrono::duration<double, std::milli>(times.back() - times.front()).count();
        QVERIFY2(std::abs(playedMs - expectedMs) < 40.0,
                 qPrintable(QString("%1 ms for %2 ms").arg(playedMs).arg(expectedMs)));
        QVERIFY(Sounding(heard, start).empty());
        QVERIFY(Sounding(heard, heard.size()).empty());
        QVERIFY(recorder.messages.empty());
        StopProgram();
    }

#ifdef SORVELIN_TEST_SYNTH
    // The built-in synthesizer on a sound server of the test's own: the first
    // move is heard soon, and Stop silences the audition.
    void theSynthesizerSoundsAtOnceAndStopsAtStop() {
        using sorvelin::test::MonitorRecorder;
        using sorvelin::test::PulseServer;
        if (!PulseServer::Available() || FindSoundFont(SoundFontFolders()).empty()) {
            QSKIP("pulseaudio, parec or a SoundFont is missing");
        }
        PulseServer pulse;
        QVERIFY(pulse.Ready());
        MonitorRecorder heard(pulse);
        QVERIFY(heard.WaitUntilRecording());
        MessageRecorder recorder;
        StartOptions options;
        options.device.service = MakeMidiOutService();
        options.device.showModal = [](TMidiDevice&) {};
        CreateWindows(std::move(options));
        QCOMPARE(MidiDevice->DeviceId(), -1);
        MainForm1->AppDir = dir_.path().toStdString();
        MainForm1->show();
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

        constexpr int Sounding = 2000;
        constexpr int Silent = 33; // -60 dBFS
        const std::vector<int> peaks = heard.Peaks();
        const auto onset =
            std::find_if(peaks.begin() + static_cast<std::ptrdiff_t>(heard.FrameAt(moved)),
                         peaks.end(), [](int peak) { return peak >= Sounding; });
        QVERIFY(onset != peaks.end());
        const auto after = heard.TimeOf(static_cast<std::size_t>(onset - peaks.begin())) - moved;
        qInfo("heard %.1f ms after the first move",
              std::chrono::duration<double, std::milli>(after).count());
        QVERIFY(after < std::chrono::milliseconds(150));
        const std::size_t quiet = heard.FrameAt(stopped + std::chrono::milliseconds(200));
        QVERIFY(quiet < peaks.size());
        QVERIFY(*std::max_element(peaks.begin() + static_cast<std::ptrdiff_t>(quiet), peaks.end()) <
                Silent);
        QVERIFY(recorder.messages.empty());
    }
#endif
};

QTEST_MAIN(AuditionTest)
#include "AuditionTest.moc"
