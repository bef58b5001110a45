// Start-up and shut-down of the program's four windows.
#include "app/StartUp.h"
#include "support/PlaybackTestSupport.h"
#include "support/SoundCheck.h"
#include "ui/common/MessageBox.h"
#include "ui/compose/Cmpwin.h"
#include "ui/explorer/Main.h"
#include "ui/output/Mididevicewin.h"
#include "ui/tracks/Trkwin.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <atomic>
#include <thread>

using namespace sorvelin;
using namespace std::chrono_literals;

class StartUpTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        SetMessageBoxFunction([](MessageKind, const std::string& text) {
            QFAIL(("unexpected message: " + text).c_str());
        });
    }

    void theFourWindowsExistOnceWithOnlyTheExplorerShown() {
        QTemporaryDir dir;
        const QSet<QWidget*> before(QApplication::topLevelWidgets().begin(),
                                    QApplication::topLevelWidgets().end());
        CreateWindows();
        QVERIFY(MainForm1 && MidiDevice && ComposeWin && TrackSettingWin);
        QCOMPARE(MainForm1->windowTitle(), QString("Sorvelin (Ver 1.10 )"));
        QCOMPARE(MidiDevice->windowTitle(), QString("MidiDevice"));
        QCOMPARE(TrackSettingWin->windowTitle(), QString("Track Settings"));
        for (QWidget* window :
             {static_cast<QWidget*>(MainForm1), static_cast<QWidget*>(MidiDevice),
              static_cast<QWidget*>(ComposeWin), static_cast<QWidget*>(TrackSettingWin)}) {
            QVERIFY(window->isWindow());
            QVERIFY(!before.contains(window));
        }

        MainForm1->AppDir = dir.path().toStdString();
        MainForm1->show();
        QVERIFY(MainForm1->isVisible());
        QVERIFY(!MidiDevice->isVisible());
        QVERIFY(!ComposeWin->isVisible());
        QVERIFY(!TrackSettingWin->isVisible());

        // Closing the explorer window ends the program (the signal quits the loop).
        QSignalSpy closed(MainForm1, &TMainForm1::Closed);
        MainForm1->close();
        QCOMPARE(closed.count(), 1);
        QVERIFY(QFile::exists(dir.filePath("main.prf")));

        DestroyWindows();
        QVERIFY(!MainForm1 && !MidiDevice && !ComposeWin && !TrackSettingWin);
    }

    void theWindowsCanBeCreatedAgainAfterDestruction() {
        CreateWindows();
        QVERIFY(ComposeWin->GetNoteCount() == 200);
        DestroyWindows();
        QVERIFY(MainForm1 == nullptr);
    }

    // The program closed in the middle of a song while the timer thread is
    // inside a send: nothing it plays may be freed under it, the output hears
    // the end of every note, and device.prf is written.
    void closingDuringPlaybackSilencesTheOutputAndWritesTheDevice() {
        QTemporaryDir dir;
        CaptureMidiOut capture;
        const std::thread::id windowThread = std::this_thread::get_id();
        std::atomic<bool> hold{false};
        std::atomic<bool> held{false};
        StartOptions options;
        options.device.service =
            std::make_unique<testing::InterceptService>(capture, [&](std::uint32_t) {
                if (std::this_thread::get_id() != windowThread && hold.exchange(false)) {
                    held = true;
                    std::this_thread::sleep_for(300ms); // the windows go meanwhile
                }
                return static_cast<int>(kMidiOk);
            });
        options.device.settingsFile = dir.filePath("device.prf").toStdString();
        options.device.showModal = [](TMidiDevice&) { QFAIL("no output opened"); };
        CreateWindows(std::move(options));
        ComposeWin->PlayClick();
        QVERIFY(MidiDevice->IsPlaying());
        hold = true;
        QTRY_VERIFY(held.load());
        DestroyWindows();
        QCOMPARE(faults::CheckHeard(capture.Messages()), std::string());
        QVERIFY(QFile::exists(dir.filePath("device.prf")));
    }
};

QTEST_MAIN(StartUpTest)
#include "StartUpTest.moc"
