// The keys a desktop user expects: the shortcut map of both windows, Space in
// the composition window, the first Tab, and the picture's menu from inside
// the zoom rectangle.
#include "support/WindowTestSupport.h"
#include "ui/compose/Cmpwin.h"
#include "ui/explorer/Main.h"
#include "ui/explorer/Sizeablerectshape.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QGroupBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

using namespace sorvelin;
using namespace sorvelin::testing;

class KeyboardTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    MessageRecorder* recorder_ = nullptr;

private slots:
    void init() {
        recorder_ = new MessageRecorder;
        StartProgram(dir_.path());
    }

    void cleanup() {
        StopProgram();
        delete recorder_;
    }

    void theShortcutMap() {
        const QList<QPair<QAbstractButton*, QString>> map{{ComposeWin->SaveSongButton, "Ctrl+S"},
                                                          {ComposeWin->LoadSongButton, "Ctrl+O"},
                                                          {ComposeWin->SaveButton2, "Ctrl+E"},
                                                          {ComposeWin->Button1, "F5"},
                                                          {MainForm1->Redraw, "F5"}};
        for (const auto& [button, keys] : map) {
            QCOMPARE(button->shortcut().toString(), keys);
        }
        // Captions stay as they were.
        QCOMPARE(ComposeWin->SaveButton2->text(), QString("Save MIDI"));
    }

    // Alt and a letter of the caption press the buttons without a shortcut of
    // their own; the captions read as before, and no two keys of a window clash.
    void theMnemonics() {
        const QList<QPair<QAbstractButton*, QString>> map{{MainForm1->Turbo, "Alt+D"},
                                                          {MainForm1->Always, "Alt+A"},
                                                          {MainForm1->ZoomIn, "Alt+I"},
                                                          {MainForm1->ZoomOut, "Alt+O"},
                                                          {MainForm1->Reset, "Alt+E"},
                                                          {MainForm1->Compose, "Alt+C"},
                                                          {MainForm1->ExitButton1, "Alt+B"},
                                                          {ComposeWin->PlayButton, "Alt+P"},
                                                          {ComposeWin->StopButton, "Alt+S"},
                                                          {ComposeWin->DeviceButton, "Alt+D"},
                                                          {ComposeWin->TrackSetupButton, "Alt+U"},
                                                          {ComposeWin->ShowNote, "Alt+N"}};
        for (const auto& [button, keys] : map) {
            QCOMPARE(button->shortcut().toString(), keys);
            QVERIFY(!QString(button->text()).remove('&').contains('&'));
        }
        QCOMPARE(QString(MainForm1->ZoomIn->text()).remove('&'), QString("Zoom In"));
        for (QWidget* window :
             {static_cast<QWidget*>(MainForm1), static_cast<QWidget*>(ComposeWin)}) {
            QSet<QString> seen;
            for (QAbstractButton* button : window->findChildren<QAbstractButton*>()) {
                const QString keys = button->shortcut().toString();
                QVERIFY2(keys.isEmpty() || !seen.contains(keys), qPrintable(keys));
                seen.insert(keys);
            }
        }
        ComposeWin->show();
        QVERIFY(QTest::qWaitForWindowExposed(ComposeWin));
        QSignalSpy stop(ComposeWin->StopButton, &QPushButton::clicked);
        QTest::keyClick(ComposeWin, Qt::Key_S, Qt::AltModifier);
        QTRY_COMPARE(stop.count(), 1);
    }

    // Space plays, and stops while playing, with the focus on any control of
    // the composition window; a text field types it, an open list keeps it.
    void spacePlaysAndStopsExceptInTextAndOpenLists_data() {
        QTest::addColumn<QString>("focus");
        QTest::addColumn<bool>("openList");
        QTest::addColumn<bool>("plays");
        QTest::newRow("the window") << "ComposeWin" << false << true;
        QTest::newRow("a button") << "SaveButton2" << false << true;
        QTest::newRow("a check box") << "Loop" << false << true;
        QTest::newRow("a radio button") << "OoR" << false << true;
        QTest::newRow("a closed list") << "ScaleComboBox1" << false << true;
        QTest::newRow("a text field") << "Tempo" << false << false;
        QTest::newRow("an open list") << "ScaleComboBox1" << true << false;
    }

    void spacePlaysAndStopsExceptInTextAndOpenLists() {
        QFETCH(QString, focus);
        QFETCH(bool, openList);
        QFETCH(bool, plays);
        ComposeWin->show();
        QApplication::setActiveWindow(ComposeWin);
        QVERIFY(QTest::qWaitForWindowActive(ComposeWin));
        QWidget* target =
            focus == ComposeWin->objectName() ? ComposeWin : ComposeWin->findChild<QWidget*>(focus);
        QVERIFY(target != nullptr);
        if (qobject_cast<QGroupBox*>(target) != nullptr) {
            target = target->findChildren<QRadioButton*>().at(1); // not the checked one
        }
        target->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), target);
        QComboBox* scale = ComposeWin->ScaleComboBox1;
        if (openList) {
            scale->showPopup();
            QTRY_VERIFY(scale->view()->isVisible());
            target = scale->view();
        }
        QSignalSpy play(ComposeWin->PlayButton, &QPushButton::clicked);
        QSignalSpy stop(ComposeWin->StopButton, &QPushButton::clicked);
        QSignalSpy pressed(ComposeWin->SaveButton2, &QPushButton::clicked);
        const bool loop = ComposeWin->Loop->isChecked();
        QRadioButton* radio = ComposeWin->OoR->findChildren<QRadioButton*>().at(1);
        const QString tempo = ComposeWin->Tempo->text();
        QTest::keyClick(target, Qt::Key_Space);
        QCOMPARE(play.count(), plays ? 1 : 0);
        // The control's own meaning of Space did not happen besides.
        QCOMPARE(pressed.count(), 0);
        QCOMPARE(ComposeWin->Loop->isChecked(), loop);
        QVERIFY(!radio->isChecked());
        QCOMPARE(scale->view()->isVisible(), openList);
        QCOMPARE(ComposeWin->Tempo->text() != tempo, focus == "Tempo");
        scale->hidePopup();
        ComposeWin->Tempo->setText(tempo);
        if (plays) {
            // While playing (Play disabled) the same key stops.
            ComposeWin->PlayButton->setEnabled(false);
            target->setFocus();
            QTest::keyClick(target, Qt::Key_Space);
            QCOMPARE(stop.count(), 1);
            ComposeWin->PlayButton->setEnabled(true);
        }
        QCOMPARE(stop.count(), plays ? 1 : 0);
    }

    void theFirstTabGoesToTheFirstField() {
        QApplication::setActiveWindow(MainForm1);
        QVERIFY(QTest::qWaitForWindowActive(MainForm1));
        if (QWidget* focus = MainForm1->focusWidget()) {
            focus->clearFocus();
        }
        QTest::keyClick(MainForm1, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), MainForm1->MouseX);
    }

    void aRightClickInTheZoomRectangleOpensThePictureMenu() {
        QWidget* rect = MainForm1->SizeableRectShape1;
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5),
                                rect->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(rect, &event);
        QTRY_VERIFY(MainForm1->PopupMenu1->isVisible());
        MainForm1->PopupMenu1->hide();
    }

    void theMenuKeysOpenThePictureMenu() {
        QApplication::setActiveWindow(MainForm1);
        QVERIFY(QTest::qWaitForWindowActive(MainForm1));
        for (const auto& [key, modifiers] :
             {std::pair{Qt::Key_Menu, Qt::NoModifier}, std::pair{Qt::Key_F10, Qt::ShiftModifier}}) {
            QTest::keyClick(MainForm1, key, modifiers);
            QTRY_VERIFY(MainForm1->PopupMenu1->isVisible());
            MainForm1->PopupMenu1->hide();
        }
    }
};

QTEST_MAIN(KeyboardTest)
#include "KeyboardTest.moc"
