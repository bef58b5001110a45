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

    // The fractal picture: PictureWidth x PictureHeight pixels, 0x00RRGGBB,
    // rows top to bottom (QImage Format_RGB32 layout); the buffer's address
    // changes only when SetPictureSize changes the size.
    const Picture& Image() const { return renderer_.Image(); }
    const Renderer& Rendering() const { return renderer_; }

    // --- Start-up -----------------------------------------------------------
    // Show time: the engine's view size and the picture size in pixels (the
    // model starts at 240 x 240). The window then calls ShowFirstView().
    void SetPictureSize(int width, int height);
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
    void RestartRendering() { renderer_.RestartRendering(); }
    // One block of the progressive renderer; returns Done.
    bool IdleRender();
    // As many blocks as fit in the budget; returns true while work remains.
    // Give it the whole idle-time budget in one call: after a first small
    // batch it sizes its batches to the time left and shares them among the
    // cores, while a tiny budget draws one small batch on one thread.
    bool RenderFor(std::chrono::microseconds budget);
    // "Draw Now!": false when refused (image mode, or already drawn since the
    // last restart).
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
    // Sets the stored line (song files).
    void SetLine(const LinePoints& line) { line_ = line; }

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
        LineEnds Ends;         // image mode: bitmap pixels
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

    ExplorerFields fields_;
    ViewState view_;
    FractalIterator engine_;
    SeriesTable series_;
    LinePoints line_;
    bool drawingLine_ = false;
    bool imageMode_ = false;
    ImageView image_;
    Renderer renderer_;
};

} // namespace sorvelin
