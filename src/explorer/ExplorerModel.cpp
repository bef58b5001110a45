#include "explorer/ExplorerModel.h"

#include "base/Convert.h"
#include "base/Errors.h"
#include "explorer/ClipboardText.h"
#include "explorer/RectArithmetic.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace sorvelin {

ExplorerModel::ExplorerModel() : renderer_(ExplorerPictureSize, ExplorerPictureSize) {
    SetPictureSize(ExplorerPictureSize, ExplorerPictureSize);
}

void ExplorerModel::SetPictureSize(int width, int height, int pixelRatio) {
    pixelRatio = std::max(pixelRatio, 1);
    const int pixelsWide = width * pixelRatio;
    const int pixelsHigh = height * pixelRatio;
    engine_.SetViewSize(pixelsWide, pixelsHigh);
    view_.PictureWidth = width;
    view_.PictureHeight = height;
    if (pixelsWide != renderer_.Image().Width() || pixelsHigh != renderer_.Image().Height()) {
        renderer_ = Renderer(pixelsWide, pixelsHigh);
    }
}

void ExplorerModel::ResizePicture(int size, int pixelRatio) {
    const int old = PictureSize();
    const auto scaled = [size, old](int v) {
        return static_cast<int>(static_cast<long long>(v) * size / old);
    };
    RectBounds& r = fields_.SizeableRectShape1;
    r = {scaled(r.Left), scaled(r.Top), scaled(r.Width), scaled(r.Height)};
    line_ = {scaled(line_.LineStartX), scaled(line_.LineStartY), scaled(line_.LineEndX),
             scaled(line_.LineEndY)};
    const bool changed = size != old || Image().Width() != size * std::max(pixelRatio, 1);
    SetPictureSize(size, size, pixelRatio);
    if (changed) {
        renderer_.RestartRendering();
        // The Zoom Range follows the rectangle, the plane's view stays.
        ZoomRectangleReleased();
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
        CentreRect(fields_.SizeableRectShape1, PictureSize(), PictureSize());
    ZoomRectangleReleased();
    RecordView();
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
    RecordView();
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
    RecordView();
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
    // In pixels of the design picture: the same rectangle on the plane
    // gives the same Zoom Range at every picture size.
    const RectBounds& r = fields_.SizeableRectShape1;
    const ViewState& v = view_;
    const double left = DesignPixels(r.Left, v.PictureWidth);
    const double top = DesignPixels(r.Top, v.PictureHeight);
    const double width = DesignPixels(r.Width, v.PictureWidth);
    const double height = DesignPixels(r.Height, v.PictureHeight);
    constexpr double Design = ExplorerPictureSize;
    fields_.MouseX = FloatToStr(v.LeftX() + v.ViewExtentX * (width * 0.5 + left) / Design);
    fields_.MouseY =
        FloatToStr(v.BottomY() + v.ViewExtentY * (Design - top - height * 0.5) / Design);
    fields_.RectWidth = FloatToStr(v.ViewExtentX * width / Design);
    // Scaled from the width, so the next view takes the rectangle's shape.
    fields_.RectHeight = FloatToStr(v.ViewExtentX * height / Design);
}

// --- History of the view ----------------------------------------------------------

ViewStep ExplorerModel::CurrentViewStep() const {
    const ExplorerFields& f = fields_;
    return {f.MouseX,
            f.MouseY,
            f.RectWidth,
            f.RectHeight,
            f.posX,
            f.posY,
            f.RangeX,
            f.RangeY,
            f.Iteration,
            f.ComboBox1Index,
            f.SizeableRectShape1,
            view_,
            engine_.GetLimit(),
            engine_.FormulaIndex(),
            engine_.GetJuliaX(),
            engine_.GetJuliaY()};
}

void ExplorerModel::ApplyViewStep(const ViewStep& step) {
    fields_.MouseX = step.MouseX;
    fields_.MouseY = step.MouseY;
    fields_.RectWidth = step.RectWidth;
    fields_.RectHeight = step.RectHeight;
    fields_.posX = step.posX;
    fields_.posY = step.posY;
    fields_.RangeX = step.RangeX;
    fields_.RangeY = step.RangeY;
    fields_.Iteration = step.Iteration;
    fields_.ComboBox1Index = step.ComboBox1Index;
    fields_.SizeableRectShape1 = step.SizeableRectShape1;
    // The picture keeps its size: a view is a part of the plane.
    const double width = view_.PictureWidth;
    const double height = view_.PictureHeight;
    view_ = step.View;
    view_.PictureWidth = width;
    view_.PictureHeight = height;
    SetEngineWindow();
    engine_.SetLimit(step.Limit);
    engine_.SelectFormula(step.Formula);
    engine_.SetJuliaConstant(step.JuliaX, step.JuliaY);
    renderer_.RestartRendering();
    DrawIfAlways();
}

bool ExplorerModel::UndoView() {
    if (!CanUndoView()) {
        return false;
    }
    ApplyViewStep(history_.Undo());
    return true;
}

bool ExplorerModel::RedoView() {
    if (!CanRedoView()) {
        return false;
    }
    ApplyViewStep(history_.Redo());
    return true;
}

// --- Formula, Julia constant, image mode ---------------------------------------

void ExplorerModel::SelectFormula(int index, bool drawIfAlways) {
    fields_.ComboBox1Index = index;
    engine_.SelectFormula(index);
    LeaveImageMode();
    Redraw(drawIfAlways);
}

void ExplorerModel::DropJuliaMarker(int x, int y) {
    const PlanePoint c = JuliaConstantAt(view_, PictureSize(), x, y);
    engine_.SetJuliaConstant(c.X, c.Y);
    Redraw();
}

void ExplorerModel::EnterImageMode(ImageView image) {
    if (image.Width <= 0 || image.Height <= 0 || !image.PixelAt) {
        throw UserError("The clipboard picture is empty.");
    }
    image_ = std::move(image);
    imageMode_ = true;
    renderer_.Cancel();
}

void ExplorerModel::LeaveImageMode() {
    imageMode_ = false;
    image_ = ImageView{};
}

// --- Rendering ------------------------------------------------------------------

bool ExplorerModel::AdvancePicture() {
    return !imageMode_ && renderer_.Advance(engine_);
}

void ExplorerModel::FinishPicture() {
    if (!imageMode_) {
        renderer_.Finish(engine_);
    }
}

bool ExplorerModel::DrawNow() {
    return !imageMode_ && renderer_.RequestDrawNow();
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
        imageMode_ ? ImageLineTexts(image_.Width, image_.Height, PictureSize(), PictureSize(),
                                    line_.LineStartX, line_.LineStartY, x, y)
                   : PlaneLineTexts(view_, line_.LineStartX, line_.LineStartY, x, y);
    fields_.StartX = texts.StartX;
    fields_.StartY = texts.StartY;
    fields_.EndX = texts.EndX;
    fields_.EndY = texts.EndY;
    UpdateComposeEnabled();
}

void ExplorerModel::SetLine(const LinePoints& line) {
    const long long size = PictureSize();
    const auto scaled = [size](int v) { return static_cast<int>(v * size / ExplorerPictureSize); };
    line_ = {scaled(line.LineStartX), scaled(line.LineStartY), scaled(line.LineEndX),
             scaled(line.LineEndY)};
}

LinePoints ExplorerModel::DesignLine() const {
    const double size = PictureSize();
    const auto design = [size](int v) {
        return static_cast<int>(std::lround(DesignPixels(v, size)));
    };
    return {design(line_.LineStartX), design(line_.LineStartY), design(line_.LineEndX),
            design(line_.LineEndY)};
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
    job.PictureHeight = PictureSize();
    job.Ends = DesignPlaneLineEnds(view_, line_);
    return job;
}

SeriesTable ExplorerModel::RunCompose(const ComposeJob& job, WorkProgress* progress) {
    SeriesTable series;
    const SamplingWork work{0, progress};
    if (job.ImageMode) {
        SampleImage(job.Image, job.Ends, job.Dx, job.Dy, job.Method, job.NoteCount, series, work);
    } else {
        SampleFractal(job.Engine, job.Ends, job.Dx, job.Dy, job.Method, job.NoteCount, series,
                      work);
    }
    return series;
}

void ExplorerModel::CommitCompose(const ComposeJob& job, SeriesTable series) {
    engine_.SetLimit(job.Engine.GetLimit());
    series_ = std::move(series);
}

ExplorerModel::ComposeJob ExplorerModel::PrepareLineCompose(int noteCount) const {
    ComposeJob job = PrepareCompose(noteCount);
    if (job.ImageMode) {
        const CalcTexts texts =
            ImageLineTexts(image_.Width, image_.Height, PictureSize(), PictureSize(),
                           line_.LineStartX, line_.LineStartY, line_.LineEndX, line_.LineEndY);
        job.Ends = {static_cast<double>(StrToInt(texts.StartX, CalcStartXCaption)),
                    static_cast<double>(StrToInt(texts.StartY, CalcStartYCaption)),
                    static_cast<double>(StrToInt(texts.EndX, CalcEndXCaption)),
                    static_cast<double>(StrToInt(texts.EndY, CalcEndYCaption))};
    }
    return job;
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
