#include "platform/MessageBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QString>
#include <utility>

namespace sorvelin {
namespace {

MessageBoxFunction& Replacement() {
    static MessageBoxFunction function;
    return function;
}

QuestionFunction& QuestionReplacement() {
    static QuestionFunction function;
    return function;
}

} // namespace

void ShowMessage(const std::string& text, MessageKind kind) {
    if (Replacement()) {
        Replacement()(kind, text);
        return;
    }
    QMessageBox box(kind == MessageKind::Error ? QMessageBox::Critical : QMessageBox::NoIcon,
                    QApplication::applicationDisplayName(), QString::fromStdString(text),
                    QMessageBox::Ok, QApplication::activeWindow());
    box.exec();
}

MessageBoxFunction SetMessageBoxFunction(MessageBoxFunction replacement) {
    return std::exchange(Replacement(), std::move(replacement));
}

bool AskYesNo(const std::string& question) {
    if (QuestionReplacement()) {
        return QuestionReplacement()(question);
    }
    QMessageBox box(QMessageBox::Question, QApplication::applicationDisplayName(),
                    QString::fromStdString(question), QMessageBox::Yes | QMessageBox::No,
                    QApplication::activeWindow());
    box.setDefaultButton(QMessageBox::No);
    // Asked from inside a busy operation, the box still takes the pointer.
    QApplication::setOverrideCursor(Qt::ArrowCursor);
    const bool yes = box.exec() == QMessageBox::Yes;
    QApplication::restoreOverrideCursor();
    return yes;
}

QuestionFunction SetQuestionFunction(QuestionFunction replacement) {
    return std::exchange(QuestionReplacement(), std::move(replacement));
}

} // namespace sorvelin
