#pragma once
// Shared pieces of the window tests: a message recorder in place of the
// modal message box, a scratch folder for main.prf, the program's windows
// started as the program starts them, and mouse helpers.
#include "app/StartUp.h"
#include "base/TextFile.h"
#include "ui/common/MessageBox.h"
#include "ui/explorer/Main.h"

#include <QAccessible>
#include <QApplication>
#include <QDir>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QTest>
#include <string>
#include <vector>

namespace sorvelin::testing {

struct Message {
    MessageKind kind;
    std::string text;
};

// Records every message instead of showing it, and every yes-or-no question
// instead of asking it (answering `answer`), for its lifetime.
class MessageRecorder {
public:
    MessageRecorder() {
        previous_ = SetMessageBoxFunction([this](MessageKind kind, const std::string& text) {
            messages.push_back({kind, text});
        });
        previousQuestion_ = SetQuestionFunction([this](const std::string& question) {
            questions.push_back(question);
            return answer;
        });
    }
    ~MessageRecorder() {
        SetMessageBoxFunction(previous_);
        SetQuestionFunction(previousQuestion_);
    }
    MessageRecorder(const MessageRecorder&) = delete;
    MessageRecorder& operator=(const MessageRecorder&) = delete;

    std::vector<Message> messages;
    std::vector<std::string> questions;
    bool answer = false;

private:
    MessageBoxFunction previous_;
    QuestionFunction previousQuestion_;
};

// The name a screen reader (and a script through AT-SPI) reads for a control.
inline QString AccessibleName(QWidget* widget) {
    QAccessibleInterface* item = QAccessible::queryAccessibleInterface(widget);
    return item != nullptr ? item->text(QAccessible::Name) : QString();
}

// The folder the picture tests write their PNG files to: the one named by
// SORVELIN_SCREENSHOT_DIR, else "screenshots" under the test's build folder.
inline QString ScreenshotFolder(const QString& buildFolder) {
    const QString folder =
        qEnvironmentVariable("SORVELIN_SCREENSHOT_DIR", buildFolder + "/screenshots");
    QDir().mkpath(folder);
    return folder;
}

// Writes a picture of the window as `name` into `folder`.
inline void SaveScreenshot(QWidget* window, const QString& folder, const QString& name) {
    const QString path = QDir(folder).filePath(name);
    QVERIFY2(window->grab().save(path), qPrintable(path));
    qInfo("wrote %s", qPrintable(path));
}

// Makes `dir` the current folder, from which the program reads its tables,
// and writes two scales there (one with a repeated note) and two rhythms.
inline void UseTwoTablesIn(const QString& dir) {
    QVERIFY(QDir::setCurrent(dir));
    WriteLinesAtomic(QDir(dir).filePath("scale.cfg").toStdString(),
                     {"scales", "\"C Major\",48,50,52,53,55,57,59,60,62,64,65,67,69,71,72",
                      "Penta,60,62,64,67,69,60"});
    WriteLinesAtomic(QDir(dir).filePath("rhythm.cfg").toStdString(),
                     {"rhythms", "\"16th note\",30", "Swing,40,20"});
}

// The four windows as the program creates them, main.prf kept in `dir`, on
// the capture output or `service`, and the explorer window shown (which loads main.prf and shows
// the first view).
inline TMainForm1* StartProgram(const QString& dir,
                                std::unique_ptr<MidiOutService> service = nullptr) {
    StartOptions options;
    if (service != nullptr) { // the output it opens first is taken as it is
        options.device.service = std::move(service);
        options.device.showModal = [](TMidiDevice&) {};
    }
    CreateWindows(std::move(options));
    MainForm1->AppDir = dir.toStdString();
    MainForm1->show();
    return MainForm1;
}

inline void StopProgram() {
    if (MainForm1 != nullptr && MainForm1->isVisible()) {
        MainForm1->close();
    }
    DestroyWindows();
}

// A mouse move without a button held (QTest only moves the cursor then).
inline void Hover(QWidget* widget, QPoint at) {
    QMouseEvent event(QEvent::MouseMove, at, widget->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                      Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

// Press, move in `steps` and release with the left button, as a drag.
inline void Drag(QWidget* widget, QPoint from, QPoint to, int steps = 1) {
    QTest::mousePress(widget, Qt::LeftButton, Qt::NoModifier, from);
    for (int i = 1; i <= steps; ++i) {
        QTest::mouseMove(widget, from + (to - from) * i / steps);
    }
    QTest::mouseRelease(widget, Qt::LeftButton, Qt::NoModifier, to);
}

} // namespace sorvelin::testing
