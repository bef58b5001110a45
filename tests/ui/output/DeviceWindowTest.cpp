// The device window: the output list, opening by button or double click,
// device.prf read at creation and written at the end, and a start-up without
// a usable output that neither traps the user nor blocks.
#include "base/TextFile.h"
#include "sound/MidiOutCapture.h"
#include "support/WindowTestSupport.h"
#include "ui/compose/Cmpwin.h"
#include "ui/explorer/MainPictures.h"
#include "ui/output/Mididevicewin.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QtTest>

using namespace sorvelin;
using namespace sorvelin::testing;

namespace {

// Lends a capture service that outlives the window using it.
class Lent : public MidiOutService {
public:
    explicit Lent(CaptureMidiOut& capture) : capture_(capture) {}
    int NumDevs() override { return capture_.NumDevs(); }
    int DevCaps(int id, MidiOutCaps& caps) override { return capture_.DevCaps(id, caps); }
    int Open(int id, std::unique_ptr<MidiOutput>& out) override { return capture_.Open(id, out); }
    std::string ErrorText(int code) override { return capture_.ErrorText(code); }

private:
    CaptureMidiOut& capture_;
};

std::vector<MidiOutCaps> FourPorts() {
    return {
        {"Port A", kMidiTechPort}, {"Odd", kMidiTechNone}, {"Wide", 9}, {"FM", kMidiTechFmSynth}};
}

// Stands in for Sorvelin:in: the test hands it the clock a DAW would send.
class HandClock : public SyncInput {
public:
    void Send(std::uint8_t status) {
        pending_.push_back({status, 0, std::chrono::steady_clock::now()});
    }
    void ReadSync(std::vector<SyncMessage>& into) override {
        into.insert(into.end(), pending_.begin(), pending_.end());
        pending_.clear();
    }

private:
    std::vector<SyncMessage> pending_;
};

QStringList Lines(const QListWidget* list) {
    QStringList lines;
    for (int i = 0; i < list->count(); ++i) {
        lines << list->item(i)->text();
    }
    return lines;
}

} // namespace

class DeviceWindowTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    MessageRecorder* recorder_ = nullptr;
    int modalShown_ = 0;

    QString Prf() const { return QDir(dir_.path()).filePath("device.prf"); }

    MidiDeviceOptions Options(CaptureMidiOut& capture, bool withPrf = true) {
        MidiDeviceOptions options;
        options.service = std::make_unique<Lent>(capture);
        if (withPrf) {
            options.settingsFile = Prf().toStdString();
        }
        options.showModal = [this](TMidiDevice&) { ++modalShown_; };
        return options;
    }

    QStringList Messages() const {
        QStringList texts;
        for (const Message& m : recorder_->messages) {
            texts << QString::fromStdString(m.text);
        }
        return texts;
    }

