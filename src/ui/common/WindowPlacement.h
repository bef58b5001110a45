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

// The client corner at which a window whose client corner was saved at
// `client` comes back, kept on `screens` by the rule above; `frameOffset` is
// the client's offset inside its frame (0 while the window manager has not
// framed it yet). Saved and restored as the same thing, a window comes back
// exactly where it was instead of creeping by its title bar at every start.
QPoint PlaceClientOnScreens(QPoint client, QPoint frameOffset, QSize frameSize,
                            const std::vector<QRect>& screens);

// Puts `window`'s client area at (left, top) with the rule above, using the
// available geometry of the screens the application knows. A `saved` place
// (one read from a settings file) is where PlaceBesideShown leaves the window
// from now on.
void MoveOntoScreen(QWidget* window, int left, int top, bool saved = true);
// The corner MoveOntoScreen takes: the client area's, not the frame's.
QPoint SavedCorner(const QWidget* window);

// Where a window whose frame of `size` was wanted at `wanted` goes so that it
// covers none of the `shown` frames: `wanted` itself when it covers none and
// lies on `screen`; otherwise the place on `screen` nearest to it that covers
// none and touches one of them or the screen's edge; `wanted` kept on
// `screen` when the screen has no room left.
QPoint PlaceBeside(QPoint wanted, QSize size, const std::vector<QRect>& shown, const QRect& screen);

// Called as `window` is shown: unless it has a saved place, or was already
// placed beside others, moves it beside the application's other visible
// windows, on the screen of the first of them shown. Without it a window's
// first place is the window system's or its designed one, which may lie over
// the explorer window or over another companion's buttons.
void PlaceBesideShown(QWidget* window);

} // namespace sorvelin
