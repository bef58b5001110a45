#pragma once
// An up-down spinner of its own: two arrow buttons that step an integer
// between its bounds without wrapping, bound to a read-only edit that shows
// the value. Only a user's step reports a change; setting the position from
// the program does not.
#include <QAbstractSpinBox>

class QLineEdit;

namespace sorvelin {

class TUpDown : public QAbstractSpinBox {
    Q_OBJECT
public:
    TUpDown(int minimum, int maximum, QLineEdit* buddy, QWidget* parent = nullptr);

    int Position() const { return position_; }
    // Sets the position (kept within the bounds) and the buddy's text,
    // without reporting a change.
    void SetPosition(int position);

    void stepBy(int steps) override;

signals:
    // The user stepped the position.
    void Clicked(int position);

protected:
    StepEnabled stepEnabled() const override;

private:
    int minimum_;
    int maximum_;
    int position_;
    QLineEdit* buddy_;
};

} // namespace sorvelin
