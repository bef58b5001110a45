#pragma once
// A pick-only drop-down list that a screen reader announces by its own
// accessible name. Qt's own combo box interface on Linux publishes the
// current item as its name and leaves the label to relations, so a script
// looking the list up by name ("Func", "Scale", ...) would not find it.
#include <QComboBox>

namespace sorvelin {

class TNamedComboBox : public QComboBox {
    Q_OBJECT
public:
    explicit TNamedComboBox(QWidget* parent = nullptr);
};

} // namespace sorvelin
