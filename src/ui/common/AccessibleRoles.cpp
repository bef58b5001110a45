#include "ui/common/AccessibleRoles.h"

#include <QAccessibleWidget>
#include <QMenu>
#include <QMetaObject>
#include <map>

namespace sorvelin {
namespace {

std::map<QString, QAccessible::Role>& Roles() {
    static std::map<QString, QAccessible::Role> roles;
    return roles;
}

class RoleAccessible : public QAccessibleWidget {
public:
    RoleAccessible(QWidget* widget, QAccessible::Role role) : QAccessibleWidget(widget, role) {}

    int childCount() const override {
        return QAccessibleWidget::childCount() + static_cast<int>(OpenMenus().size());
    }

    QAccessibleInterface* child(int index) const override {
        const int own = QAccessibleWidget::childCount();
        if (index < own) {
            return QAccessibleWidget::child(index);
        }
        const QList<QMenu*> menus = OpenMenus();
        return index - own < menus.size()
                   ? QAccessible::queryAccessibleInterface(menus[index - own])
                   : nullptr;
    }

    int indexOfChild(const QAccessibleInterface* child) const override {
        if (child == nullptr) {
            return -1;
        }
        const int menu = static_cast<int>(OpenMenus().indexOf(child->object()));
        return menu >= 0 ? QAccessibleWidget::childCount() + menu
                         : QAccessibleWidget::indexOfChild(child);
    }

private:
    // Qt leaves popup menus out of every widget's children (they are windows
    // of their own) and out of the application's windows too.
    QList<QMenu*> OpenMenus() const {
        QList<QMenu*> menus;
        for (QMenu* menu : widget()->findChildren<QMenu*>(Qt::FindDirectChildrenOnly)) {
            if (menu->isVisible()) {
                menus.push_back(menu);
            }
        }
        return menus;
    }
};

QAccessibleInterface* RoleFactory(const QString& className, QObject* object) {
    const auto found = Roles().find(className);
    if (found == Roles().end() || !object->isWidgetType()) {
        return nullptr;
    }
    return new RoleAccessible(static_cast<QWidget*>(object), found->second);
}

} // namespace

void PublishAccessibleRole(const QMetaObject& type, QAccessible::Role role) {
    static const bool installed = [] {
        QAccessible::installFactory(RoleFactory);
        return true;
    }();
    (void)installed;
    Roles()[QLatin1String(type.className())] = role;
}

} // namespace sorvelin
