#include "ui/explorer/Sizeablerectshape.h"

#include "explorer/RectArithmetic.h"
#include "ui/common/AccessibleRoles.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

namespace sorvelin {
namespace {

Qt::CursorShape CursorFor(std::uint8_t mode) {
    switch (CursorForMode(mode)) {
    case RectCursor::SizeHorizontal:
        return Qt::SizeHorCursor;
    case RectCursor::SizeVertical:
        return Qt::SizeVerCursor;
    case RectCursor::SizeDiagonalFall:
        return Qt::SizeFDiagCursor;
    case RectCursor::SizeDiagonalRise:
        return Qt::SizeBDiagCursor;
    case RectCursor::Drag:
        break;
    }
    return Qt::DragMoveCursor;
}

} // namespace

TSizeableRectShape::TSizeableRectShape(QWidget* parent) : QWidget(parent) {
    PublishAccessibleRole(staticMetaObject, QAccessible::Graphic);
    setMouseTracking(true);
    setMinimumSize(ZoomRectMinSize, ZoomRectMinSize);
    setFocusPolicy(Qt::StrongFocus);
    setCursor(CursorFor(Mode_));
}

int TSizeableRectShape::PenWidth() const {
    return ZoomRectPenWidth;
}

void TSizeableRectShape::SetBandWidth(int value) {
    BandWidth = AcceptBandWidth(BandWidth, value, PenWidth());
}

void TSizeableRectShape::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        LastPoint = event->position().toPoint();
        Dragging_ = true;
    }
}

void TSizeableRectShape::mouseReleaseEvent(QMouseEvent* event) {
    // The owner sees the final bounds before the drag ends.
    emit MouseUp(event->button());
    if (Dragging_ && event->button() == Qt::LeftButton) {
        Dragging_ = false;
    }
}

void TSizeableRectShape::mouseMoveEvent(QMouseEvent* event) {
    if (Dragging_) {
        Drag(event->position().toPoint());
    } else {
        Hover(event->position().toPoint());
    }
}

void TSizeableRectShape::Hover(QPoint at) {
    Mode_ = HitMode(at.x(), at.y(), width(), height(), BandWidth);
    setCursor(CursorFor(Mode_));
}

void TSizeableRectShape::Drag(QPoint at) {
    const RectBounds bounds{x(), y(), width(), height()};
    const DragStep step = DragRect(Mode_, bounds, RectPoint{LastPoint.x(), LastPoint.y()}, at.x(),
                                   at.y(), minimumWidth(), minimumHeight());
    LastPoint = QPoint(step.LastPoint.X, step.LastPoint.Y);
    SetBoundsConstrained(step.Bounds.Left, step.Bounds.Top, step.Bounds.Width, step.Bounds.Height);
}

void TSizeableRectShape::SetBoundsConstrained(int left, int top, int width, int height) {
    setGeometry(left, top, std::max(width, minimumWidth()), std::max(height, minimumHeight()));
}

void TSizeableRectShape::keyPressEvent(QKeyEvent* event) {
    int dx = 0;
    int dy = 0;
    switch (event->key()) {
    case Qt::Key_Left:
        dx = -1;
        break;
    case Qt::Key_Right:
        dx = 1;
        break;
    case Qt::Key_Up:
        dy = -1;
        break;
    case Qt::Key_Down:
        dy = 1;
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    if (event->modifiers() & Qt::ShiftModifier) {
        SetBoundsConstrained(x(), y(), width() + dx, height() + dy);
    } else {
        SetBoundsConstrained(x() + dx, y() + dy, width(), height());
    }
    emit MouseUp(Qt::NoButton);
}

void TSizeableRectShape::paintEvent(QPaintEvent*) {
    // A white band with a dark inner line: one of the two stands out on every
    // colour of the picture.
    QPainter painter(this);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(Qt::white, PenWidth(), Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    painter.drawRect(QRectF(rect()).adjusted(1, 1, -1, -1));
    painter.setPen(QPen(Qt::black, 1));
    painter.drawRect(QRectF(rect()).adjusted(2.5, 2.5, -2.5, -2.5));
    if (hasFocus()) {
        painter.setPen(QPen(Qt::white, 1, Qt::DotLine));
        painter.drawRect(QRectF(rect()).adjusted(4.5, 4.5, -4.5, -4.5));
    }
}

} // namespace sorvelin
