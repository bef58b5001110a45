#pragma once
// The explorer's state and operations without any window: field texts, view,
// engine, series table, composition line, picture and image mode. The main
// window copies its field texts into Fields(), calls an operation, copies the
// texts back and repaints from Image().
//
// Errors: a text that does not convert raises ConvertError; a table index
// raises IndexError; a refused note count raises UserError. Zoom In, Zoom Out,
// Reset, the pans and Compose convert every text they need before they change
// anything, so a failure leaves fields, view, engine, picture and series as
// they were. Redraw (and so the formula change and the Julia marker drop)
// restarts the rendering before it reads the Iteration text: with a bad text
// the passes run again with the old limit, and the error is raised after.
#include "explorer/ExplorerFields.h"
#include "explorer/ImageView.h"
#include "explorer/Renderer.h"
#include "explorer/Sampling.h"
#include "explorer/SeriesTable.h"
#include "explorer/ViewHistory.h"
#include "explorer/ViewState.h"
#include "fractal/Iteration.h"

#include <chrono>
#include <string>

namespace sorvelin {

class ExplorerModel {
public:
    ExplorerModel();

    // --- State --------------------------------------------------------------
    ExplorerFields& Fields() { return fields_; }
    const ExplorerFields& Fields() const { return fields_; }
    const ViewState& View() const { return view_; }
    FractalIterator& Engine() { return engine_; }
    const FractalIterator& Engine() const { return engine_; }
    SeriesTable& Series() { return series_; }
    const SeriesTable& Series() const { return series_; }
    const LinePoints& Line() const { return line_; }
    bool DrawingLine() const { return drawingLine_; }

    // The fractal picture: PictureWidth x PictureHeight window pixels times
    // the pixel ratio (screen pixels), 0x00RRGGBB,
    // rows top to bottom (QImage Format_RGB32 layout); the buffer's address
    // changes only when SetPictureSize changes the size.
    const Picture& Image() const { return renderer_.Image(); }
    const Renderer& Rendering() const { return renderer_; }

    // --- Start-up -----------------------------------------------------------
    // Show time: the picture's size in the window's pixels (the model starts
    // at 240 x 240), in which the rectangle and the line are given, and the
    // screen pixels per window pixel: the picture is computed at that finer
    // grid. The window then calls ShowFirstView().
    void SetPictureSize(int width, int height, int pixelRatio = 1);
    // "Picture size": a square picture of size window pixels. The rectangle
    // and the line scale with it, the view of the plane stays, and the
    // picture restarts.
    void ResizePicture(int size, int pixelRatio = 1);
    // The picture's width in window pixels.
    int PictureSize() const { return static_cast<int>(view_.PictureWidth); }
    // ZoomIn() that always draws progressively: with "Always" ticked and a
    // limit of billions in main.prf, drawing the whole first picture would
    // keep the window from appearing for minutes, at every start.
    void ShowFirstView();

    // --- View (zoom, pan, reset, redraw) -------------------------------------
    // Each ends by restarting the progressive rendering and, when "Always" is
    // checked, drawing the whole picture.
    void ZoomIn();  // from the Zoom Range texts and the Iteration text
    void ZoomOut(); // twice the Disp Range size around the Zoom Range centre
    void PanLeft();
    void PanRight();
    void PanUp();
    void PanDown();
    void Reset();                          // the design view
    void Redraw(bool drawIfAlways = true); // the Iteration limit, the same view
    // Zoom Range from the rectangle Fields().SizeableRectShape1 (after the
    // window copied the control's bounds there).
    void ZoomRectangleReleased();

    // --- History of the view ----------------------------------------------------
    // Every view change above (and the formula change and the Julia marker
    // drop below) that succeeds records the view it leads to. Undo and Redo
    // (Back and Forward) put a recorded view back: its fields, rectangle,
    // view and engine settings, then restart the picture as a view change
    // does (and draw it whole when "Always" is checked). false, changing
    // nothing, when there is no view to go to, or in image mode.
    bool UndoView();
    bool RedoView();
    bool CanUndoView() const { return !imageMode_ && history_.CanUndo(); }
    bool CanRedoView() const { return !imageMode_ && history_.CanRedo(); }
    // What a view change sets, as it stands now.
    ViewStep CurrentViewStep() const;

    // --- Formula, Julia constant, image mode ---------------------------------
    // The formula list's change: selects the formula, leaves image mode and
    // redraws. The Julia marker is shown exactly when JuliaMarkerVisible().
    // drawIfAlways false: the whole picture is left to a view change that
    // follows at once (Load Song), which would draw it all again anyway.
    void SelectFormula(int index, bool drawIfAlways = true);
    bool JuliaMarkerVisible() const { return fields_.ComboBox1Index == 1; }
    // The Julia marker dropped at overlay pixel (x, y): the constant becomes
    // the plane point there, then Redraw.
    void DropJuliaMarker(int x, int y);
    // The Julia constant without redrawing (song files).
    void SetJuliaConstant(double x, double y) { engine_.SetJuliaConstant(x, y); }
    double JuliaX() const { return engine_.GetJuliaX(); }
    double JuliaY() const { return engine_.GetJuliaY(); }

