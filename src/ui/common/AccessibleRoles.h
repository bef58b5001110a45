#pragma once
// The role a screen reader announces for our own widget classes. Qt gives
// any plain QWidget the role of a client area (published on Linux as a
// "filler"), so without this the explorer and composition windows would not
// be announced as windows, nor the pictures as images.
#include <QAccessible>

struct QMetaObject;

namespace sorvelin {

// Widgets of exactly the class `type` are published with `role`. Their popup
// menus (QMenu children) are listed among their children while open, so a
// context menu shows in the tree under the control it was opened on.
void PublishAccessibleRole(const QMetaObject& type, QAccessible::Role role);

} // namespace sorvelin
