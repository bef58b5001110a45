#pragma once
// A rectangle outline that the user moves by dragging its inside and resizes
// by dragging its edges or corners; the cursor shows what a drag would do.
// With the keyboard, the arrow keys move it and Shift + arrows resize it.
#include <QPoint>
#include <QWidget>
#include <cstdint>

namespace sorvelin {

class TSizeableRectShape : public QWidget {
    Q_OBJECT
public:
    explicit TSizeableRectShape(QWidget* parent = nullptr);

    int GetBandWidth() const { return BandWidth; }
    // Accepted only from the pen width up to 20; anything else is ignored.
    void SetBandWidth(int value);
    int PenWidth() const;

    // Hit zone of the last hover (RectHitBits): the kind of the next drag.
    std::uint8_t Mode() const { return Mode_; }
    bool Dragging() const { return Dragging_; }

signals:
    // Any button released over the control, or a keyboard move or resize;
    // emitted before the drag ends, with the final bounds in place.
    void MouseUp(Qt::MouseButton button);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void Hover(QPoint at);
    void Drag(QPoint at);
    void SetBoundsConstrained(int left, int top, int width, int height);

    std::uint8_t Mode_ = 0;
    int BandWidth = 8;
    QPoint LastPoint;
    bool Dragging_ = false;
};

} // namespace sorvelin
