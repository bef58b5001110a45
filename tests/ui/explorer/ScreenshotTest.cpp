// Pictures of the explorer window for the README and for looking at: after
// start-up, after a zoom with a composition line drawn, and that view with
// the picture at 480 pixels. Written as PNG
// files into the folder named by SORVELIN_SCREENSHOT_DIR, or into
// "screenshots" under the build folder.
#include "support/WindowTestSupport.h"
#include "ui/explorer/MainPictures.h"
#include "ui/explorer/Sizeablerectshape.h"

#include <QComboBox>
#include <QDir>
#include <QPushButton>
#include <QtTest>

using namespace sorvelin;
using namespace sorvelin::testing;

class ScreenshotTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir settings_;
    QString out_;

    void Save(const QString& name) { SaveScreenshot(MainForm1, out_, name); }

private slots:
    void initTestCase() { out_ = ScreenshotFolder(QT_TESTCASE_BUILDDIR); }

    void startUpAndZoomWithLine() {
        MessageRecorder recorder;
        StartProgram(settings_.path());
        QTRY_VERIFY_WITH_TIMEOUT(!MainForm1->IdleRendering(), 30000);
        Save("explorer-start.png");

        // The rectangle onto the valley between the two largest bulbs, then zoom.
        Hover(MainForm1->SizeableRectShape1, QPoint(30, 30));
        Drag(MainForm1->SizeableRectShape1, QPoint(30, 30), QPoint(15, 20), 3);
        QTest::mouseClick(MainForm1->ZoomIn, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!MainForm1->IdleRendering(), 30000);
        Drag(MainForm1->Image2, QPoint(20, 200), QPoint(225, 30), 4);
        QVERIFY(MainForm1->Compose->isEnabled());
        Save("explorer-zoom-line.png");

        // The same view and line at a picture of 480.
        MainForm1->PictureSize->setCurrentText("480");
        QTRY_VERIFY_WITH_TIMEOUT(!MainForm1->IdleRendering(), 30000);
        Save("explorer-480.png");
        QVERIFY(recorder.messages.empty());
        StopProgram();
    }
};

QTEST_MAIN(ScreenshotTest)
#include "ScreenshotTest.moc"
