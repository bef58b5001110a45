#include "explorer/ViewHistory.h"

#include <iterator>

namespace sorvelin {

void ViewHistory::Record(const ViewStep& step) {
    if (!steps_.empty() && steps_[current_] == step) {
        return;
    }
    if (!steps_.empty()) {
        steps_.erase(steps_.begin() + static_cast<std::ptrdiff_t>(current_) + 1, steps_.end());
    }
    steps_.push_back(step);
    if (steps_.size() > MaxSteps) {
        steps_.erase(steps_.begin());
    }
    current_ = steps_.size() - 1;
}

const ViewStep& ViewHistory::Undo() {
    if (CanUndo()) {
        --current_;
    }
    return steps_[current_];
}

const ViewStep& ViewHistory::Redo() {
    if (CanRedo()) {
        ++current_;
    }
    return steps_[current_];
}

} // namespace sorvelin
