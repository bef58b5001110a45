// What a screen reader or an outside script sees of the windows: every
// control of the explorer window by its accessible name, no focusable control
// without a name in any window, and the explorer window's tab order.
#include "support/WindowTestSupport.h"
#include "ui/compose/Cmpwin.h"
#include "ui/output/Mididevicewin.h"
#include "ui/tracks/Trkwin.h"

#include <QAccessible>
#include <QComboBox>
#include <QPushButton>
#include <QtTest>

using namespace sorvelin;
using namespace sorvelin::testing;

class AccessibilityTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    MessageRecorder recorder_;

private slots:
    void init() { StartProgram(dir_.path()); }
    void cleanup() { StopProgram(); }

    void explorerControlsCarryTheirNames_data() {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("name");
        const char* const names[][2] = {{"MouseX", "Zoom Range X"},
                                        {"MouseY", "Zoom Range Y"},
                                        {"RectWidth", "Zoom Range Width"},
                                        {"RectHeight", "Zoom Range Height"},
                                        {"posX", "Disp Range X"},
                                        {"posY", "Disp Range Y"},
                                        {"RangeX", "Disp Range Width"},
                                        {"RangeY", "Disp Range Height"},
                                        {"StartX", "Calc Start X"},
                                        {"StartY", "Calc Start Y"},
                                        {"EndX", "Calc End X"},
                                        {"EndY", "Calc End Y"},
                                        {"Iteration", "Iteration"},
                                        {"ComboBox1", "Func"},
                                        {"XShiftTrackBar1", "dX"},
                                        {"YShiftTrackBar2", "dY"},
                                        {"XShiftEdit1", "dX percent"},
                                        {"YShiftEdit1", "dY percent"},
                                        {"LeftSpeedButton", "Pan Left"},
                                        {"UpSpeedButton", "Pan Up"},
                                        {"DownSpeedButton", "Pan Down"},
                                        {"RightSpeedButton", "Pan Right"},
                                        {"Image1", "Fractal Picture"},
                                        {"Image2", "Composition Line"},
                                        {"SizeableRectShape1", "Zoom Rectangle"},
                                        {"Shape1", "Julia Marker"},
                                        {"NoticeLabel", "Notice"},
                                        {"PolyphonicMethod", "Polyphonic Method"},
                                        {"Turbo", "Draw Now!"},
                                        {"Always", "Always"},
                                        {"ZoomIn", "Zoom In"},
                                        {"ZoomOut", "Zoom Out"},
                                        {"Redraw", "Redraw"},
                                        {"Reset", "Reset"},
                                        {"Compose", "Compose"},
                                        {"ExitButton1", "Bye"},
                                        {"PictureSize", "Picture size"},
                                        {"PolyphonicMethod1", "Radiational(Fixd Start)"}};
        for (const auto& entry : names) {
            QTest::newRow(entry[0]) << QString(entry[0]) << QString(entry[1]);
        }
    }

    void explorerControlsCarryTheirNames() {
        QFETCH(QString, control);
        QFETCH(QString, name);
        auto* widget = MainForm1->findChild<QWidget*>(control);
        QVERIFY(widget != nullptr);
        QCOMPARE(AccessibleName(widget), name);
        QVERIFY(!widget->accessibleDescription().isEmpty() || widget->inherits("QRadioButton"));
    }

    void theFormulaListAnnouncesItsNameAndItsChoice() {
        QAccessibleInterface* item = QAccessible::queryAccessibleInterface(MainForm1->ComboBox1);
        QVERIFY(item != nullptr);
        QCOMPARE(item->role(), QAccessible::ComboBox);
        QCOMPARE(item->text(QAccessible::Name), QString("Func"));
        QCOMPARE(item->text(QAccessible::Value), QString("z1=z0^2-c"));
    }

    void noFocusableControlIsNameless() {
        for (QWidget* window :
             {static_cast<QWidget*>(MainForm1), static_cast<QWidget*>(MidiDevice),
              static_cast<QWidget*>(ComposeWin), static_cast<QWidget*>(TrackSettingWin)}) {
            QVERIFY(!window->windowTitle().isEmpty());
            for (QWidget* widget : window->findChildren<QWidget*>()) {
                if (widget->focusPolicy() == Qt::NoFocus) {
                    continue;
                }
                QVERIFY2(!AccessibleName(widget).trimmed().isEmpty(),
                         qPrintable(window->objectName() + "/" + widget->objectName()));
            }
        }
    }

    void tabGoesTopToBottomAndLeftToRight() {
        const QStringList expected = {"Turbo",
                                      "Always",
                                      "ZoomIn",
                                      "ZoomOut",
                                      "UpSpeedButton",
                                      "LeftSpeedButton",
                                      "RightSpeedButton",
                                      "DownSpeedButton",
                                      "Redraw",
                                      "Reset",
                                      "MouseX",
                                      "MouseY",
                                      "RectWidth",
                                      "RectHeight",
                                      "posX",
                                      "posY",
                                      "RangeX",
                                      "RangeY",
                                      "StartX",
                                      "StartY",
                                      "EndX",
                                      "EndY",
                                      "Iteration",
                                      "ComboBox1",
                                      "PolyphonicMethod0",
                                      "XShiftTrackBar1",
                                      "XShiftEdit1",
                                      "YShiftTrackBar2",
                                      "YShiftEdit1",
                                      "Audition",
                                      "PictureSize",
                                      "ExitButton1",
                                      "SizeableRectShape1"};
        // Compose is still disabled and the Julia marker hidden, so Tab passes them by.
        QApplication::setActiveWindow(MainForm1);
        QVERIFY(QTest::qWaitForWindowActive(MainForm1));
        MainForm1->Turbo->setFocus();
        QVERIFY(QApplication::focusWidget() != nullptr);
        QStringList order{QApplication::focusWidget()->objectName()};
        for (int i = 1; i < expected.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QVERIFY(QApplication::focusWidget() != nullptr);
            order << QApplication::focusWidget()->objectName();
        }
        QCOMPARE(order, expected);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), MainForm1->Turbo);
    }
};

QTEST_MAIN(AccessibilityTest)
#include "AccessibilityTest.moc"
