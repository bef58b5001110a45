#include "ui/common/WindowPlacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <limits>
#include <optional>

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

QPoint PlaceClientOnScreens(QPoint client, QPoint frameOffset, QSize frameSize,
                            const std::vector<QRect>& screens) {
    return PlaceOnScreens(client - frameOffset, frameSize, screens) + frameOffset;
}

void MoveOntoScreen(QWidget* window, int left, int top, bool saved) {
    std::vector<QRect> screens;
    for (const QScreen* screen : QGuiApplication::screens()) {
        screens.push_back(screen->availableGeometry());
    }
    const QRect frame = window->frameGeometry();
    const QPoint offset = window->geometry().topLeft() - frame.topLeft();
    const QPoint client = PlaceClientOnScreens(QPoint(left, top), offset, frame.size(), screens);
    // setGeometry places the client area whether or not the frame is known yet.
    window->setGeometry(QRect(client, window->size()));
    if (saved) {
        window->setProperty(PlacedProperty, true);
    }
}

QPoint SavedCorner(const QWidget* window) {
    return window->geometry().topLeft();
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
    // A free place can slide left and up until it meets the screen's edge or
    // another frame, so these edges give one whenever there is any; the
    // nearest to the wanted place is taken.
    std::vector<int> xs{screen.left(), screen.right() + 1 - size.width()};
    std::vector<int> ys{screen.top(), screen.bottom() + 1 - size.height()};
    for (const QRect& other : shown) {
        xs.insert(xs.end(), {other.right() + 1, other.left() - size.width()});
        ys.insert(ys.end(), {other.bottom() + 1, other.top() - size.height()});
    }
    std::optional<QPoint> best;
    long long nearest = std::numeric_limits<long long>::max();
    for (const int x : xs) {
        for (const int y : ys) {
            const long long d = DistanceSq(QPoint(x, y), QRect(wanted, QSize(1, 1)));
            if (d < nearest && fits(QPoint(x, y))) {
                nearest = d;
                best = QPoint(x, y);
            }
        }
    }
    if (best) {
        return *best;
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
    const QRect area = screen->availableGeometry();
    // A place of the program's own choosing is kept if it covers nothing; a
    // window the program never placed goes to the free place nearest the
    // screen's top left, as the windows are laid out when none is saved.
    const QPoint wanted =
        window->testAttribute(Qt::WA_Moved) ? window->frameGeometry().topLeft() : area.topLeft();
    window->move(PlaceBeside(wanted, size, shown, area));
    window->setProperty(PlacedProperty, true);
}

} // namespace sorvelin
