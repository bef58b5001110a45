#include "ui/tracks/UpDown.h"

#include <QLineEdit>
#include <algorithm>

namespace sorvelin {

TUpDown::TUpDown(int minimum, int maximum, QLineEdit* buddy, QWidget* parent)
    : QAbstractSpinBox(parent), minimum_(minimum), maximum_(maximum), position_(minimum),
      buddy_(buddy) {
    setWrapping(false);
    setButtonSymbols(QAbstractSpinBox::UpDownArrows);
    // Only the arrows: the value is shown by the buddy edit.
    lineEdit()->setReadOnly(true);
    lineEdit()->setVisible(false);
    lineEdit()->setFocusPolicy(Qt::NoFocus);
    SetPosition(minimum);
}

void TUpDown::SetPosition(int position) {
    position_ = std::clamp(position, minimum_, maximum_);
    if (buddy_ != nullptr) {
        buddy_->setText(QString::number(position_));
    }
    update();
}

void TUpDown::stepBy(int steps) {
    const int next = std::clamp(position_ + steps, minimum_, maximum_);
    if (next == position_) {
        return;
    }
    SetPosition(next);
    emit Clicked(position_);
}

QAbstractSpinBox::StepEnabled TUpDown::stepEnabled() const {
    StepEnabled enabled = StepNone;
    if (position_ < maximum_) {
        enabled |= StepUpEnabled;
    }
    if (position_ > minimum_) {
        enabled |= StepDownEnabled;
    }
    return enabled;
}

} // namespace sorvelin
