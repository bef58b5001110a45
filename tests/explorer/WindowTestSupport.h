#pragma once
// Shared pieces of the window tests: a message recorder in place of the
// modal message box, a scratch folder for main.prf, the program's windows
// started as the program starts them, and mouse helpers.
#include "app/StartUp.h"
#include "explorer/Main.h"
#include "platform/MessageBox.h"

#include <QApplication>
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

// Records every message instead of showing it, for its lifetime.
class MessageRecorder {
public:
    MessageRecorder() {
        previous_ = SetMessageBoxFunction([this](MessageKind kind, const std::string& text) {
            messages.push_back({kind, text});
        });
    }
    ~MessageRecorder() { SetMessageBoxFunction(previous_); }
    MessageRecorder(const MessageRecorder&) = delete;
    MessageRecorder& operator=(const MessageRecorder&) = delete;

    std::vector<Message> messages;

private:
    MessageBoxFunction previous_;
};

// The four windows as the program creates them, main.prf kept in `dir`, and
// the explorer window shown (which loads main.prf and shows the first view).
inline TMainForm1* StartProgram(const QString& dir) {
    CreateWindows();
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
