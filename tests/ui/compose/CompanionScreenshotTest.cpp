// Pictures of the composition window with a score, the track settings window
// and the device window, for the README and for looking at. Written as PNG
// files into the folder named by SORVELIN_SCREENSHOT_DIR, or into
// "screenshots" under the build folder.
#include "sound/MidiOutCapture.h"
#include "support/WindowTestSupport.h"
#include "ui/compose/Cmpwin.h"
#include "ui/explorer/MainPictures.h"
#include "ui/output/Mididevicewin.h"
#include "ui/tracks/Trkwin.h"

#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>

using namespace sorvelin;
using namespace sorvelin::testing;

class CompanionScreenshotTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir settings_;
    QString out_;

    void Save(QWidget* window, const QString& name) { SaveScreenshot(window, out_, name); }

private slots:
    void initTestCase() { out_ = ScreenshotFolder(QT_TESTCASE_BUILDDIR); }

    void composeTrackSettingsAndDevice() {
        MessageRecorder recorder;
        StartProgram(settings_.path());
        QTRY_VERIFY_WITH_TIMEOUT(!MainForm1->IdleRendering(), 30000);
        // A line from outside the set across its edge gives lively series.
        Drag(MainForm1->Image2, QPoint(10, 200), QPoint(200, 40), 4);
        ComposeWin->NoteCount->setText("120");
        QTest::mouseClick(MainForm1->Compose, Qt::LeftButton);
        QVERIFY(ComposeWin->isVisible());
        Save(ComposeWin, "compose-window.png");

        // Playing at 240 beats per minute, with the play position a quarter
        // of the way through the song.
        ComposeWin->Tempo->setText("240");
        ComposeWin->TempoChange();
        QTest::mouseClick(ComposeWin->PlayButton, Qt::LeftButton);
        QVERIFY(MidiDevice->IsPlaying());
        const std::int32_t quarter = ComposeWin->Rendered().Timeline().stepTimes.at(30);
        QTRY_VERIFY_WITH_TIMEOUT(MidiDevice->Engine().SongTicks() >= quarter, 20000);
        QTest::qWait(100); // the window's next look at the engine
        Save(ComposeWin, "compose-playing.png");
        QTest::mouseClick(ComposeWin->StopButton, Qt::LeftButton);
        QTRY_VERIFY(ComposeWin->PlayButton->isEnabled());

        TrackSettingWin->Parts[2].UsePart = true;
        QTest::mouseClick(ComposeWin->TrackSetupButton, Qt::LeftButton);
        QTableWidget* grid = TrackSettingWin->StringGrid1;
        const QRect row = grid->visualRect(grid->model()->index(1, 0));
        QTest::mousePress(grid->viewport(), Qt::LeftButton, Qt::NoModifier, row.center());
        Save(TrackSettingWin, "track-settings.png");

        MidiDevice->show();
        Save(MidiDevice, "device-window.png");
        MidiDevice->hide();
        QVERIFY(recorder.messages.empty());
        StopProgram();
    }

    void deviceWithoutSound() {
        MessageRecorder recorder;
        MidiDeviceOptions options;
        auto capture = std::make_unique<CaptureMidiOut>();
        capture->FailOpen(-1, kMidiErrNoAudio);
        options.service = std::move(capture);
        options.showModal = [](TMidiDevice&) {};
        TMidiDevice device(std::move(options));
        QVERIFY(device.FormCreate() != 0);
        QCOMPARE(recorder.messages.size(), std::size_t{1});
        device.show();
        Save(&device, "device-window-no-output.png");
    }
};

QTEST_MAIN(CompanionScreenshotTest)
#include "CompanionScreenshotTest.moc"
