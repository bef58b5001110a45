// The explorer window driven as a user drives it: clicks, drags and keys on
// the named controls, with main.prf in a scratch folder and every message
// box recorded instead of shown.
#include "base/Convert.h"
#include "base/TextFile.h"
#include "explorer/Palette.h"
#include "support/WindowTestSupport.h"
#include "ui/common/ProgressDialog.h"
#include "ui/compose/Cmpwin.h"
#include "ui/explorer/MainPictures.h"
#include "ui/explorer/Sizeablerectshape.h"
#include "ui/output/Mididevicewin.h"
#include "ui/tracks/Trkwin.h"

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QProgressDialog>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QTimer>
#include <QToolButton>
#include <QtTest>
#include <algorithm>
#include <string>
#include <vector>

using namespace sorvelin;
using namespace sorvelin::testing;

namespace {

QStringList Texts(std::initializer_list<const QLineEdit*> edits) {
    QStringList texts;
    for (const QLineEdit* edit : edits) {
        texts << edit->text();
    }
    return texts;
}

QStringList DispRange(const TMainForm1* w) {
    return Texts({w->posX, w->posY, w->RangeX, w->RangeY});
}
QStringList ZoomRange(const TMainForm1* w) {
    return Texts({w->MouseX, w->MouseY, w->RectWidth, w->RectHeight});
}
QStringList CalcRange(const TMainForm1* w) {
    return Texts({w->StartX, w->StartY, w->EndX, w->EndY});
}

void Click(TMainForm1* w, const char* name) {
    auto* button = w->findChild<QAbstractButton*>(name);
    QVERIFY2(button != nullptr, name);
    QTest::mouseClick(button, Qt::LeftButton);
}

QList<QWidget*> FractalControls(TMainForm1* w) {
    return QList<QWidget*>{
        w->Turbo,           w->Always,           w->ZoomIn,          w->ZoomOut, w->UpSpeedButton,
        w->LeftSpeedButton, w->RightSpeedButton, w->DownSpeedButton, w->Redraw,  w->Reset};
}

std::vector<std::string> SettingsLines(const QString& dir) {
    return ReadLines((dir + "/main.prf").toStdString());
}

void WriteSettings(const QString& dir, const std::vector<std::string>& lines) {
    WriteLinesAtomic((dir + "/main.prf").toStdString(), lines);
}

// A complete main.prf of the given version whose view differs from the design view.
std::vector<std::string> SampleSettings(const std::string& version) {
    return {version, "50",  "60", "361", "570", "-1.5", "0.5", "0.3", "0.3", "-1.5", "0.5",
            "0.3",   "0.3", "1",  "2",   "3",   "4",    "500", "3",   "2",   "50",   "0",
            "1",     "30",  "40", "425", "330", "70",   "80",  "370", "362"};
}

QStringList ViewTexts(const TMainForm1* w) {
    QStringList texts;
    for (const QLineEdit* edit : {w->MouseX, w->MouseY, w->RectWidth, w->RectHeight, w->posX,
                                  w->posY, w->RangeX, w->RangeY, w->Iteration}) {
        texts << edit->text();
    }
    return texts << QString::number(w->ComboBox1->currentIndex());
}

// "Draw Now!", and the wait for the picture's threads to finish it.
void DrawNow(TMainForm1* w) {
    QTest::mouseClick(w->Turbo, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!w->IdleRendering(), 20000);
}

QImage FinishedPicture(TMainForm1* w) {
    [&] { QTRY_VERIFY_WITH_TIMEOUT(!w->IdleRendering(), 30000); }();
    return w->Image1->Image().copy();
}

// The gaps between the ticks of a 5 ms timer on the window's thread.
class TickGaps {
public:
    TickGaps() {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            const qint64 now = clock_.nsecsElapsed();
            gaps_.push_back(static_cast<double>(now - last_) / 1e6);
            last_ = now;
        });
        clock_.start();
        timer_.start();
    }
    qint64 ElapsedMs() const { return clock_.elapsed(); }
    double Median() {
        std::sort(gaps_.begin(), gaps_.end());
        return gaps_.empty() ? 1e9 : gaps_[gaps_.size() / 2];
    }
    double Longest() const {
        return gaps_.empty() ? 1e9 : *std::max_element(gaps_.begin(), gaps_.end());
    }
    std::size_t Count() const { return gaps_.size(); }

private:
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 last_ = 0;
    std::vector<double> gaps_;
};

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    MessageRecorder* recorder_ = nullptr;
    TMainForm1* w = nullptr;

    void DrawLine(QPoint from, QPoint to) { Drag(w->Image2, from, to); }

    // Starts again from a sample main.prf with one line spoiled.
    void RestartWithBadLine(int badLine, const QString& badText) {
        StopProgram();
        std::vector<std::string> lines = SampleSettings("0000");
        lines[static_cast<std::size_t>(badLine)] = badText.toStdString();
        WriteSettings(dir_.path(), lines);
        recorder_->messages.clear();
        w = StartProgram(dir_.path());
    }

    static QWidget* FindTopLevel(const char* name) {
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (window->objectName() == name) {
                return window;
            }
        }
        return nullptr;
    }

