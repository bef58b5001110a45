#include "explorer/ExplorerModel.h"

#include "base/Convert.h"
#include "base/Errors.h"
#include "explorer/ClipboardText.h"
#include "explorer/RectArithmetic.h"

#include <algorithm>
#include <utility>

namespace sorvelin {

ExplorerModel::ExplorerModel() : renderer_(ExplorerPictureSize, ExplorerPictureSize) {
    SetPictureSize(ExplorerPictureSize, ExplorerPictureSize);
}

void ExplorerModel::SetPictureSize(int width, int height) {
    engine_.SetViewSize(width, height);
    view_.PictureWidth = width;
    view_.PictureHeight = height;
    if (width != renderer_.Image().Width() || height != renderer_.Image().Height()) {
        renderer_ = Renderer(width, height);
    }
}

// --- View -------------------------------------------------------------------

void ExplorerModel::SetEngineWindow() {
    engine_.SetWindow(view_.LeftX(), view_.BottomY(), view_.ViewExtentX, view_.ViewExtentY);
}

void ExplorerModel::DrawIfAlways() {
    if (fields_.AlwaysChecked) {
        DrawNow();
    }
}

void ExplorerModel::ApplyZoom(const ExplorerFields& candidate, bool drawIfAlways) {
    // Everything is converted before anything changes, so a bad text leaves
    // the view, the engine and the picture in agreement.
    const double centreX = StrToFloat(candidate.MouseX, ZoomRangeXCaption);
    const double centreY = StrToFloat(candidate.MouseY, ZoomRangeYCaption);
    const double extentX = StrToFloat(candidate.RectWidth, ZoomRangeWidthCaption);
    const double extentY = StrToFloat(candidate.RectHeight, ZoomRangeHeightCaption);
    const int limit = StrToInt(candidate.Iteration, IterationCaption);

    fields_ = candidate;
    view_.ViewCentreX = centreX;
    view_.ViewCentreY = centreY;
    view_.ViewExtentX = extentX;
    view_.ViewExtentY = extentY;
    SetEngineWindow();
    engine_.SetLimit(limit);
    renderer_.RestartRendering();
    // The Disp Range shows the texts as typed, not reformatted numbers.
    fields_.posX = fields_.MouseX;
    fields_.posY = fields_.MouseY;
    fields_.RangeX = fields_.RectWidth;
    fields_.RangeY = fields_.RectHeight;
    fields_.SizeableRectShape1 =
        CentreRect(fields_.SizeableRectShape1, Image().Width(), Image().Height());
    ZoomRectangleReleased();
    if (drawIfAlways) {
        DrawIfAlways();
    }
}

void ExplorerModel::ZoomIn() {
    ApplyZoom(fields_);
}

void ExplorerModel::ShowFirstView() {
    ApplyZoom(fields_, false);
}

void ExplorerModel::ZoomOut() {
    ExplorerFields candidate = fields_;
    candidate.RectWidth = FloatToStr(2 * StrToFloat(fields_.RangeX, DispRangeWidthCaption));
    candidate.RectHeight = FloatToStr(2 * StrToFloat(fields_.RangeY, DispRangeHeightCaption));
    ApplyZoom(candidate);
}

void ExplorerModel::Reset() {
    ExplorerFields candidate = fields_;
    candidate.MouseX = DesignMouseX;
    candidate.MouseY = DesignMouseY;
    candidate.RectWidth = DesignRectWidth;
    candidate.RectHeight = DesignRectHeight;
    ApplyZoom(candidate);
}

void ExplorerModel::Redraw(bool drawIfAlways) {
    // Restarting first keeps picture and engine in agreement even when the
    // limit text is bad: the passes then run with the old limit.
    renderer_.RestartRendering();
    engine_.SetLimit(StrToInt(fields_.Iteration, IterationCaption));
    if (drawIfAlways) {
        DrawIfAlways();
    }
}

void ExplorerModel::Pan(PanDirection direction) {
    const int limit = StrToInt(fields_.Iteration, IterationCaption);
    // Every direction moves by half the view's width.
    const double step = view_.ViewExtentX * 0.5;
    switch (direction) {
    case PanDirection::Left:
        view_.ViewCentreX -= step;
        break;
    case PanDirection::Right:
        view_.ViewCentreX += step;
        break;
    case PanDirection::Up:
        view_.ViewCentreY += step;
        break;
    case PanDirection::Down:
        view_.ViewCentreY -= step;
        break;
    }
    SetEngineWindow();
    engine_.SetLimit(limit);
    // Preview until the new passes cover it: the half that stays in view
    // moves to the side where it now shows.
    if (!imageMode_ && direction == PanDirection::Left) {
        renderer_.ShiftHalf(true);
    } else if (!imageMode_ && direction == PanDirection::Right) {
        renderer_.ShiftHalf(false);
    }
    renderer_.RestartRendering();
    if (direction == PanDirection::Left || direction == PanDirection::Right) {
        fields_.MouseX = FloatToStr(view_.ViewCentreX);
        fields_.posX = fields_.MouseX;
    } else {
        fields_.MouseY = FloatToStr(view_.ViewCentreY);
        fields_.posY = fields_.MouseY;
    }
    ZoomRectangleReleased();
    DrawIfAlways();
}

void ExplorerModel::PanLeft() {
    Pan(PanDirection::Left);
}
void ExplorerModel::PanRight() {
    Pan(PanDirection::Right);
}
void ExplorerModel::PanUp() {
    Pan(PanDirection::Up);
}
void ExplorerModel::PanDown() {
    Pan(PanDirection::Down);
}

void ExplorerModel::ZoomRectangleReleased() {
    const RectBounds& r = fields_.SizeableRectShape1;
    const ViewState& v = view_;
    fields_.MouseX =
        FloatToStr(v.LeftX() + v.ViewExtentX * (r.Width * 0.5 + r.Left) / v.PictureWidth);
    fields_.MouseY = FloatToStr(
        v.BottomY() + v.ViewExtentY * (v.PictureHeight - r.Top - r.Height * 0.5) / v.PictureHeight);
    fields_.RectWidth = FloatToStr(v.ViewExtentX * r.Width / v.PictureWidth);
    // Scaled from the width, so the next view takes the rectangle's shape.
    fields_.RectHeight = FloatToStr(v.ViewExtentX * r.Height / v.PictureHeight);
}

// --- Formula, Julia constant, image mode ---------------------------------------

void ExplorerModel::SelectFormula(int index, bool drawIfAlways) {
    fields_.ComboBox1Index = index;
    engine_.SelectFormula(index);
    LeaveImageMode();
    Redraw(drawIfAlways);
}

void ExplorerModel::DropJuliaMarker(int x, int y) {
    const PlanePoint c = JuliaConstantAt(view_, Image().Height(), x, y);
    engine_.SetJuliaConstant(c.X, c.Y);
    Redraw();
}

void ExplorerModel::EnterImageMode(ImageView image) {
    if (image.Width <= 0 || image.Height <= 0 || !image.PixelAt) {
        throw UserError("The clipboard picture is empty.");
    }
    image_ = std::move(image);
    imageMode_ = true;
}

void ExplorerModel::LeaveImageMode() {
    imageMode_ = false;
    image_ = ImageView{};
}

// --- Rendering ------------------------------------------------------------------

bool ExplorerModel::IdleRender() {
    return imageMode_ || renderer_.IdleRender(engine_);
}

bool ExplorerModel::RenderFor(std::chrono::microseconds budget) {
    return !imageMode_ && renderer_.RenderFor(engine_, budget);
}

bool ExplorerModel::DrawNow() {
    return !imageMode_ && renderer_.DrawNow(engine_);
}

// --- Composition line -------------------------------------------------------------

void ExplorerModel::PressPicture(int x, int y) {
    drawingLine_ = true;
    line_ = LinePoints{x, y, x, y};
}

bool ExplorerModel::DragOnPicture(int x, int y) {
    if (!drawingLine_) {
        return false;
    }
    line_.LineEndX = x;
    line_.LineEndY = y;
    return true;
}

void ExplorerModel::ReleasePicture(int x, int y) {
    drawingLine_ = false;
    const CalcTexts texts =
        imageMode_ ? ImageLineTexts(image_.Width, image_.Height, Image().Width(), Image().Height(),
                                    line_.LineStartX, line_.LineStartY, x, y)
                   : PlaneLineTexts(view_, line_.LineStartX, line_.LineStartY, x, y);
    fields_.StartX = texts.StartX;
    fields_.StartY = texts.StartY;
    fields_.EndX = texts.EndX;
    fields_.EndY = texts.EndY;
    UpdateComposeEnabled();
}

void ExplorerModel::UpdateComposeEnabled() {
    fields_.ComposeEnabled =
        ComposeEnabledFor({fields_.StartX, fields_.StartY, fields_.EndX, fields_.EndY});
}

// A track bar holds its position inside its range, whoever sets it.
void ExplorerModel::SetXShift(int position) {
    position = std::clamp(position, 0, ShiftTrackBarMax);
    fields_.XShiftTrackBar1Position = position;
    fields_.XShiftEdit1 = ShiftText(position);
}

void ExplorerModel::SetYShift(int position) {
    position = std::clamp(position, 0, ShiftTrackBarMax);
    fields_.YShiftTrackBar2Position = position;
    fields_.YShiftEdit1 = ShiftText(position);
}

ExplorerModel::ComposeJob ExplorerModel::PrepareCompose(int noteCount) const {
    ComposeJob job;
    const int xShift = fields_.XShiftTrackBar1Position;
    const int yShift = fields_.YShiftTrackBar2Position;
    job.Method = fields_.PolyphonicMethodIndex;
    job.NoteCount = noteCount;
    job.Engine = engine_;
    if (imageMode_) {
        // All four texts are converted before the table is resized.
        const int startX = StrToInt(fields_.StartX, CalcStartXCaption);
        const int startY = StrToInt(fields_.StartY, CalcStartYCaption);
        const int endX = StrToInt(fields_.EndX, CalcEndXCaption);
        const int endY = StrToInt(fields_.EndY, CalcEndYCaption);
        CheckNoteCount(noteCount);
        // The product is exact in double, as the int product is wherever
        // that does not overflow (images wider than 21 million pixels).
        job.Dx = static_cast<double>(image_.Width) * xShift * 0.0001;
        job.Dy = static_cast<double>(image_.Height) * yShift * 0.0001;
        job.ImageMode = true;
        job.Image = image_;
        job.Engine.SetLimit(ImageSampleLimit);
        job.Ends = {static_cast<double>(startX), static_cast<double>(startY),
                    static_cast<double>(endX), static_cast<double>(endY)};
        return job;
    }
    job.Dx = StrToFloat(fields_.RangeX, DispRangeWidthCaption) * xShift * 0.0001;
    job.Dy = StrToFloat(fields_.RangeY, DispRangeHeightCaption) * yShift * 0.0001;
    const int limit = StrToInt(fields_.Iteration, IterationCaption);
    CheckNoteCount(noteCount);
    job.Engine.SetLimit(limit);
    job.Line = line_;
    job.PictureHeight = Image().Height();
    return job;
}

SeriesTable ExplorerModel::RunCompose(const ComposeJob& job, WorkProgress* progress) {
    SeriesTable series;
    const SamplingWork work{0, progress};
    if (job.ImageMode) {
        SampleImage(job.Image, job.Ends, job.Dx, job.Dy, job.Method, job.NoteCount, series, work);
    } else {
        SampleFractal(job.Engine, job.PictureHeight, job.Line, job.Dx, job.Dy, job.Method,
                      job.NoteCount, series, work);
    }
    return series;
}

void ExplorerModel::CommitCompose(const ComposeJob& job, SeriesTable series) {
    engine_.SetLimit(job.Engine.GetLimit());
    series_ = std::move(series);
}

void ExplorerModel::Compose(int noteCount, WorkProgress* progress) {
    const ComposeJob job = PrepareCompose(noteCount);
    CommitCompose(job, RunCompose(job, progress));
}

// --- Clipboard ----------------------------------------------------------------------

std::string ExplorerModel::CopySeriesText(int noteCount) const {
    return SeriesClipboardText(series_, noteCount);
}

} // namespace sorvelin
