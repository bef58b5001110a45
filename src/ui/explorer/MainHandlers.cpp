// The explorer window's handlers for navigation, rendering, the composition
// line, Compose and the clipboard: each reads the controls into the model,
// runs the model's operation and shows the result.
#include "base/Errors.h"
#include "explorer/ComposeSpeed.h"
#include "ui/common/ErrorGuard.h"
#include "ui/common/ProgressDialog.h"
#include "ui/explorer/Main.h"
#include "ui/explorer/MainPictures.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QLineEdit>
#include <QMimeData>
#include <QSlider>
#include <QTimer>
#include <utility>

namespace sorvelin {
namespace {

// The link's function, or the error that the composition window is missing.
template <typename Function> const Function& CompositionLink(const Function& function) {
    if (!function) {
        throw UserError("The composition window does not exist.");
    }
    return function;
}

} // namespace

void TMainForm1::SetButton1Click() {
    RunView([this] { model_.ZoomIn(); });
}

void TMainForm1::ZoomOutClick() {
    RunView([this] { model_.ZoomOut(); });
}

void TMainForm1::LeftSpeedButtonClick() {
    RunView([this] { model_.PanLeft(); });
}

void TMainForm1::RightSpeedButtonClick() {
    RunView([this] { model_.PanRight(); });
}

void TMainForm1::UpSpeedButtonClick() {
    RunView([this] { model_.PanUp(); });
}

void TMainForm1::DownSpeedButtonClick() {
    RunView([this] { model_.PanDown(); });
}

void TMainForm1::ResetClick() {
    RunView([this] { model_.Reset(); });
}

void TMainForm1::RedrawClick() {
    RunView([this] { model_.Redraw(); });
}

void TMainForm1::SizeableRectShape1MouseUp() {
    Run([this] { model_.ZoomRectangleReleased(); });
}

void TMainForm1::IdleRender() {
    // Shows the blocks the picture's threads finished since the last turn;
    // never waits for one.
    bool more = false;
    Guarded([&] { more = model_.AdvancePicture(); });
    Image1->update();
    if (!more) {
        idleTimer_->stop();
    }
}

void TMainForm1::ActionDrawExecute() {
    if (model_.ImageMode()) {
        return;
    }
    Run([this] { model_.DrawNow(); });
}

void TMainForm1::Image2MouseDown(Qt::MouseButtons buttons, QPoint at) {
    if (!(buttons & Qt::LeftButton)) {
        return;
    }
    model_.PressPicture(at.x(), at.y());
    Image2->ShowLine(QLine(at, at));
}

void TMainForm1::Image2MouseMove(QPoint at) {
    if (!model_.DrawingLine()) {
        return;
    }
    if (model_.DragOnPicture(at.x(), at.y())) {
        const LinePoints& line = model_.Line();
        Image2->ShowLine(QLine(line.LineStartX, line.LineStartY, line.LineEndX, line.LineEndY));
        if (Audition->isChecked()) {
            AuditionLine();
        }
    }
}

void TMainForm1::Image2MouseUp(QPoint at) {
    Run([&] { model_.ReleasePicture(at.x(), at.y()); });
}

void TMainForm1::XShiftTrackBar1Change() {
    const int position = XShiftTrackBar1->value();
    Run([&] { model_.SetXShift(position); });
}

void TMainForm1::YShiftTrackBar2Change() {
    const int position = YShiftTrackBar2->value();
    Run([&] { model_.SetYShift(position); });
}

void TMainForm1::ComposeClick() {
    const bool sampled = Run([this] {
        const ExplorerModel::ComposeJob job =
            model_.PrepareCompose(CompositionLink(companions_.noteCount)());
        SeriesTable series;
        RunWithProgressDialog("Composing the sixteen series...", [&](WorkProgress& progress) {
            series = ExplorerModel::RunCompose(job, &progress);
        });
        model_.CommitCompose(job, std::move(series));
    });
    if (sampled) {
        Guarded([this] { CompositionLink(companions_.showComposition)(); });
    }
}

void TMainForm1::AuditionClick() {
    auditionTimer_->stop();
    auditionWaiting_ = false;
    if (Audition->isChecked()) {
        // The machine's speed is measured once, here rather than at the first
        // move, which is then heard at once.
        MachineComposeSpeed();
    }
}

void TMainForm1::AuditionLine() {
    if (auditionTimer_->isActive()) {
        auditionWaiting_ = true;
        return;
    }
    PlayAudition();
}

void TMainForm1::PlayAudition() {
    auditionWaiting_ = false;
    // The pause counts from the start of this audition, so composing it does
    // not delay the next.
    auditionTimer_->start();
    Guarded([this] {
        ReadFields();
        if (companions_.audition) {
            companions_.audition();
        }
    });
}

void TMainForm1::PopupMenu1Popup() {
    CopyImage1->setEnabled(true);
    CopySeries1->setEnabled(model_.CopySeriesEnabled());
    const QMimeData* data = QApplication::clipboard()->mimeData();
    ImportImage1->setEnabled(data != nullptr && data->hasImage());
}

void TMainForm1::CopyImage1Click() {
    Guarded([this] {
        // The fractal is copied out of the live buffer, an import at its own size.
        const QImage image = ImageMode ? importedImage_ : fractalImage_.copy();
        QApplication::clipboard()->setImage(image);
    });
}

void TMainForm1::CopySeries1Click() {
    Guarded([this] {
        const std::string text = model_.CopySeriesText(CompositionLink(companions_.noteCount)());
        QApplication::clipboard()->setText(QString::fromStdString(text));
    });
}

void TMainForm1::ImportImage1Click() {
    const QImage clipboardImage = QApplication::clipboard()->image();
    if (clipboardImage.isNull()) {
        Guarded([] { throw UserError("The clipboard holds no picture."); });
        return;
    }
    const QImage image = clipboardImage.convertToFormat(QImage::Format_RGB32);
    Run([&] {
        ImageView view;
        view.Width = image.width();
        view.Height = image.height();
        view.PixelAt = [image](int x, int y) {
            return static_cast<Pixel>(image.pixel(x, y) & 0x00FFFFFFu);
        };
        importedImage_ = image;
        model_.EnterImageMode(std::move(view));
    });
}

void TMainForm1::Image2DragDrop(QPoint at) {
    RunView([&] { model_.DropJuliaMarker(at.x(), at.y()); });
}

} // namespace sorvelin