private slots:
    void init() {
        QVERIFY(dir_.isValid());
        QFile::remove(dir_.filePath("main.prf"));
        recorder_ = new MessageRecorder;
        w = StartProgram(dir_.path());
    }

    void cleanup() {
        StopProgram();
        delete recorder_;
        recorder_ = nullptr;
    }

    void startUpShowsTheDesignViewAndADisabledCompose() {
        QCOMPARE(w->windowTitle(), QString("Sorvelin (Ver 1.10 )"));
        QCOMPARE(w->size(), QSize(353, 542));
        QCOMPARE(w->minimumSize(), w->maximumSize());
        QCOMPARE(DispRange(w), QStringList({"-0.6", "0.0", "2.4", "2.4"}));
        QCOMPARE(ZoomRange(w), QStringList({"-0.6", "0", "0.6", "0.6"}));
        QCOMPARE(CalcRange(w), QStringList({"0.0", "0.0", "0.0", "0.0"}));
        QCOMPARE(w->Iteration->text(), QString("200"));
        QCOMPARE(w->XShiftEdit1->text(), QString("0.01%"));
        QCOMPARE(w->ComboBox1->count(), 7);
        QCOMPARE(w->ComboBox1->itemText(3), QString("z1=z0^2+c;invert Real<->Imag"));
        QCOMPARE(w->ComboBox1->currentIndex(), 0);
        QVERIFY(!w->Compose->isEnabled());
        QVERIFY(!w->Shape1->isVisible());
        QVERIFY(w->IdleRendering());
        QVERIFY(w->isVisible());
        QVERIFY(!MidiDevice->isVisible() && !ComposeWin->isVisible() &&
                !TrackSettingWin->isVisible());
        QVERIFY(recorder_->messages.empty());
    }

    void navigationSetsTheViewFields_data() {
        QTest::addColumn<QStringList>("buttons");
        QTest::addColumn<QStringList>("disp");
        QTest::addColumn<QStringList>("zoom");
        QTest::newRow("zoom in") << QStringList{"ZoomIn"} << QStringList{"-0.6", "0", "0.6", "0.6"}
                                 << QStringList{"-0.6", "0", "0.15", "0.15"};
        QTest::newRow("zoom out") << QStringList{"ZoomOut"}
                                  << QStringList{"-0.6", "0", "4.8", "4.8"}
                                  << QStringList{"-0.6", "0", "1.2", "1.2"};
        QTest::newRow("up") << QStringList{"UpSpeedButton"}
                            << QStringList{"-0.6", "1.2", "2.4", "2.4"}
                            << QStringList{"-0.6", "1.2", "0.6", "0.6"};
        QTest::newRow("left") << QStringList{"LeftSpeedButton"}
                              << QStringList{"-1.8", "0.0", "2.4", "2.4"}
                              << QStringList{"-1.8", "0", "0.6", "0.6"};
        QTest::newRow("down then right")
            << QStringList{"DownSpeedButton", "RightSpeedButton"}
            << QStringList{"0.6", "-1.2", "2.4", "2.4"} << QStringList{"0.6", "-1.2", "0.6", "0.6"};
        QTest::newRow("reset after navigation")
            << QStringList{"ZoomIn", "LeftSpeedButton", "UpSpeedButton", "Reset"}
            << QStringList{"-0.6", "0.0", "2.4", "2.4"} << QStringList{"-0.6", "0", "0.6", "0.6"};
    }

    void navigationSetsTheViewFields() {
        QFETCH(QStringList, buttons);
        QFETCH(QStringList, disp);
        QFETCH(QStringList, zoom);
        for (const QString& name : buttons) {
            Click(w, name.toUtf8().constData());
        }
        QCOMPARE(DispRange(w), disp);
        QCOMPARE(ZoomRange(w), zoom);
        QVERIFY(w->IdleRendering());
        QVERIFY(recorder_->messages.empty());
    }

    void aWideRectangleGivesAWideViewAndItsHeightFollowsTheWidth() {
        TSizeableRectShape* rect = w->SizeableRectShape1;
        QCOMPARE(rect->geometry(), QRect(90, 90, 60, 60));
        Hover(rect, QPoint(55, 30)); // the right edge band
        Drag(rect, QPoint(55, 30), QPoint(115, 30), 2);
        QCOMPARE(rect->geometry(), QRect(90, 90, 120, 60));
        QCOMPARE(ZoomRange(w), QStringList({"-0.3", "0", "1.2", "0.6"}));

        Click(w, "ZoomIn");
        QCOMPARE(DispRange(w), QStringList({"-0.3", "0", "1.2", "0.6"}));
        QCOMPARE(rect->geometry(), QRect(60, 90, 120, 60)); // centred, size kept

        // An Up in the 1.2 x 0.6 view moves by half the width: a full view height.
        Click(w, "UpSpeedButton");
        QCOMPARE(w->posY->text(), QString("0.6"));
    }

    void alwaysDrawsTheWholePictureAfterEveryViewChange() {
        QTest::mouseClick(w->Always, Qt::LeftButton);
        for (const char* name : {"ZoomIn", "LeftSpeedButton", "ZoomOut", "Redraw", "Reset"}) {
            Click(w, name);
            // The whole picture at once, no coarse passes.
            QVERIFY2(w->Model().Rendering().BlockSize() == 0, name);
            QTRY_VERIFY_WITH_TIMEOUT(!w->IdleRendering(), 20000);
            QCOMPARE(w->Image1->Image().pixel(0, 239) & 0xFFFFFFu,
                     ColourOfCount(w->Engine().EvaluatePixel(0, 0)));
        }
        QVERIFY(QApplication::overrideCursor() == nullptr);
    }

    void redrawTakesTheIterationLimitAndKeepsTheView() {
        w->Iteration->setText("500");
        Click(w, "Redraw");
        QCOMPARE(w->Engine().GetLimit(), 500);
        w->Iteration->setText("0");
        Click(w, "Redraw");
        QCOMPARE(w->Engine().GetLimit(), 500);
        QCOMPARE(DispRange(w), QStringList({"-0.6", "0.0", "2.4", "2.4"}));
        QVERIFY(recorder_->messages.empty());
    }

    void aBadZoomRangeTextIsReportedAndChangesNothing() {
        QTest::keyClicks(w->RectWidth, "x");
        Click(w, "ZoomIn");
        QCOMPARE(recorder_->messages.size(), std::size_t{1});
        QCOMPARE(recorder_->messages[0].kind, MessageKind::Error);
        QCOMPARE(DispRange(w), QStringList({"-0.6", "0.0", "2.4", "2.4"}));
    }

    void aDrawnLineGivesTheCalcTextsAndEnablesCompose() {
        DrawLine(QPoint(0, 239), QPoint(239, 0));
        QCOMPARE(CalcRange(w), QStringList({"-1.8", "-1.19", "0.59", "1.2"}));
        QVERIFY(w->Compose->isEnabled());
        QVERIFY(w->Image2->HasLine());
        QCOMPARE(w->Image2->Line(), QLine(0, 239, 239, 0));
    }

    void aClickWithoutMovingLeavesComposeDisabled() {
        QTest::mouseClick(w->Image2, Qt::LeftButton, Qt::NoModifier, QPoint(30, 40));
        const QStringList texts = CalcRange(w);
        QCOMPARE(texts[0], texts[2]);
        QCOMPARE(texts[1], texts[3]);
        QVERIFY(!w->Compose->isEnabled());

        DrawLine(QPoint(30, 40), QPoint(30, 80)); // differs only vertically
        QVERIFY(w->Compose->isEnabled());
        QTest::mouseClick(w->Image2, Qt::LeftButton, Qt::NoModifier, QPoint(30, 40));
        QVERIFY(!w->Compose->isEnabled());
    }

    void aRightButtonPressDrawsNothing() {
        QTest::mousePress(w->Image2, Qt::RightButton, Qt::NoModifier, QPoint(10, 10));
        QTest::mouseMove(w->Image2, QPoint(100, 100));
        QVERIFY(!w->Image2->HasLine());
        QTest::mouseRelease(w->Image2, Qt::RightButton, Qt::NoModifier, QPoint(100, 100));
    }

    void composeFillsTheSeriesAndShowsTheCompositionWindow() {
        ComposeWin->NoteCount->setText("3");
        QTest::keyClick(w->XShiftTrackBar1, Qt::Key_Home);
        QTest::keyClick(w->YShiftTrackBar2, Qt::Key_Home);
        QCOMPARE(w->XShiftEdit1->text(), QString("0%"));
        QCOMPARE(w->YShiftEdit1->text(), QString("0%"));
        DrawLine(QPoint(0, 239), QPoint(239, 0));
        QTest::mouseClick(w->Compose, Qt::LeftButton);
        QVERIFY(recorder_->messages.empty());
        QCOMPARE(w->Series().Length(), 48);
        QVERIFY(ComposeWin->isVisible());
        // Without shift all sixteen lines are the drawn one.
        for (int part = 1; part < 16; ++part) {
            for (int i = 0; i < 3; ++i) {
                QCOMPARE(w->Series().At(part, i), w->Series().At(0, i));
            }
        }
        // The end of the line lies outside the set, its middle inside.
        QCOMPARE(w->Series().At(0, 1), 200);
    }

    // A long Compose runs on a worker: the event loop keeps turning, the
    // windows are disabled, the progress dialog appears, and its Cancel
    // leaves the previous series as they were. Every sample here takes
    // billions of steps, so the timer ticks counted while not one sample is
    // done show that the work does not hold the loop; cancelling after a
    // count of ticks rather than a time keeps the test free of the
    // machine's speed. The gaps' median shows the loop turning at the
    // timer's pace (a loop let through only now and then would show its
    // pauses there); the longest gap is measured in the benchmarks.
    void aComposeInProgressKeepsTheEventLoopTurningUntilCancel() {
        ComposeWin->NoteCount->setText("50");
        DrawLine(QPoint(140, 115), QPoint(165, 125)); // across the main cardioid
        QTest::mouseClick(w->Compose, Qt::LeftButton);
        const std::vector<std::int32_t> before = w->Series().Values();
        QCOMPARE(before.size(), std::size_t{800});
        w->Iteration->setText("2000000000");
        constexpr int TicksBeforeCancel = 100;
        constexpr int TickMs = 5;
        std::vector<qint64> gaps;
        int ticksWithDialog = 0;
        bool disabled = false;
        bool cancelled = false;
        QElapsedTimer sinceTick;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, [&] {
            gaps.push_back(sinceTick.restart());
            disabled = disabled || !w->isEnabled();
            auto* dialog = qobject_cast<QProgressDialog*>(FindTopLevel(ProgressDialogName));
            if (cancelled || dialog == nullptr || !dialog->isVisible()) {
                return;
            }
            if (++ticksWithDialog == TicksBeforeCancel) {
                cancelled = true;
                QTest::mouseClick(dialog->findChild<QPushButton*>(), Qt::LeftButton);
            }
        });
        sinceTick.start();
        ticker.start(TickMs);
        QTest::mouseClick(w->Compose, Qt::LeftButton); // returns once cancelled
        ticker.stop();
        QVERIFY(cancelled);
        QVERIFY(disabled);
        std::sort(gaps.begin(), gaps.end());
        const qint64 median = gaps[gaps.size() / 2];
        qInfo("event-loop gaps while composing over %zu ticks: median %lld ms, longest %lld ms",
              gaps.size(), median, gaps.back());
        QVERIFY2(median < 10 * TickMs, qPrintable(QString::number(median)));
        QVERIFY(w->isEnabled());
        QVERIFY(recorder_->messages.empty());
        QVERIFY(w->Series().Values() == before);
    }

    void composeRefusesANoteCountBelowTwo() {
        DrawLine(QPoint(0, 239), QPoint(239, 0));
        ComposeWin->NoteCount->setText("1");
        QTest::mouseClick(w->Compose, Qt::LeftButton);
        QCOMPARE(recorder_->messages.size(), std::size_t{1});
        QCOMPARE(recorder_->messages[0].kind, MessageKind::Error);
        QVERIFY(w->Series().Empty());
        QVERIFY(!ComposeWin->isVisible());
    }

    void aSecondDrawNowDoesNothingUntilARestart() {
        DrawNow(w);
        const QImage drawn = w->Image1->grab().toImage();
        // White noise would change every pixel if the picture were drawn again.
        w->Engine().SelectFormula(4);
        QTest::mouseClick(w->Turbo, Qt::LeftButton);
        QVERIFY(!w->IdleRendering());
        QCOMPARE(w->Image1->grab().toImage(), drawn);

        Click(w, "Redraw");
        QVERIFY(w->IdleRendering());
        DrawNow(w);
        QVERIFY(w->Image1->grab().toImage() != drawn);
    }

    void theIdleRendererCompletesThePicture() {
        QTRY_VERIFY_WITH_TIMEOUT(!w->IdleRendering(), 20000);
        const QImage progressive = w->Image1->grab().toImage();
        Click(w, "Redraw");
        DrawNow(w);
        QCOMPARE(w->Image1->grab().toImage(), progressive);
    }

    void thePictureShowsPlaneRowsUpsideDownInThePalette() {
        DrawNow(w);
        QImage picture = w->Image1->grab().toImage().convertToFormat(QImage::Format_RGB32);
        // (-0.6, 0) lies inside the set: limit 200 is palette entry 8.
        QCOMPARE(picture.pixel(120, 120) & 0xFFFFFFu, Palette[8]);
        QCOMPARE(QColor(picture.pixel(120, 120)), QColor(192, 192, 192));

        // In a view that is not symmetric the picture's top row is plane-row 239.
        Click(w, "UpSpeedButton");
        DrawNow(w);
        picture = w->Image1->grab().toImage().convertToFormat(QImage::Format_RGB32);
        int differing = 0;
        for (int x = 0; x < 240; x += 7) {
            for (int row : {0, 60, 120, 200, 239}) {
                const Pixel expected = ColourOfCount(w->Engine().EvaluatePixel(x, 239 - row));
                QCOMPARE(picture.pixel(x, row) & 0xFFFFFFu, expected);
                differing += expected != ColourOfCount(w->Engine().EvaluatePixel(x, row));
            }
        }
        QVERIFY(differing > 0);
    }

    void thePopupEnablesWhatCanBeDone() {
        QApplication::clipboard()->setText("no picture");
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(10, 10),
                                w->Image2->mapToGlobal(QPoint(10, 10)));
        QApplication::sendEvent(w->Image2, &event);
        QTRY_VERIFY(w->PopupMenu1->isVisible());
        QVERIFY(w->CopyImage1->isEnabled());
        QVERIFY(!w->CopySeries1->isEnabled());
        QVERIFY(!w->ImportImage1->isEnabled());
        w->PopupMenu1->close();

        QApplication::clipboard()->setImage(QImage(8, 8, QImage::Format_RGB32));
        DrawLine(QPoint(0, 239), QPoint(239, 0));
        QTest::mouseClick(w->Compose, Qt::LeftButton);
        w->PopupMenu1Popup();
        QVERIFY(w->CopySeries1->isEnabled());
        QVERIFY(w->ImportImage1->isEnabled());
    }

    void copySeriesPutsTheFirstPartOnTheClipboard() {
        ComposeWin->NoteCount->setText("4");
        DrawLine(QPoint(0, 239), QPoint(239, 0));
        QTest::mouseClick(w->Compose, Qt::LeftButton);
        w->CopySeries1->trigger();
        const QStringList values = QApplication::clipboard()->text().split(',');
        QCOMPARE(values.size(), 4);
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(values[i].toInt(), w->Series().At(0, i));
        }
        // A note count beyond the table is reported; the clipboard keeps its text.
        ComposeWin->NoteCount->setText("100");
        w->CopySeries1->trigger();
        QCOMPARE(recorder_->messages.size(), std::size_t{1});
        QCOMPARE(QApplication::clipboard()->text().split(',').size(), 4);
    }

    void anImportedImageReplacesTheFractalUntilAFormulaChange() {
        QImage image(480, 360, QImage::Format_RGB32);
        image.fill(QColor(128, 128, 128));
        QApplication::clipboard()->setImage(image);
        w->PopupMenu1Popup();
        w->ImportImage1->trigger();
        QVERIFY(w->ImageMode);
        for (QWidget* control : FractalControls(w)) {
            QVERIFY2(!control->isEnabled(), qPrintable(control->objectName()));
        }
        QVERIFY(!w->IdleRendering());

        w->CopyImage1->trigger();
        QCOMPARE(QApplication::clipboard()->image().size(), QSize(480, 360));

        // Line ends in bitmap pixels; a grey of 128 samples as 384.
        DrawLine(QPoint(10, 20), QPoint(100, 200));
        QCOMPARE(CalcRange(w), QStringList({"20", "30", "200", "300"}));
        ComposeWin->NoteCount->setText("2");
        QTest::mouseClick(w->Compose, Qt::LeftButton);
        QCOMPARE(w->Series().At(0, 0), 384);
        QCOMPARE(w->Engine().GetLimit(), 765);

        // Choosing a formula (with the keyboard) discards the image.
        w->ComboBox1->setFocus();
        QTest::keyClick(w->ComboBox1, Qt::Key_Down);
        QVERIFY(!w->ImageMode);
        for (QWidget* control : FractalControls(w)) {
            QVERIFY2(control->isEnabled(), qPrintable(control->objectName()));
        }
        QCOMPARE(w->Image1->Image().size(), QSize(240, 240));
        QVERIFY(w->IdleRendering());
    }

    void anImportWithoutAPictureIsReported() {
        QApplication::clipboard()->setText("changed since the menu opened");
        w->ImportImage1->trigger();
        QCOMPARE(recorder_->messages.size(), std::size_t{1});
        QCOMPARE(recorder_->messages[0].kind, MessageKind::Error);
        QVERIFY(!w->ImageMode);
        QVERIFY(w->Turbo->isEnabled());
    }

    void returnInAFieldChangesNothing() {
        for (QLineEdit* edit : {w->MouseX, w->posX, w->StartX, w->Iteration}) {
            QTest::keyClick(edit, Qt::Key_Return);
            QTest::keyClick(edit, Qt::Key_Enter);
        }
        QVERIFY(w->isVisible());
        QCOMPARE(DispRange(w), QStringList({"-0.6", "0.0", "2.4", "2.4"}));
        QVERIFY(!ComposeWin->isVisible());
        QVERIFY(recorder_->messages.empty());
    }

    void theJuliaMarkerSetsTheConstantWhereItIsDropped() {
        w->ComboBox1->setFocus();
        QTest::keyClick(w->ComboBox1, Qt::Key_Down);
        QCOMPARE(w->ComboBox1->currentIndex(), 1);
        QVERIFY(w->Shape1->isVisible());
        QVERIFY(w->LabelDragme->isVisible());
        DrawNow(w);

        QMimeData other;
        other.setText("Shape1");
        QDragEnterEvent refused(QPoint(120, 120), Qt::CopyAction, &other, Qt::LeftButton,
                                Qt::NoModifier);
        QApplication::sendEvent(w->Image2, &refused);
        QVERIFY(!refused.isAccepted());

        std::unique_ptr<QMimeData> marker(TJuliaMarker::NewMimeData());
        QDragEnterEvent enter(QPoint(120, 120), Qt::CopyAction, marker.get(), Qt::LeftButton,
                              Qt::NoModifier);
        QApplication::sendEvent(w->Image2, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(120, 120), Qt::CopyAction, marker.get(), Qt::LeftButton,
                        Qt::NoModifier);
        QApplication::sendEvent(w->Image2, &drop);
        QCOMPARE(w->Model().JuliaX(), -0.6);
        QCOMPARE(w->Model().JuliaY(), 0.0);
        QVERIFY(w->IdleRendering());

        QTest::keyClick(w->ComboBox1, Qt::Key_Down);
        QVERIFY(!w->Shape1->isVisible());
        QVERIFY(!w->LabelDragme->isVisible());
    }

    void closingWritesMainPrf() {
        w->Iteration->end(false);
        QTest::keyClicks(w->Iteration, "0"); // "2000"
        QTest::keyClick(w->XShiftTrackBar1, Qt::Key_End);
        QTest::mouseClick(w->Always, Qt::LeftButton);
        QTest::mouseClick(w->ExitButton1, Qt::LeftButton);
        QVERIFY(!w->isVisible());
        const std::string bytes = ReadFileBytes((dir_.path() + "/main.prf").toStdString());
        QCOMPARE(std::count(bytes.begin(), bytes.end(), '\n'), 31L);
        QCOMPARE(std::count(bytes.begin(), bytes.end(), '\r'), 31L);
        const std::vector<std::string> lines = SettingsLines(dir_.path());
        QCOMPARE(lines.size(), std::size_t{31});
        QCOMPARE(lines[0], std::string("0000"));
        QCOMPARE(lines[5], std::string("-0.6")); // Zoom Range texts as they stand
        QCOMPARE(lines[6], std::string("0"));
        QCOMPARE(lines[9], std::string("-0.6"));
        QCOMPARE(lines[10], std::string("0.0"));
        QCOMPARE(lines[17], std::string("2000"));
        QCOMPARE(lines[18], std::string("0"));
        QCOMPARE(lines[20], std::string("100"));
        QCOMPARE(lines[21], std::string("1"));
        QCOMPARE(lines[22], std::string("1"));
        QCOMPARE(lines[25], IntToStr(ComposeWin->frameGeometry().width()));
    }

    void theWindowManagersCloseWritesMainPrfToo() {
        w->Iteration->end(false);
        QTest::keyClicks(w->Iteration, "1"); // "2001"
        w->close();
        QCOMPARE(SettingsLines(dir_.path())[17], std::string("2001"));
    }

    void aNewerMainPrfIsReportedAndStillApplied() {
        StopProgram();
        WriteSettings(dir_.path(), SampleSettings("0001"));
        recorder_->messages.clear();
        w = StartProgram(dir_.path());
        QCOMPARE(recorder_->messages.size(), std::size_t{1});
        QCOMPARE(recorder_->messages[0].kind, MessageKind::Information);
        QCOMPARE(recorder_->messages[0].text, std::string("Why did you version-down ?"));
        QCOMPARE(w->Iteration->text(), QString("500"));
        QCOMPARE(w->PolyphonicIndex(), 2);
        QCOMPARE(w->XShiftEdit1->text(), QString("0.5%"));
        QCOMPARE(w->YShiftEdit1->text(), QString("0%"));
        QVERIFY(w->Always->isChecked());
        // Even with "Always" the first picture is drawn while idle.
        QVERIFY(w->IdleRendering());
        // The view and the formula still start from the design values.
        QCOMPARE(DispRange(w), QStringList({"-0.6", "0.0", "2.4", "2.4"}));
        QCOMPARE(w->ComboBox1->currentIndex(), 0);
        QCOMPARE(w->Engine().GetLimit(), 500);
        QCOMPARE(w->geometry().topLeft(), QPoint(60, 50));
    }

    void aLongNumberShowsItsStart() {
        w->MouseX->setText("-0.0150000000000001");
        QTest::mouseClick(w->ZoomIn, Qt::LeftButton);
        QCOMPARE(w->posX->text(), QString("-0.0150000000000001"));
        QCOMPARE(w->posX->cursorPosition(), 0);
        QCOMPARE(w->MouseX->cursorPosition(), 0);
    }

    void theHighestLimitWithAlwaysStillShowsTheWindowAtOnce() {
        StopProgram();
        std::vector<std::string> lines = SampleSettings("0000");
        lines[17] = "2147483647";
        WriteSettings(dir_.path(), lines);
        QElapsedTimer clock;
        clock.start();
        w = StartProgram(dir_.path());
        QVERIFY(w->isVisible());
        QVERIFY(w->Always->isChecked());
        QCOMPARE(w->Engine().GetLimit(), 2147483647);
        QVERIFY(w->IdleRendering());
        QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
    }

    void windowsRestoredOffEveryScreenComeBackOntoOne() {
        StopProgram();
        std::vector<std::string> lines = SampleSettings("0000");
        lines[1] = "5000";   // main window top
        lines[2] = "9000";   // main window left
        lines[23] = "-3000"; // composition window top
        WriteSettings(dir_.path(), lines);
        w = StartProgram(dir_.path());
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        QVERIFY(screen.contains(w->frameGeometry()));
        QVERIFY(screen.contains(ComposeWin->frameGeometry().topLeft()));
        QCOMPARE(ComposeWin->frameGeometry().left(), 40);
    }

    void aBadMainPrfStopsLoadingWhereItIsBad_data() {
        QTest::addColumn<int>("badLine");
        QTest::addColumn<QString>("badText");
        QTest::addColumn<QString>("iteration");
        QTest::addColumn<int>("method");
        QTest::newRow("formula not a number") << 18 << "x"
                                              << "500" << 0;
        QTest::newRow("method out of range") << 19 << "7"
                                             << "500" << 0;
        QTest::newRow("always not a number") << 22 << ""
                                             << "500" << 2;
        QTest::newRow("top not a number") << 1 << "top"
                                          << "200" << 0;
    }

    void aBadMainPrfStopsLoadingWhereItIsBad() {
        QFETCH(int, badLine);
        QFETCH(QString, badText);
        QFETCH(QString, iteration);
        QFETCH(int, method);
        RestartWithBadLine(badLine, badText);
        QCOMPARE(recorder_->messages.size(), std::size_t{1});
        QCOMPARE(recorder_->messages[0].kind, MessageKind::Error);
        QCOMPARE(w->Iteration->text(), iteration);
        QCOMPARE(w->PolyphonicIndex(), method);
        QVERIFY(!w->Always->isChecked());
        QCOMPARE(DispRange(w), QStringList({"-0.6", "0.0", "2.4", "2.4"}));
        QVERIFY(w->IdleRendering());
    }

    // A bad value is reported with its file and line (quoting little of it),
    // keeps its design value, and so is not written back at Bye.
    void aBadMainPrfValueIsNamedAndNotWrittenBack_data() {
        QTest::addColumn<int>("badLine");
        QTest::addColumn<QString>("badText");
        QTest::addColumn<QString>("message");
        QTest::newRow("iteration") << 17 << "2x"
                                   << "main.prf, line 18: Iteration: '2x' is not a valid integer "
                                      "value\nThis setting and the ones after it keep their design "
                                      "values.";
        QTest::newRow("megabyte view text")
            << 9 << QString(1 << 20, '9')
            << "main.prf, line 10: the line holds 1048576 bytes; a line holds at most 4096.\n"
               "This setting and the ones after it keep their design values.";
    }

    void aBadMainPrfValueIsNamedAndNotWrittenBack() {
        QFETCH(int, badLine);
        QFETCH(QString, badText);
        QFETCH(QString, message);
        RestartWithBadLine(badLine, badText);
        QCOMPARE(recorder_->messages.size(), std::size_t{1});
        const QString shown = QString::fromStdString(recorder_->messages[0].text);
        QVERIFY2(shown.endsWith("/" + message), qPrintable(shown));
        QCOMPARE(w->Iteration->text(), QString("200"));
        w->close();
        const std::vector<std::string> saved = SettingsLines(dir_.path());
        QCOMPARE(saved[17], std::string("200"));
        QVERIFY(saved[static_cast<std::size_t>(badLine)].size() < 8);
    }

    void aShortMainPrfKeepsTheLinesBeforeItsEnd() {
        StopProgram();
        std::vector<std::string> lines = SampleSettings("0000");
        lines.resize(18);
        WriteSettings(dir_.path(), lines);
        recorder_->messages.clear();
        w = StartProgram(dir_.path());
        QCOMPARE(recorder_->messages.size(), std::size_t{1});
        QCOMPARE(w->Iteration->text(), QString("500"));
        QCOMPARE(w->PolyphonicIndex(), 0);
    }

    void theNoticeFadesToBlackOnMouseOver() {
        QLabel* notice = w->NoticeLabel;
        QCOMPARE(notice->palette().color(QPalette::WindowText),
                 w->palette().color(QPalette::Window));
        QVERIFY(!notice->text().isEmpty());
        QVERIFY(!w->Timer1->isActive());
        Hover(notice, QPoint(5, 5));
        QVERIFY(w->Timer1->isActive());
        QCOMPARE(w->Timer1->interval(), 200);
        const QColor before = notice->palette().color(QPalette::WindowText);
        w->Timer1Timer();
        const QColor after = notice->palette().color(QPalette::WindowText);
        QCOMPARE(after.red(), std::max(before.red() - 2, 0));
        QCOMPARE(after.blue(), std::max(before.blue() - 2, 0));
        for (int step = 0; step < 200 && w->Timer1->isActive(); ++step) {
            w->Timer1Timer();
        }
        QVERIFY(!w->Timer1->isActive());
        QCOMPARE(notice->palette().color(QPalette::WindowText), QColor(Qt::black));
        Hover(notice, QPoint(6, 6));
        QVERIFY(!w->Timer1->isActive());
    }

    // Inside the set at the largest limit one point takes seconds. With
    // "Always" checked, every view change, "Draw Now!" and Redraw asks for
    // such a picture; the window's thread still never waits more than 50 ms,
    // and Bye ends the program within 200 ms.
    void theWindowAnswersWhileADeepPictureIsComputed() {
        w->Iteration->setText("2147483647");
        w->Always->setChecked(true);
        w->MouseX->setText("-0.1");
        w->MouseY->setText("0.05");
        w->RectWidth->setText("0.01");
        w->RectHeight->setText("0.01");
        TickGaps gaps;
        QTest::mouseClick(w->ZoomIn, Qt::LeftButton);
        QWidget* const steps[] = {w->RightSpeedButton, w->Redraw,  w->Turbo,
                                  w->LeftSpeedButton,  w->ZoomOut, w->ZoomIn};
        for (int turn = 0; gaps.ElapsedMs() < 10000; ++turn) {
            if (turn % 50 == 0) {
                QTest::mouseClick(steps[turn / 50 % std::size(steps)], Qt::LeftButton);
                QVERIFY(w->IdleRendering());
            }
            // Not qWait, which sleeps between its turns of the loop.
            QEventLoop loop;
            QTimer::singleShot(20, &loop, &QEventLoop::quit);
            loop.exec();
        }
        QVERIFY(gaps.Count() > 500);
        const double longest = gaps.Longest();
        const double median = gaps.Median();
        qInfo("window thread: median gap %.2f ms, longest %.2f ms", median, longest);
        QVERIFY2(longest < 50.0, qPrintable(QString("longest gap %1 ms").arg(longest)));
        QVERIFY2(median < 20.0, qPrintable(QString("median gap %1 ms").arg(median)));

        QElapsedTimer bye;
        bye.start();
        QTest::mouseClick(w->ExitButton1, Qt::LeftButton);
        QVERIFY(!w->isVisible());
        DestroyWindows();
        const qint64 ms = bye.elapsed();
        QVERIFY2(ms < 200, qPrintable(QString("Bye took %1 ms").arg(ms)));
        QVERIFY(recorder_->messages.empty());
    }

    // Back and Forward, by key and from the picture's menu, walk the views
    // and put back their fields and their pictures; none of it is saved.
    void backAndForwardWalkTheViews() {
        std::vector<QStringList> texts{ViewTexts(w)};
        std::vector<QImage> pictures{FinishedPicture(w)};
        const auto step = [&](auto change) {
            change();
            texts.push_back(ViewTexts(w));
            pictures.push_back(FinishedPicture(w));
        };
        step([&] { QTest::mouseClick(w->ZoomIn, Qt::LeftButton); });
        step([&] { QTest::mouseClick(w->RightSpeedButton, Qt::LeftButton); });
        step([&] {
            w->MouseX->setText("-0.75");
            w->RectWidth->setText("0.5");
            QTest::mouseClick(w->ZoomIn, Qt::LeftButton);
        });
        step([&] {
            w->Iteration->setText("60");
            QTest::mouseClick(w->Redraw, Qt::LeftButton);
        });
        step([&] {
            w->ComboBox1->setCurrentIndex(2);
            w->ComboBox1Change();
        });
        QAction* back = w->findChild<QAction*>("ActionBack");
        QAction* forward = w->findChild<QAction*>("ActionForward");
        QVERIFY(back != nullptr && forward != nullptr);
        QVERIFY(w->PopupMenu1->actions().contains(back));
        QVERIFY(w->PopupMenu1->actions().contains(forward));
        QVERIFY(!forward->isEnabled());

        struct Key {
            QKeySequence keys;
            int direction;
        };
        const Key keys[] = {{QKeySequence("Ctrl+Z"), -1},   {QKeySequence("Alt+Left"), -1},
                            {QKeySequence("Alt+Right"), 1}, {QKeySequence("Ctrl+Z"), -1},
                            {QKeySequence("Ctrl+Z"), -1},   {QKeySequence("Ctrl+Shift+Z"), 1},
                            {QKeySequence("Alt+Left"), -1}, {QKeySequence("Alt+Left"), -1},
                            {QKeySequence("Alt+Left"), -1}, {QKeySequence("Alt+Right"), 1}};
        int at = static_cast<int>(texts.size()) - 1;
        w->ExitButton1->setFocus(); // not in a field, whose own Ctrl+Z undoes typing
        for (const Key& key : keys) {
            QTest::keySequence(w, key.keys);
            at += key.direction;
            const QString name = key.keys.toString() + " to view " + QString::number(at);
            QCOMPARE(ViewTexts(w), texts[static_cast<std::size_t>(at)]);
            QVERIFY2(FinishedPicture(w) == pictures[static_cast<std::size_t>(at)],
                     qPrintable(name));
        }
        QVERIFY(back->isEnabled() && forward->isEnabled());
        forward->trigger(); // from the menu
        ++at;
        QCOMPARE(ViewTexts(w), texts[static_cast<std::size_t>(at)]);
        while (back->isEnabled()) {
            back->trigger();
            --at;
        }
        QCOMPARE(at, 0);
        QCOMPARE(ViewTexts(w), texts[0]);
        QVERIFY(FinishedPicture(w) == pictures[0]);

        // main.prf has its 31 lines, the last view's values and no history.
        w->close();
        const std::vector<std::string> lines = ReadLines((dir_.path() + "/main.prf").toStdString());
        QCOMPARE(lines.size(), std::size_t{31});
        QCOMPARE(QString::fromStdString(lines[17]), w->Iteration->text());
    }

    // "Picture size" enlarges the picture and the window around it; the
    // same line on the plane gives the same texts at every size; a size
    // other than 240 is remembered on a line after the 31 others.
    void thePictureSizeEnlargesThePictureAndKeepsThePlane() {
        auto* sizes = w->findChild<QComboBox*>("PictureSize");
        QVERIFY(sizes != nullptr);
        QCOMPARE(sizes->currentText(), QString("240"));
        // Run once more on a screen that scales by 2 (see the list file).
        QCOMPARE(w->devicePixelRatio(),
                 qEnvironmentVariableIntValue("QT_SCALE_FACTOR") == 2 ? 2 : 1);
        const QSize start = w->size();
        Drag(w->Image2, QPoint(30, 200), QPoint(210, 40), 3);
        const QStringList line = {w->StartX->text(), w->StartY->text(), w->EndX->text(),
                                  w->EndY->text()};
        const QImage small = FinishedPicture(w);
        for (const int size : {480, 720, 240}) {
            sizes->setCurrentText(QString::number(size));
            QCOMPARE(w->Image1->size(), QSize(size, size));
            QCOMPARE(w->size(), start + QSize(size - 240, size - 240));
            const QImage picture = FinishedPicture(w);
            QCOMPARE(picture.size(), QSize(size, size) * w->devicePixelRatio());
            const int k = size / 240;
            Drag(w->Image2, QPoint(30, 200) * k, QPoint(210, 40) * k, 3);
            QCOMPARE(QStringList(
                         {w->StartX->text(), w->StartY->text(), w->EndX->text(), w->EndY->text()}),
                     line);
            if (size == 240) {
                QVERIFY(picture == small);
            }
        }
        sizes->setCurrentText("480");
        w->close();
        const std::string prf = (dir_.path() + "/main.prf").toStdString();
        std::vector<std::string> lines = ReadLines(prf);
        QCOMPARE(lines.size(), std::size_t{32});
        QCOMPARE(lines[31], std::string("480"));
        DestroyWindows();
        w = StartProgram(dir_.path());
        QCOMPARE(w->findChild<QComboBox*>("PictureSize")->currentText(), QString("480"));
        QCOMPARE(w->Image1->size(), QSize(480, 480));
        // A size that is not offered is reported, and the window stays at 240.
        StopProgram();
        lines[31] = "300";
        WriteLinesAtomic(prf, lines);
        recorder_->messages.clear();
        w = StartProgram(dir_.path());
        QCOMPARE(w->Image1->size(), QSize(240, 240));
        QCOMPARE(recorder_->messages.size(), std::size_t{1});
    }
};

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
