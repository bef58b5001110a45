// Where the four windows open on a first start (no main.prf, no device.prf)
// on one 1280 x 1024 screen whose window frames have borders.
#include "app/StartUp.h"
#include "ui/compose/Cmpwin.h"
#include "ui/explorer/Main.h"
#include "ui/output/Mididevicewin.h"
#include "ui/tracks/Trkwin.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace sorvelin;

class FirstPlacementTest : public QObject {
    Q_OBJECT

private slots:
    void noWindowCoversAnotherInAnyOrderOfOpening_data() {
        QTest::addColumn<QStringList>("order");
        QTest::newRow("compose, part setup, device")
            << QStringList{"ComposeWin", "TrackSettingWin", "MidiDevice"};
        QTest::newRow("device, compose, part setup")
            << QStringList{"MidiDevice", "ComposeWin", "TrackSettingWin"};
        QTest::newRow("part setup, device, compose")
            << QStringList{"TrackSettingWin", "MidiDevice", "ComposeWin"};
    }

    void noWindowCoversAnotherInAnyOrderOfOpening() {
        QFETCH(QStringList, order);
        QTemporaryDir dir;
        CreateWindows();
        MainForm1->AppDir = dir.path().toStdString();
        MainForm1->show();
        const QMap<QString, QWidget*> windows{{"ComposeWin", ComposeWin},
                                              {"TrackSettingWin", TrackSettingWin},
                                              {"MidiDevice", MidiDevice}};
        std::vector<QWidget*> shown{MainForm1};
        for (const QString& name : order) {
            shown.push_back(windows[name]);
            shown.back()->show();
        }
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        for (std::size_t i = 0; i < shown.size(); ++i) {
            const QRect frame = shown[i]->frameGeometry();
            QVERIFY2(frame.size() != shown[i]->size(), "the frames have borders");
            QVERIFY2(screen.contains(frame), qPrintable(shown[i]->objectName()));
            for (std::size_t j = 0; j < i; ++j) {
                QVERIFY2(!frame.intersects(shown[j]->frameGeometry()),
                         qPrintable(shown[i]->objectName() + " covers " + shown[j]->objectName()));
            }
        }
        DestroyWindows();
    }
};

// One screen of 1280 x 1024 whose windows get frames, as under a window manager.
int main(int argc, char** argv) {
    QTemporaryDir dir;
    QFile config(dir.filePath("screen.json"));
    if (!config.open(QIODevice::WriteOnly) ||
        config.write(R"({"windowFrameMargins": true, "screens": [{"name": "Screen",
            "x": 0, "y": 0, "width": 1280, "height": 1024, "logicalDpi": 96, "dpr": 1}]})") < 0) {
        return 1;
    }
    config.close();
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + config.fileName().toUtf8());
    QApplication application(argc, argv);
    FirstPlacementTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "FirstPlacementTest.moc"
