// The whole road on a real display (run under Xvfb): start, draw a line,
// Compose, Play to the end on the built-in synthesizer (its audio going to a
// file, as there is no sound card), Save MIDI, Save Song, quit; start again
// and Load Song. No error box may appear on the way, and nothing may wait
// for a user.
#include "base/TextFile.h"
#include "sound/MidiOutCapture.h"
#include "support/WindowTestSupport.h"
#include "ui/compose/Cmpwin.h"
#include "ui/explorer/MainPictures.h"
#include "ui/output/Mididevicewin.h"
#include "ui/tracks/Trkwin.h"

#ifdef SORVELIN_E2E_SYNTH
#include "sound/MidiOutFluid.h"
#endif

#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

using namespace sorvelin;
using namespace sorvelin::testing;

class EndToEndTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    QString oldCurrent_;
    int modalShown_ = 0;

    QString Path(const QString& name) const { return QDir(dir_.path()).filePath(name); }

    void Start(const QString& nextFile) {
        StartOptions options;
#ifdef SORVELIN_E2E_SYNTH
        options.device.service = std::make_unique<FluidMidiOut>(
            std::vector<std::filesystem::path>{}, std::vector<std::string>{"file"});
#else
        options.device.service = std::make_unique<CaptureMidiOut>();
#endif
        options.device.settingsFile = kDevicePrfName; // the current folder, as the program
        options.device.showModal = [this](TMidiDevice&) { ++modalShown_; };
        CreateWindows(std::move(options));
        ComposeWin->SetFileNameFunction([nextFile](const FileRequest&) { return nextFile; });
        MainForm1->AppDir = dir_.path().toStdString();
        MainForm1->show();
        QVERIFY(QTest::qWaitForWindowExposed(MainForm1));
    }

    static void Quit() {
        MainForm1->close();
        DestroyWindows();
    }

private slots:
    void initTestCase() {
        oldCurrent_ = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir_.path()));
    }
    void cleanupTestCase() {
        QDir::setCurrent(oldCurrent_);
    }

    void composePlaySaveQuitAndLoadAgain() {
        MessageRecorder recorder;
        Start(Path("road.mid"));
        QVERIFY(MidiDevice->Output().IsOpen());
        Drag(MainForm1->Image2, QPoint(30, 210), QPoint(220, 40), 5);
        ComposeWin->NoteCount->setText("12");
        QTest::mouseClick(MainForm1->Compose, Qt::LeftButton);
        QVERIFY(QTest::qWaitForWindowExposed(ComposeWin));

        QTest::mouseClick(ComposeWin->PlayButton, Qt::LeftButton);
        QVERIFY(MidiDevice->IsPlaying());
        QTRY_VERIFY_WITH_TIMEOUT(ComposeWin->PlayButton->isEnabled(), 20000);
        QTest::mouseClick(ComposeWin->SaveButton2, Qt::LeftButton);
        ComposeWin->SetFileNameFunction([this](const FileRequest&) { return Path("road.svl"); });
        QTest::mouseClick(ComposeWin->SaveSongButton, Qt::LeftButton);
        const std::vector<std::int32_t> series = MainForm1->Series().Values();
        const QString iteration = MainForm1->Iteration->text();
        Quit();

        QVERIFY(ReadFileBytes(Path("road.mid").toStdString()).rfind("MThd", 0) == 0);
        QVERIFY(ReadLines(Path("road.svl").toStdString()).size() >= 139);
        QCOMPARE(ReadLines(Path("device.prf").toStdString()).front(), std::string("0000"));
        QVERIFY(QFile::exists(Path("main.prf")));

        Start(Path("road.svl"));
        QTest::mouseClick(ComposeWin->LoadSongButton, Qt::LeftButton);
        QVERIFY(MainForm1->Series().Values() == series);
        QCOMPARE(MainForm1->Iteration->text(), iteration);
        Quit();

        QStringList shown;
        for (const Message& m : recorder.messages) {
            shown << QString::fromStdString(m.text);
        }
        QCOMPARE(shown, QStringList());
        QCOMPARE(modalShown_, 0);
    }
};

QTEST_MAIN(EndToEndTest)
#include "EndToEndTest.moc"
