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

} // namespace sorvelin
