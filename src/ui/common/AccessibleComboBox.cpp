#include "ui/common/AccessibleComboBox.h"

#include <QAbstractItemView>
#include <QAccessibleWidget>

namespace sorvelin {
namespace {

// Name: the widget's accessible name; value and text: the chosen item; one
// child: the item list, as Qt's own combo box publishes it, so the choices can
// be read while the list is closed. The actions open the list.
//
// The current item is given as read-only text as well as the value: the Linux
// accessibility bridge publishes no value for a text choice, and the text is
// what a screen reader reads out for a combo box.
class NamedComboBoxAccessible : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit NamedComboBoxAccessible(QWidget* widget)
        : QAccessibleWidget(widget, QAccessible::ComboBox) {}

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::TextInterface) {
            return static_cast<QAccessibleTextInterface*>(this);
        }
        return QAccessibleWidget::interface_cast(type);
    }

    QString text(QAccessible::Text t) const override {
        switch (t) {
        case QAccessible::Name:
            return Box()->accessibleName().isEmpty() ? Current() : Box()->accessibleName();
        case QAccessible::Value:
            return Current();
        default:
            return QAccessibleWidget::text(t);
        }
    }

    int childCount() const override { return Box()->view() != nullptr ? 1 : 0; }

    QAccessibleInterface* child(int index) const override {
        return index == 0 && Box()->view() != nullptr
                   ? QAccessible::queryAccessibleInterface(Box()->view())
                   : nullptr;
    }

    int indexOfChild(const QAccessibleInterface* child) const override {
        return child != nullptr && Box()->view() != nullptr && child->object() == Box()->view()
                   ? 0
                   : -1;
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

    // The current item as text that cannot be selected or edited.
    void selection(int, int* startOffset, int* endOffset) const override {
        *startOffset = *endOffset = 0;
    }
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    QString text(int startOffset, int endOffset) const override {
        return Current().mid(startOffset, endOffset - startOffset);
    }
    int characterCount() const override { return static_cast<int>(Current().size()); }
    QRect characterRect(int) const override { return {}; }
    int offsetAtPoint(const QPoint&) const override { return -1; }
    void scrollToSubstring(int, int) override {}
    QString attributes(int, int* startOffset, int* endOffset) const override {
        *startOffset = 0;
        *endOffset = characterCount();
        return {};
    }

private:
    const QComboBox* Box() const { return static_cast<const QComboBox*>(widget()); }
    QString Current() const { return Box()->currentText(); }
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
