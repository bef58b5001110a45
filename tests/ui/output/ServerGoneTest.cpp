// The sound server going away while a song plays, through the windows: the
// program's own output service against a JACK server on the dummy driver and
// a PulseAudio server of the test's own (for the built-in synthesizer), each
// killed outright. The window must say so within a second, give Play back,
// and play on the output chosen next.
#include "app/StartUp.h"
#include "sound/FluidSynthCore.h"
#include "sound/MidiOutFactory.h"
#include "support/JackTestSupport.h"
#include "support/PulseServer.h"
#include "support/WindowTestSupport.h"
#include "ui/compose/Cmpwin.h"
#include "ui/explorer/MainPictures.h"

#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <memory>

using namespace sorvelin;
using namespace sorvelin::testing;
using sorvelin::test::PulseServer;

class ServerGoneTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    std::unique_ptr<MessageRecorder> recorder_;
    std::unique_ptr<PulseServer> pulse_;

    QStringList Messages() const {
        QStringList texts;
        for (const Message& m : recorder_->messages) {
            texts << QString::fromStdString(m.text);
        }
        return texts;
    }

    // The program as it starts, on its real outputs (the built-in
    // synthesizer first), with a song of a few minutes composed.
    void Start() {
        recorder_ = std::make_unique<MessageRecorder>();
        StartOptions options;
        options.device.service = MakeMidiOutService();
        options.device.showModal = [](TMidiDevice&) {};
        CreateWindows(std::move(options));
        QCOMPARE(MidiDevice->DeviceId(), -1);
        MainForm1->AppDir = dir_.path().toStdString();
        MainForm1->show();
        Drag(MainForm1->Image2, QPoint(20, 200), QPoint(225, 30), 4);
        ComposeWin->NoteCount->setText("1000");
        QTest::mouseClick(MainForm1->Compose, Qt::LeftButton);
        QVERIFY(MainForm1->Compose->isEnabled());
    }

    // Device Setup's row whose text starts with `text`, opened.
    void Choose(const QString& text) {
        MidiDevice->FillDeviceList();
        const auto rows = MidiDevice->DevSummListBox1->findItems(text, Qt::MatchStartsWith);
        QVERIFY2(!rows.isEmpty(), qPrintable(text));
        MidiDevice->DevSummListBox1->setCurrentItem(rows.first());
        MidiDevice->MIDIOpenExecute();
        QVERIFY(MidiDevice->Output().IsOpen());
    }

    void PlayForAWhile() {
        QTest::mouseClick(ComposeWin->PlayButton, Qt::LeftButton);
        QVERIFY(MidiDevice->IsPlaying());
        QVERIFY(!ComposeWin->PlayButton->isEnabled());
        QTest::qWait(500);
        QVERIFY(MidiDevice->IsPlaying());
    }

    // Kills the server; within a second the window says `expected` once and
    // Play is back.
    void KillAndExpect(const std::function<void()>& kill, int code) {
        recorder_->messages.clear();
        QElapsedTimer clock;
        clock.start();
        kill();
        QTRY_VERIFY_WITH_TIMEOUT(ComposeWin->PlayButton->isEnabled() && !Messages().isEmpty(),
                                 1000);
        qInfo("told %lld ms after the kill", static_cast<long long>(clock.elapsed()));
        QVERIFY(!MidiDevice->IsPlaying());
        QTest::qWait(100);
        QCOMPARE(Messages(), QStringList{QString::fromStdString(StandardMidiErrorText(code))});
        recorder_->messages.clear();
    }

private slots:
    void init() {
        if (!PulseServer::Available() || FindSoundFont(SoundFontFolders()).empty()) {
            QSKIP("pulseaudio, parec or a SoundFont is missing");
        }
        pulse_ = std::make_unique<PulseServer>();
        QVERIFY(pulse_->Ready());
    }

    void cleanup() {
        DestroyWindows();
        recorder_.reset();
        pulse_.reset();
    }

    void aJackServerKilledMidSongIsToldAndTheSynthesizerPlaysNext() {
        if (FindJackd().empty()) {
            QSKIP("jackd is not installed");
        }
        JackServer jack;
        QVERIFY(jack.Running());
        Start();
        Choose("JACK MIDI out");
        PlayForAWhile();
        KillAndExpect([&jack] { jack.Kill(SIGKILL); }, kMidiErrServerGone);
        // Any other output opens at once and plays, without a word.
        Choose("FluidSynth");
        QCOMPARE(MidiDevice->DeviceId(), -1);
        PlayForAWhile();
        QCOMPARE(Messages(), QStringList());
        QTest::mouseClick(ComposeWin->StopButton, Qt::LeftButton);
        QTRY_VERIFY(ComposeWin->PlayButton->isEnabled());
        DestroyWindows(); // before the server goes
    }

    void aPulseServerKilledMidSongIsToldAndTheSynthesizerReopens() {
        Start();
        sorvelin::test::MonitorRecorder heard(*pulse_);
        QVERIFY(heard.WaitUntilRecording());
        PlayForAWhile();
        // Killed while the song is heard: the sound stream runs.
        QTRY_VERIFY_WITH_TIMEOUT(std::ranges::any_of(heard.Peaks(), [](int p) { return p > 2000; }),
                                 10000);
        heard.Stop();
        KillAndExpect([this] { pulse_->Kill(); }, kMidiErrAudioStopped);
        // A server back: Device Setup opens the synthesizer anew.
        pulse_ = std::make_unique<PulseServer>();
        QVERIFY(pulse_->Ready());
        Choose("FluidSynth");
        PlayForAWhile();
        QCOMPARE(Messages(), QStringList());
        QTest::mouseClick(ComposeWin->StopButton, Qt::LeftButton);
    }
};

QTEST_MAIN(ServerGoneTest)
#include "ServerGoneTest.moc"
