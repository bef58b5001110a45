#include "ui/common/Mnemonic.h"

#include <QAbstractButton>

namespace sorvelin {

void SetMnemonics(std::initializer_list<std::pair<QAbstractButton*, const char*>> marked) {
    for (const auto& [button, caption] : marked) {
        const QString text = QString::fromUtf8(caption);
        if (QString(text).remove(QLatin1Char('&')) == button->text()) {
            button->setText(text);
        }
    }
}

} // namespace sorvelin
