#include "platform/AccessibleComboBox.h"

#include <QAccessibleWidget>

namespace sorvelin {
namespace {

// Name: the widget's accessible name; value: the chosen item; the actions
// open the list (whose items Qt publishes as a list of its own).
class NamedComboBoxAccessible : public QAccessibleWidget {
public:
    explicit NamedComboBoxAccessible(QWidget* widget)
        : QAccessibleWidget(widget, QAccessible::ComboBox) {}

    QString text(QAccessible::Text t) const override {
        const auto* box = static_cast<const QComboBox*>(widget());
        switch (t) {
        case QAccessible::Name:
            return box->accessibleName().isEmpty() ? box->currentText() : box->accessibleName();
        case QAccessible::Value:
            return box->currentText();
        default:
            return QAccessibleWidget::text(t);
        }
    }

    QStringList actionNames() const override {
        return QStringList{showMenuAction(), pressAction()} + QAccessibleWidget::actionNames();
    }

    void doAction(const QString& action) override {
        if (action == showMenuAction() || action == pressAction()) {
            static_cast<QComboBox*>(widget())->showPopup();
            return;
        }
        QAccessibleWidget::doAction(action);
    }
};

QAccessibleInterface* NamedComboBoxFactory(const QString& className, QObject* object) {
    if (className == QLatin1String(TNamedComboBox::staticMetaObject.className()) &&
        object->isWidgetType()) {
        return new NamedComboBoxAccessible(static_cast<QWidget*>(object));
    }
    return nullptr;
}

} // namespace

TNamedComboBox::TNamedComboBox(QWidget* parent) : QComboBox(parent) {
    static const bool installed = [] {
        QAccessible::installFactory(NamedComboBoxFactory);
        return true;
    }();
    (void)installed;
}

} // namespace sorvelin
