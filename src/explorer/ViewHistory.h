#pragma once
// The views the explorer has shown, for Undo and Redo (Back and Forward):
// each view change records what it changed, and stepping back or forward
// hands out a recorded view to put back. Nothing of it is saved.
#include "explorer/ExplorerFields.h"
#include "explorer/ViewState.h"

#include <cstddef>
#include <string>
#include <vector>

namespace sorvelin {

// Everything a view change (zoom, pan, reset, redraw, formula, Julia
// constant) sets: the view's field texts, the rectangle, the view and the
// engine's settings. The line, the options and "Always" are not part of it.
struct ViewStep {
    std::string MouseX;
    std::string MouseY;
    std::string RectWidth;
    std::string RectHeight;
    std::string posX;
    std::string posY;
    std::string RangeX;
    std::string RangeY;
    std::string Iteration;
    int ComboBox1Index = 0;
    RectBounds SizeableRectShape1;
    ViewState View;
    int Limit = 0;
    int Formula = 0;
    double JuliaX = 0.0;
    double JuliaY = 0.0;
    friend bool operator==(const ViewStep&, const ViewStep&) = default;
};

class ViewHistory {
public:
    // Views kept; the oldest go first.
    static constexpr std::size_t MaxSteps = 500;

    // After a view change: the steps ahead (undone ones) are dropped and the
    // view becomes the current one, unless it equals the current one.
    void Record(const ViewStep& step);
    bool CanUndo() const { return current_ > 0; }
    bool CanRedo() const { return current_ + 1 < steps_.size(); }
    // The view before (after) the current one, which becomes current; the
    // current view when there is none.
    const ViewStep& Undo();
    const ViewStep& Redo();
    std::size_t Size() const { return steps_.size(); }

private:
    std::vector<ViewStep> steps_;
    std::size_t current_ = 0;
};

} // namespace sorvelin
