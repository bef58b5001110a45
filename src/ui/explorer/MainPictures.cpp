#include "ui/explorer/MainPictures.h"
#include "ui/common/AccessibleRoles.h"

#include <QDrag>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>

namespace sorvelin {
namespace {

const char* const MarkerMimeType = "application/x-sorvelin-julia-marker";
constexpr int LineWidth = 2;

} // namespace

TPicture::TPicture(QWidget* parent) : QWidget(parent) {
    PublishAccessibleRole(staticMetaObject, QAccessible::Graphic);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TPicture::SetImage(const QImage& image) {
    image_ = image;
    update();
}

void TPicture::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (image_.isNull()) {
        painter.fillRect(rect(), Qt::black);
        return;
    }
    // An imported picture of any size fills the control; the fractal is drawn 1:1.
    painter.drawImage(rect(), image_);
}

TOverlay::TOverlay(QWidget* parent) : QWidget(parent) {
    // The composition line is drawn on it; its context menu is listed under it.
    PublishAccessibleRole(staticMetaObject, QAccessible::Graphic);
    setMouseTracking(true);
    setAcceptDrops(true);
    setContextMenuPolicy(Qt::CustomContextMenu);
}

void TOverlay::ShowLine(QLine line) {
    line_ = line;
    hasLine_ = true;
    update();
}

void TOverlay::ClearLine() {
    hasLine_ = false;
    update();
}

void TOverlay::paintEvent(QPaintEvent*) {
    if (!hasLine_) {
        return;
    }
    // A dark rim keeps the red line visible where the picture itself is red.
    QPainter painter(this);
    painter.setPen(QPen(QColor(0, 0, 0, 150), LineWidth + 2, Qt::SolidLine, Qt::SquareCap));
    painter.drawLine(line_);
    painter.setPen(QPen(Qt::red, LineWidth, Qt::SolidLine, Qt::SquareCap));
    painter.drawLine(line_);
}

void TOverlay::mousePressEvent(QMouseEvent* event) {
    emit MouseDown(event->button(), event->buttons(), event->position().toPoint());
}

void TOverlay::mouseMoveEvent(QMouseEvent* event) {
    emit MouseMove(event->position().toPoint());
}

void TOverlay::mouseReleaseEvent(QMouseEvent* event) {
    emit MouseUp(event->button(), event->position().toPoint());
}

void TOverlay::dragEnterEvent(QDragEnterEvent* event) {
    if (TJuliaMarker::IsMarker(event->mimeData())) {
        event->acceptProposedAction();
    }
}

void TOverlay::dragMoveEvent(QDragMoveEvent* event) {
    if (TJuliaMarker::IsMarker(event->mimeData())) {
        event->acceptProposedAction();
    }
}

void TOverlay::dropEvent(QDropEvent* event) {
    if (TJuliaMarker::IsMarker(event->mimeData())) {
        event->acceptProposedAction();
        emit MarkerDropped(event->position().toPoint());
    }
}

TJuliaMarker::TJuliaMarker(QWidget* parent) : QWidget(parent) {
    setCursor(Qt::OpenHandCursor);
    setFocusPolicy(Qt::StrongFocus);
}

QMimeData* TJuliaMarker::NewMimeData() {
    auto* data = new QMimeData;
    data->setData(MarkerMimeType, QByteArray("Shape1"));
    return data;
}

bool TJuliaMarker::IsMarker(const QMimeData* data) {
    return data != nullptr && data->hasFormat(MarkerMimeType);
}

void TJuliaMarker::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(hasFocus() ? palette().highlight().color() : Qt::black, 1));
    painter.setBrush(Qt::white);
    painter.drawEllipse(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
}

void TJuliaMarker::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        return;
    }
    // The marker itself stays where it is; only its drag travels.
    auto* drag = new QDrag(this);
    drag->setMimeData(NewMimeData());
    drag->setPixmap(grab());
    drag->setHotSpot(rect().center());
    drag->exec(Qt::CopyAction);
}

void TJuliaMarker::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Space || event->key() == Qt::Key_Return ||
        event->key() == Qt::Key_Enter) {
        emit KeyboardDrop();
        return;
    }
    QWidget::keyPressEvent(event);
}

} // namespace sorvelin
