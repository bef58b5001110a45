// Start-up and shut-down of the program's four windows.
#include "app/StartUp.h"
#include "compose/Cmpwin.h"
#include "explorer/Main.h"
#include "output/Mididevicewin.h"
#include "platform/MessageBox.h"
#include "tracks/Trkwin.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace sorvelin;

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
};

QTEST_MAIN(StartUpTest)
#include "StartUpTest.moc"
