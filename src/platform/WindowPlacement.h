#pragma once
// Window positions come back from settings files written on another desktop;
// a position that lies off every screen would leave the window unreachable.
#include <QPoint>
#include <QRect>
#include <QSize>
#include <vector>

class QWidget;

namespace sorvelin {

// The top-left corner at which a window of `size` whose frame was wanted at
// `wanted` is fully visible: unchanged when it already lies on one of
// `screens`, otherwise moved onto the nearest one (kept inside it as far as
// its size allows).
QPoint PlaceOnScreens(QPoint wanted, QSize size, const std::vector<QRect>& screens);

// Moves `window` (frame position, top and left) with the rule above, using
// the available geometry of the screens the application knows.
void MoveOntoScreen(QWidget* window, int left, int top);

} // namespace sorvelin
