#pragma once
// The three kinds of picture control of the explorer window: the fractal
// picture, the transparent overlay on which the composition line is drawn,
// and the Julia marker that is dragged onto the overlay.
#include <QImage>
#include <QLine>
#include <QWidget>

class QMimeData;

namespace sorvelin {

// Shows one image scaled to the control's size.
class TPicture : public QWidget {
    Q_OBJECT
public:
    explicit TPicture(QWidget* parent = nullptr);
    void SetImage(const QImage& image);
    const QImage& Image() const { return image_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage image_;
};

// Transparent layer over the picture: carries the composition line, passes
// its mouse events to the window, and accepts drops of the Julia marker.
class TOverlay : public QWidget {
    Q_OBJECT
public:
    explicit TOverlay(QWidget* parent = nullptr);

    // The line shown until it is cleared; a line of zero length is a dot.
    void ShowLine(QLine line);
    void ClearLine();
    bool HasLine() const { return hasLine_; }
    QLine Line() const { return line_; }

signals:
    void MouseDown(Qt::MouseButton button, Qt::MouseButtons buttons, QPoint at);
    void MouseMove(QPoint at);
    void MouseUp(Qt::MouseButton button, QPoint at);
    void MarkerDropped(QPoint at);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    QLine line_;
    bool hasLine_ = false;
};

// The Julia marker: a small circle that starts a drag as soon as it is pressed.
class TJuliaMarker : public QWidget {
    Q_OBJECT
public:
    explicit TJuliaMarker(QWidget* parent = nullptr);
    // The drag payload the overlay accepts.
    static QMimeData* NewMimeData();
    static bool IsMarker(const QMimeData* data);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

signals:
    // Space or Return on the focused marker: drop it on the picture's centre.
    void KeyboardDrop();
};

} // namespace sorvelin