private slots:
    void init() {
        recorder_ = new MessageRecorder;
        modalShown_ = 0;
        QFile::remove(Prf());
    }

    void cleanup() {
        delete recorder_;
        recorder_ = nullptr;
    }

    void theListShowsEveryOutputWithItsTechnology() {
        CaptureMidiOut capture(FourPorts());
        TMidiDevice device(Options(capture));
        QCOMPARE(device.FormCreate(), 0);
        QCOMPARE(device.windowTitle(), QString("MidiDevice"));
        device.show();
        QCOMPARE(Lines(device.DevSummListBox1),
                 (QStringList{"Capture Synth Synth", "Port A MIDI Port", "Odd ", "Wide ",
                              "FM FM Synth"}));
        QCOMPARE(device.DevSummListBox1->currentRow(), 0);
        QVERIFY(device.OpenButton1->isEnabled());
        QVERIFY(!device.ErrorTestButton1->isVisible());
        QVERIFY(!device.NoOutputLabel->isVisible());
        QCOMPARE(capture.OpenOutputs(), 1);
    }

    void aDoubleClickOpensTheRowAndClosesTheWindow() {
        CaptureMidiOut capture(FourPorts());
        TMidiDevice device(Options(capture));
        device.FormCreate();
        device.show();
        QListWidget* list = device.DevSummListBox1;
        list->setCurrentRow(4);
        const QRect row = list->visualItemRect(list->item(4));
        // A double click arrives after the click it completes.
        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, row.center());
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, row.center());
        QCOMPARE(device.DeviceId(), 3);
        QVERIFY(!device.isVisible());
        QCOMPARE(capture.OpenOutputs(), 1); // the old output was closed first
        QVERIFY(Messages().isEmpty());
    }

    void aFailedOpenIsShownAndTheWindowStays() {
        CaptureMidiOut capture(FourPorts());
        capture.FailOpen(0, kMidiErrNotSupported);
        TMidiDevice device(Options(capture));
        device.FormCreate();
        device.show();
        device.DevSummListBox1->setCurrentRow(1);
        QTest::mouseClick(device.OpenButton1, Qt::LeftButton);
        QCOMPARE(Messages(),
                 QStringList{QString::fromStdString(capture.ErrorText(kMidiErrNotSupported))});
        QVERIFY(device.isVisible());
        QCOMPARE(device.DeviceId(), -1);
        QCOMPARE(capture.OpenOutputs(), 0);
    }

    void deviceSettingsAreReadAtCreationAndWrittenAtTheEnd() {
        WriteLinesAtomic(Prf().toStdString(), {"0000", "50", "60", "440", "280", "1"});
        CaptureMidiOut capture(FourPorts());
        {
            TMidiDevice device(Options(capture));
            QCOMPARE(device.FormCreate(), 0);
            QCOMPARE(device.DeviceId(), 1);
            QCOMPARE(device.geometry(), QRect(60, 50, 440, 280));
            device.show();
            QCOMPARE(device.DevSummListBox1->currentRow(), 2);
            // The client's place and size are kept.
            device.setGeometry(70, 40, 451, 295);
        }
        QCOMPARE(capture.OpenOutputs(), 0);
        const std::vector<std::string> lines = ReadLines(Prf().toStdString());
        QCOMPARE(lines, (std::vector<std::string>{"0000", "40", "70", "451", "295", "1"}));
    }

    void aStoredOutputThatIsGoneShowsTheWindowWithNoRowChosen() {
        WriteLinesAtomic(Prf().toStdString(), {"0000", "109", "200", "451", "295", "7"});
        CaptureMidiOut capture; // no ports at all
        TMidiDevice device(Options(capture));
        QVERIFY(device.FormCreate() != 0);
        QCOMPARE(modalShown_, 1);
        QCOMPARE(Messages().size(), 1);
        device.show();
        QCOMPARE(Lines(device.DevSummListBox1), QStringList{"Capture Synth Synth"});
        QCOMPARE(device.DevSummListBox1->currentRow(), -1);
        QVERIFY(!device.OpenButton1->isEnabled());
        QVERIFY(device.NoOutputLabel->isVisible());
    }

    void withoutASoundDeviceTheProgramStartsAndPlaySaysWhy() {
        CaptureMidiOut capture;
        capture.FailOpen(-1, kMidiErrNoAudio);
        StartOptions options;
        options.device = Options(capture, false);
        CreateWindows(std::move(options));
        // The error first, then the device window, shown once and never blocking.
        QCOMPARE(Messages(), QStringList{"No sound output could be opened: no sound server or "
                                         "sound card answered. Sorvelin goes on without sound; "
                                         "choose an output in Device Setup."});
        QCOMPARE(modalShown_, 1);
        MidiDevice->show();
        QCOMPARE(MidiDevice->DevSummListBox1->currentRow(), 0); // the built-in synthesizer
        QVERIFY(MidiDevice->NoOutputLabel->isVisible());
        MidiDevice->hide();
        MainForm1->AppDir = dir_.path().toStdString();
        MainForm1->show();
        Drag(MainForm1->Image2, QPoint(20, 200), QPoint(225, 30), 4);
        ComposeWin->NoteCount->setText("8");
        QTest::mouseClick(MainForm1->Compose, Qt::LeftButton);
        recorder_->messages.clear();
        QTest::mouseClick(ComposeWin->PlayButton, Qt::LeftButton);
        QCoreApplication::processEvents();
        QCOMPARE(Messages().size(), 1);
        QVERIFY(Messages()[0].contains("The song was rendered"));
        QVERIFY(ComposeWin->PlayButton->isEnabled());
        // The song was still rendered: Save MIDI has something to write.
        QVERIFY(ComposeWin->Rendered().HasSong());
        QTest::mouseClick(ComposeWin->StopButton, Qt::LeftButton);
        QCOMPARE(capture.MessageCount(), std::size_t{0});
        StopProgram();
    }

    void goingOnWithoutSoundIsRememberedUntilAnOutputOpens() {
        CaptureMidiOut capture;
        capture.FailOpen(-1, kMidiErrNoAudio);
        // Each start: the messages, whether the window asked, the notice.
        const struct {
            int messages;
            int asked;
            bool notice;
        } starts[] = {{1, 1, true}, {0, 0, true}, {0, 0, true}};
        for (const auto& start : starts) {
            recorder_->messages.clear();
            modalShown_ = 0;
            StartOptions options;
            options.device = Options(capture);
            CreateWindows(std::move(options));
            MainForm1->AppDir = dir_.path().toStdString();
            MainForm1->show();
            QCOMPARE(static_cast<int>(Messages().size()), start.messages);
            QCOMPARE(modalShown_, start.asked);
            QCOMPARE(MainForm1->NoticeLabel->text() == QString(NoSoundNotice), start.notice);
            StopProgram();
        }
        // Opening an output undoes the choice.
        capture.FailOpen(-1, kMidiOk);
        StartOptions options;
        options.device = Options(capture);
        CreateWindows(std::move(options));
        QCOMPARE(MidiDevice->Model().OpenDevice(-1), 0);
        StopProgram();
        QVERIFY(QString::fromStdString(ReadFileBytes(Prf().toStdString())).endsWith("-1\r\n"));
    }

    // The four boxes: shown with an open output, the timebase box only with
    // the clock, remembered in device.prf; "Follow MIDI clock" with an
    // output of no input of its own opens the program's clock input once (a
    // failure said once), and its Start, clocks and Stop play and stop.
    void theSyncBoxesAreRememberedAndAClockInPlaysTheSong() {
        CaptureMidiOut capture;
        HandClock clock;
        int opened = 0;
        bool inputThere = false;
        StartOptions options;
        options.device = Options(capture);
        options.device.openSyncInput = [&](std::string& why) -> std::unique_ptr<SyncInput> {
            ++opened;
            if (!inputThere) {
                why = "no sequencer";
                return nullptr;
            }
            struct Lend : SyncInput {
                explicit Lend(HandClock& c) : clock(c) {}
                void ReadSync(std::vector<SyncMessage>& into) override { clock.ReadSync(into); }
                HandClock& clock;
            };
            return std::make_unique<Lend>(clock);
        };
        CreateWindows(std::move(options));
        MainForm1->AppDir = dir_.path().toStdString();
        MainForm1->show();
        Drag(MainForm1->Image2, QPoint(20, 200), QPoint(225, 30), 4);
        QTest::mouseClick(MainForm1->Compose, Qt::LeftButton);
        MidiDevice->show();
        QVERIFY(MidiDevice->SendClockBox->isVisible());
        QVERIFY(!MidiDevice->TimebaseMasterBox->isEnabled());
        MidiDevice->SendClockBox->click();
        QVERIFY(MidiDevice->TimebaseMasterBox->isEnabled());
        MidiDevice->FollowClockBox->click();
        QTRY_COMPARE(Messages().size(), 1);
        QVERIFY(Messages()[0].contains("no sequencer"));
        QTest::qWait(50);
        QCOMPARE(opened, 1);
        QCOMPARE(Messages().size(), 1);

        inputThere = true;
        MidiDevice->FollowClockBox->click(); // off and on: tried again
        MidiDevice->FollowClockBox->click();
        clock.Send(kMidiStart);
        for (int k = 0; k < 24 && !MidiDevice->IsPlaying(); ++k) {
            clock.Send(kMidiClock);
            QTest::qWait(25); // 100 bpm
        }
        QVERIFY(MidiDevice->IsPlaying());
        QCOMPARE(opened, 2);
        clock.Send(kMidiStop);
        QTRY_VERIFY(!MidiDevice->IsPlaying());
        StopProgram();
        QCOMPARE(capture.OpenOutputs(), 0);

        CaptureMidiOut again;
        TMidiDevice device(Options(again));
        device.FormCreate();
        QVERIFY(device.SendClockBox->isChecked());
        QVERIFY(device.FollowClockBox->isChecked());
        QVERIFY(!device.FollowTransportBox->isChecked());
        QVERIFY(!device.TimebaseMasterBox->isChecked());
    }

    void shutDownStopsPlaybackClosesTheOutputAndWritesTheSettings() {
        CaptureMidiOut capture;
        StartOptions options;
        options.device = Options(capture);
        CreateWindows(std::move(options));
        MainForm1->AppDir = dir_.path().toStdString();
        MainForm1->show();
        Drag(MainForm1->Image2, QPoint(20, 200), QPoint(225, 30), 4);
        QTest::mouseClick(MainForm1->Compose, Qt::LeftButton);
        QTest::mouseClick(ComposeWin->PlayButton, Qt::LeftButton);
        QVERIFY(MidiDevice->IsPlaying());
        QTest::qWait(100);
        StopProgram();
        QCOMPARE(capture.OpenOutputs(), 0);
        QCOMPARE(capture.SendsAfterClose(), 0);
        const std::size_t count = capture.MessageCount();
        QTest::qWait(100);
        QCOMPARE(capture.MessageCount(), count);
        QCOMPARE(ReadLines(Prf().toStdString()).size(), std::size_t{6});
        QVERIFY(QFile::exists(QDir(dir_.path()).filePath("main.prf")));
        QVERIFY(Messages().isEmpty());
    }
};

QTEST_MAIN(DeviceWindowTest)
#include "DeviceWindowTest.moc"
