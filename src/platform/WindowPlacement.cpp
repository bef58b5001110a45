#include "platform/WindowPlacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <limits>

namespace sorvelin {
namespace {

// Squared distance from a point to a rectangle (0 inside it).
long long DistanceSq(QPoint p, const QRect& r) {
    const long long dx =
        p.x() < r.left() ? r.left() - p.x() : (p.x() > r.right() ? p.x() - r.right() : 0);
    const long long dy =
        p.y() < r.top() ? r.top() - p.y() : (p.y() > r.bottom() ? p.y() - r.bottom() : 0);
    return dx * dx + dy * dy;
}

int Clamp(int value, int low, int high) {
    return std::max(low, std::min(value, high));
}

// Set once a window stands where it should stay: its saved place, or beside
// the windows shown with it.
const char* const PlacedProperty = "sorvelinPlaced";

enum class Side { Right, Below, Left, Above };

// The top-left corner of a frame of `size` that touches `other` on `side`,
// aligned with its top or left edge.
QPoint Beside(Side side, const QRect& other, QSize size) {
    switch (side) {
    case Side::Right:
        return {other.right() + 1, other.top()};
    case Side::Below:
        return {other.left(), other.bottom() + 1};
    case Side::Left:
        return {other.left() - size.width(), other.top()};
    case Side::Above:
        break;
    }
    return {other.left(), other.top() - size.height()};
}

bool CoversAny(const QRect& frame, const std::vector<QRect>& shown) {
    return std::any_of(shown.begin(), shown.end(),
                       [&](const QRect& other) { return other.intersects(frame); });
}

} // namespace

QPoint PlaceOnScreens(QPoint wanted, QSize size, const std::vector<QRect>& screens) {
    if (screens.empty()) {
        return wanted;
    }
    const QRect frame(wanted, size);
    for (const QRect& screen : screens) {
        if (screen.contains(frame)) {
            return wanted;
        }
    }
    // Partly visible windows are pulled fully onto the screen that shows most
    // of them; windows that show nowhere go to the screen nearest their centre.
    const QRect* best = nullptr;
    long long bestArea = 0;
    for (const QRect& screen : screens) {
        const QRect common = screen.intersected(frame);
        const long long area = common.isEmpty() ? 0 : 1LL * common.width() * common.height();
        if (area > bestArea) {
            bestArea = area;
            best = &screen;
        }
    }
    if (best == nullptr) {
        long long nearest = std::numeric_limits<long long>::max();
        for (const QRect& screen : screens) {
            const long long d = DistanceSq(frame.center(), screen);
            if (d < nearest) {
                nearest = d;
                best = &screen;
            }
        }
    }
    const int x =
        Clamp(wanted.x(), best->left(), std::max(best->left(), best->right() + 1 - size.width()));
    const int y =
        Clamp(wanted.y(), best->top(), std::max(best->top(), best->bottom() + 1 - size.height()));
    return {x, y};
}

void MoveOntoScreen(QWidget* window, int left, int top, bool saved) {
    std::vector<QRect> screens;
    for (const QScreen* screen : QGuiApplication::screens()) {
        screens.push_back(screen->availableGeometry());
    }
    window->move(PlaceOnScreens(QPoint(left, top), window->frameGeometry().size(), screens));
    if (saved) {
        window->setProperty(PlacedProperty, true);
    }
}

QPoint PlaceBeside(QPoint wanted, QSize size, const std::vector<QRect>& shown,
                   const QRect& screen) {
    const auto fits = [&](QPoint at) {
        const QRect frame(at, size);
        return screen.contains(frame) && !CoversAny(frame, shown);
    };
    if (fits(wanted)) {
        return wanted;
    }
    for (const Side side : {Side::Right, Side::Below, Side::Left, Side::Above}) {
        for (const QRect& other : shown) {
            const QPoint at = Beside(side, other, size);
            if (fits(at)) {
                return at;
            }
        }
    }
    return PlaceOnScreens(wanted, size, {screen});
}

void PlaceBesideShown(QWidget* window) {
    if (window->property(PlacedProperty).toBool()) {
        return;
    }
    // Top-level windows in the order they were first shown.
    std::vector<QRect> shown;
    QMargins margins;
    const QScreen* screen = nullptr;
    for (const QWindow* other : QGuiApplication::topLevelWindows()) {
        if (other == window->windowHandle() || !other->isVisible() || other->type() == Qt::Popup ||
            other->type() == Qt::ToolTip) {
            continue;
        }
        if (screen == nullptr) {
            screen = other->screen();
            // Our own frame is not known before it is first mapped; the
            // window system draws the same one around each of our windows.
            margins = other->frameMargins();
        }
        shown.push_back(other->frameGeometry());
    }
    if (screen == nullptr) {
        return;
    }
    const QSize size = window->size().grownBy(margins);
    window->move(
        PlaceBeside(window->frameGeometry().topLeft(), size, shown, screen->availableGeometry()));
    window->setProperty(PlacedProperty, true);
}

} // namespace sorvelin
