#include "platform/WindowPlacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
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

QPoint PlaceClientOnScreens(QPoint client, QPoint frameOffset, QSize frameSize,
                            const std::vector<QRect>& screens) {
    return PlaceOnScreens(client - frameOffset, frameSize, screens) + frameOffset;
}

void MoveOntoScreen(QWidget* window, int left, int top) {
    std::vector<QRect> screens;
    for (const QScreen* screen : QGuiApplication::screens()) {
        screens.push_back(screen->availableGeometry());
    }
    const QRect frame = window->frameGeometry();
    const QPoint offset = window->geometry().topLeft() - frame.topLeft();
    const QPoint client = PlaceClientOnScreens(QPoint(left, top), offset, frame.size(), screens);
    // setGeometry places the client area whether or not the frame is known yet.
    window->setGeometry(QRect(client, window->size()));
}

QPoint SavedCorner(const QWidget* window) {
    return window->geometry().topLeft();
}

} // namespace sorvelin
