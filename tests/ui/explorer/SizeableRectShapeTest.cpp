// The zoom rectangle control on its own: hit zones and cursors, drags by
// edge, corner and inside, the minimum size, the band width, the keyboard.
#include "ui/explorer/Sizeablerectshape.h"
#include "support/WindowTestSupport.h"

#include <QSignalSpy>
#include <QtTest>

using namespace sorvelin;
using namespace sorvelin::testing;

class SizeableRectShapeTest : public QObject {
    Q_OBJECT

private:
    QWidget* parent_ = nullptr;
    TSizeableRectShape* rect_ = nullptr;

private slots:
    void init() {
        parent_ = new QWidget;
        parent_->resize(240, 240);
        rect_ = new TSizeableRectShape(parent_);
        rect_->setGeometry(90, 90, 60, 60);
        parent_->show();
    }

    void cleanup() { delete parent_; }

    void hoverFindsTheZoneAndItsCursor_data() {
        QTest::addColumn<QPoint>("at");
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("cursor");
        QTest::newRow("left edge") << QPoint(7, 30) << 1 << int(Qt::SizeHorCursor);
        QTest::newRow("inside by the left") << QPoint(8, 30) << 0 << int(Qt::DragMoveCursor);
        QTest::newRow("inside by the right") << QPoint(52, 30) << 0 << int(Qt::DragMoveCursor);
        QTest::newRow("right edge") << QPoint(53, 30) << 2 << int(Qt::SizeHorCursor);
        QTest::newRow("top edge") << QPoint(30, 3) << 4 << int(Qt::SizeVerCursor);
        QTest::newRow("bottom edge") << QPoint(30, 57) << 8 << int(Qt::SizeVerCursor);
        QTest::newRow("top-left") << QPoint(3, 3) << 5 << int(Qt::SizeFDiagCursor);
        QTest::newRow("bottom-right") << QPoint(57, 57) << 10 << int(Qt::SizeFDiagCursor);
        QTest::newRow("top-right") << QPoint(57, 3) << 6 << int(Qt::SizeBDiagCursor);
        QTest::newRow("bottom-left") << QPoint(3, 57) << 9 << int(Qt::SizeBDiagCursor);
    }

    void hoverFindsTheZoneAndItsCursor() {
        QFETCH(QPoint, at);
        QFETCH(int, mode);
        QFETCH(int, cursor);
        Hover(rect_, at);
        QCOMPARE(int(rect_->Mode()), mode);
        QCOMPARE(int(rect_->cursor().shape()), cursor);
    }

    void dragsChangeTheBoundsByZone_data() {
        QTest::addColumn<QPoint>("grab");
        QTest::addColumn<QPoint>("to");
        QTest::addColumn<int>("steps");
        QTest::addColumn<QRect>("bounds");
        QTest::newRow("right edge in two moves of 5")
            << QPoint(55, 30) << QPoint(65, 30) << 2 << QRect(90, 90, 70, 60);
        QTest::newRow("left edge by 10")
            << QPoint(3, 30) << QPoint(13, 30) << 1 << QRect(100, 90, 50, 60);
        QTest::newRow("left edge past the minimum")
            << QPoint(3, 30) << QPoint(63, 30) << 1 << QRect(150, 90, 10, 60);
        QTest::newRow("bottom edge")
            << QPoint(30, 57) << QPoint(30, 47) << 1 << QRect(90, 90, 60, 50);
        QTest::newRow("bottom-right corner")
            << QPoint(57, 57) << QPoint(77, 67) << 2 << QRect(90, 90, 80, 70);
        QTest::newRow("inside moves")
            << QPoint(30, 30) << QPoint(40, 45) << 1 << QRect(100, 105, 60, 60);
    }

    void dragsChangeTheBoundsByZone() {
        QFETCH(QPoint, grab);
        QFETCH(QPoint, to);
        QFETCH(int, steps);
        QFETCH(QRect, bounds);
        Hover(rect_, grab);
        Drag(rect_, grab, to, steps);
        QCOMPARE(rect_->geometry(), bounds);
        QVERIFY(!rect_->Dragging());
    }

    void theOwnerSeesTheFinalBoundsBeforeTheDragEnds() {
        QRect seen;
        bool draggingWhenSeen = false;
        connect(rect_, &TSizeableRectShape::MouseUp, this, [&] {
            seen = rect_->geometry();
            draggingWhenSeen = rect_->Dragging();
        });
        Hover(rect_, QPoint(30, 30));
        Drag(rect_, QPoint(30, 30), QPoint(35, 30));
        QCOMPARE(seen, QRect(95, 90, 60, 60));
        QVERIFY(draggingWhenSeen);
    }

    void otherButtonsNeitherStartNorEndADrag() {
        Hover(rect_, QPoint(30, 30));
        QTest::mousePress(rect_, Qt::RightButton, Qt::NoModifier, QPoint(30, 30));
        QVERIFY(!rect_->Dragging());
        QTest::mouseRelease(rect_, Qt::RightButton, Qt::NoModifier, QPoint(30, 30));

        QTest::mousePress(rect_, Qt::LeftButton, Qt::NoModifier, QPoint(30, 30));
        QTest::mousePress(rect_, Qt::RightButton, Qt::NoModifier, QPoint(30, 30));
        QTest::mouseRelease(rect_, Qt::RightButton, Qt::NoModifier, QPoint(30, 30));
        QVERIFY(rect_->Dragging());
        QTest::mouseRelease(rect_, Qt::LeftButton, Qt::NoModifier, QPoint(30, 30));
        QVERIFY(!rect_->Dragging());
    }

    void theBandWidthStaysWithinThePenWidthAnd20_data() {
        QTest::addColumn<int>("request");
        QTest::addColumn<int>("result");
        QTest::newRow("below the pen width") << 1 << 8;
        QTest::newRow("the pen width") << 2 << 2;
        QTest::newRow("20") << 20 << 20;
        QTest::newRow("21") << 21 << 8;
    }

    void theBandWidthStaysWithinThePenWidthAnd20() {
        QFETCH(int, request);
        QFETCH(int, result);
        rect_->SetBandWidth(request);
        QCOMPARE(rect_->GetBandWidth(), result);
    }

    void arrowKeysMoveAndShiftArrowsResize() {
        QSignalSpy released(rect_, &TSizeableRectShape::MouseUp);
        rect_->setFocus();
        QTest::keyClick(rect_, Qt::Key_Right);
        QTest::keyClick(rect_, Qt::Key_Up);
        QCOMPARE(rect_->geometry(), QRect(91, 89, 60, 60));
        QTest::keyClick(rect_, Qt::Key_Right, Qt::ShiftModifier);
        QTest::keyClick(rect_, Qt::Key_Down, Qt::ShiftModifier);
        QCOMPARE(rect_->geometry(), QRect(91, 89, 61, 61));
        QCOMPARE(released.count(), 4);

        rect_->setGeometry(91, 89, 10, 10);
        QTest::keyClick(rect_, Qt::Key_Left, Qt::ShiftModifier);
        QCOMPARE(rect_->size(), QSize(10, 10));
    }
};

QTEST_MAIN(SizeableRectShapeTest)
#include "SizeableRectShapeTest.moc"