    // An imported picture replaces the fractal: the renderers stop touching
    // the picture and the line and Compose work on the image.
    void EnterImageMode(ImageView image);
    // Back to the fractal (no redraw; SelectFormula redraws).
    void LeaveImageMode();
    bool ImageMode() const { return imageMode_; }
    const ImageView& ImportedImage() const { return image_; }

    // --- Rendering ------------------------------------------------------------
    // The picture is computed on worker threads; the operations above only
    // restart it or ask for "Draw Now!", and AdvancePicture shows it.
    void RestartRendering() { renderer_.RestartRendering(); }
    // The window thread's turn: the workers are set on what the picture
    // lacks (afresh when the engine changed) and the blocks they finished
    // are copied into Image(). Returns true while work remains; never waits
    // for a count. In image mode it does nothing.
    bool AdvancePicture();
    // AdvancePicture until the picture is complete, waiting for the workers.
    void FinishPicture();
    // Stops the work in flight within a few milliseconds (closing); the next
    // AdvancePicture goes on from what is shown.
    void CancelPicture() { renderer_.Cancel(); }
    // Work remains for AdvancePicture.
    bool PictureBusy() const { return !imageMode_ && renderer_.Busy(); }
    // "Draw Now!": false when refused (image mode, or already asked or drawn
    // since the last restart); else the whole picture follows on the next
    // AdvancePicture calls.
    bool DrawNow();

    // --- Composition line ------------------------------------------------------
    // A press with the left button over the overlay (start = end = (x, y)).
    void PressPicture(int x, int y);
    // Returns true when the line end moved (the window redraws the line).
    bool DragOnPicture(int x, int y);
    // Any button released over the overlay: the Calc Start-End texts from the
    // stored start and the release point, then UpdateComposeEnabled.
    void ReleasePicture(int x, int y);
    // "Compose" enabled exactly when the Calc Start-End ends differ.
    void UpdateComposeEnabled();
    // The stored line in pixels of the design picture (240 a side), as song
    // files keep it: set scaled to the picture's size, read back to the
    // nearest design pixel.
    void SetLine(const LinePoints& line);
    LinePoints DesignLine() const;

    // Shift track bar moved: position (held within 0 .. 100) and its
    // percentage text.
    void SetXShift(int position);
    void SetYShift(int position);

    // "Compose" sampling with noteCount notes per part (at least 2) into
    // Series(); in fractal mode the engine's limit becomes the Iteration
    // value, in image mode 765. Every text is converted before the table is
    // touched.
    // With a progress, it is advanced per sample and its cancel flag stops
    // the sampling with WorkCancelled, leaving limit and Series() as they
    // were.
    void Compose(int noteCount, WorkProgress* progress = nullptr);

    // Compose in three steps, for running the sampling on a worker: Prepare
    // converts every text (raising as Compose does) and copies what the
    // sampling reads; Run touches nothing of the model (any thread); Commit
    // sets the limit and the table.
    struct ComposeJob {
        bool ImageMode = false;
        FractalIterator Engine; // the limit already set
        ImageView Image;
        LineEnds Ends;         // image mode: bitmap pixels; fractal mode: plane
        LinePoints Line;       // fractal mode: overlay pixels
        int PictureHeight = 0; // fractal mode
        double Dx = 0.0;
        double Dy = 0.0;
        int Method = 0;
        int NoteCount = 0;
    };
    ComposeJob PrepareCompose(int noteCount) const;
    static SeriesTable RunCompose(const ComposeJob& job, WorkProgress* progress = nullptr);
    void CommitCompose(const ComposeJob& job, SeriesTable series);
    // PrepareCompose for the line as it stands, also while it is being drawn:
    // in image mode its ends come from the line's pixels, as its release
    // would set the Calc Start-End texts, rather than from those texts.
    ComposeJob PrepareLineCompose(int noteCount) const;

    // --- Clipboard --------------------------------------------------------------
    // "Copy Series" enabled.
    bool CopySeriesEnabled() const { return !series_.Empty(); }
    // The "Copy Series" text of the first noteCount elements.
    std::string CopySeriesText(int noteCount) const;

private:
    enum class PanDirection { Left, Right, Up, Down };
    void ApplyZoom(const ExplorerFields& candidate, bool drawIfAlways = true);
    void Pan(PanDirection direction);
    void SetEngineWindow();
    void DrawIfAlways();
    void RecordView() { history_.Record(CurrentViewStep()); }
    void ApplyViewStep(const ViewStep& step);

    ExplorerFields fields_;
    ViewState view_;
    FractalIterator engine_;
    SeriesTable series_;
    LinePoints line_;
    bool drawingLine_ = false;
    bool imageMode_ = false;
    ImageView image_;
    Renderer renderer_;
    ViewHistory history_;
};

} // namespace sorvelin
