#include "ui/common/MessageBox.h"

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
    ShowMessageWithDetails(text, {}, kind);
}

void ShowMessageWithDetails(const std::string& text, const std::string& details, MessageKind kind) {
    if (Replacement()) {
        Replacement()(kind, text);
        return;
    }
    QMessageBox box(kind == MessageKind::Error ? QMessageBox::Critical : QMessageBox::NoIcon,
                    QApplication::applicationDisplayName(), QString::fromStdString(text),
                    QMessageBox::Ok, QApplication::activeWindow());
    if (!details.empty()) {
        box.setDetailedText(QString::fromStdString(details));
    }
    box.exec();
}

MessageBoxFunction SetMessageBoxFunction(MessageBoxFunction replacement) {
    return std::exchange(Replacement(), std::move(replacement));
}

namespace {

// A modal question whose safe answer is the default.
bool Ask(const std::string& question, QMessageBox::StandardButton go,
         QMessageBox::StandardButton safe) {
    if (QuestionReplacement()) {
        return QuestionReplacement()(question);
    }
    QMessageBox box(QMessageBox::Question, QApplication::applicationDisplayName(),
                    QString::fromStdString(question), go | safe, QApplication::activeWindow());
    box.setDefaultButton(safe);
    box.setEscapeButton(safe);
    // Asked from inside a busy operation, the box still takes the pointer.
    QApplication::setOverrideCursor(Qt::ArrowCursor);
    const bool yes = box.exec() == go;
    QApplication::restoreOverrideCursor();
    return yes;
}

} // namespace

bool AskYesNo(const std::string& question) {
    return Ask(question, QMessageBox::Yes, QMessageBox::No);
}

bool AskSaveOrCancel(const std::string& question) {
    return Ask(question, QMessageBox::Save, QMessageBox::Cancel);
}

QuestionFunction SetQuestionFunction(QuestionFunction replacement) {
    return std::exchange(QuestionReplacement(), std::move(replacement));
}

} // namespace sorvelin
