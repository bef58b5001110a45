#pragma once
// The explorer window's field texts and control values, named after the
// controls that show them, with their start-up values. The window copies
// these to and from its controls; the model reads and writes only these.
#include <string>

namespace sorvelin {

// Bounds of the zoom rectangle in picture pixels (top-left origin).
struct RectBounds {
    int Left = 0;
    int Top = 0;
    int Width = 0;
    int Height = 0;
    friend bool operator==(const RectBounds&, const RectBounds&) = default;
};

struct ExplorerFields {
    // "Zoom Range": the view the next Zoom In applies.
    std::string MouseX = "-0.6";
    std::string MouseY = "0.0";
    std::string RectWidth = "2.4";
    std::string RectHeight = "2.4";
    // "Disp Range": the view on screen.
    std::string posX = "0.0";
    std::string posY = "0.0";
    std::string RangeX = "2.0";
    std::string RangeY = "2.0";
    // "Calc Start-End": the composition line's ends (plane coordinates, or
    // bitmap pixels in image mode).
    std::string StartX = "0.0";
    std::string StartY = "0.0";
    std::string EndX = "0.0";
    std::string EndY = "0.0";
    // Iteration limit text.
    std::string Iteration = "200";

    // Selected formula of ComboBox1 (index into FormulaLabels).
    int ComboBox1Index = 0;
    // "Polyphonic Method": 0 "Parallel", 1 "Radiational(Fixd Start)",
    // 2 "Convergence(Fixd End)".
    int PolyphonicMethodIndex = 0;
    // Shift track bars "dX" and "dY" (0 .. 100) and their percentage texts.
    int XShiftTrackBar1Position = 1;
    int YShiftTrackBar2Position = 1;
    std::string XShiftEdit1 = "0.01%";
    std::string YShiftEdit1 = "0.01%";
    // "Always": render the whole picture after every view change.
    bool AlwaysChecked = false;
    // Enabled state of "Compose".
    bool ComposeEnabled = false;

    // The zoom rectangle SizeableRectShape1.
    RectBounds SizeableRectShape1{90, 90, 60, 60};
};

// The texts that Reset puts back into the Zoom Range.
inline constexpr const char* DesignMouseX = "-0.6";
inline constexpr const char* DesignMouseY = "0.0";
inline constexpr const char* DesignRectWidth = "2.4";
inline constexpr const char* DesignRectHeight = "2.4";

// Captions of the number fields (their accessible names); a conversion error
// about a field begins with its caption.
inline constexpr const char* ZoomRangeXCaption = "Zoom Range X";
inline constexpr const char* ZoomRangeYCaption = "Zoom Range Y";
inline constexpr const char* ZoomRangeWidthCaption = "Zoom Range Width";
inline constexpr const char* ZoomRangeHeightCaption = "Zoom Range Height";
inline constexpr const char* DispRangeXCaption = "Disp Range X";
inline constexpr const char* DispRangeYCaption = "Disp Range Y";
inline constexpr const char* DispRangeWidthCaption = "Disp Range Width";
inline constexpr const char* DispRangeHeightCaption = "Disp Range Height";
inline constexpr const char* CalcStartXCaption = "Calc Start X";
inline constexpr const char* CalcStartYCaption = "Calc Start Y";
inline constexpr const char* CalcEndXCaption = "Calc End X";
inline constexpr const char* CalcEndYCaption = "Calc End Y";
inline constexpr const char* IterationCaption = "Iteration";

// Range and step of the shift track bars.
inline constexpr int ShiftTrackBarMax = 100;

} // namespace sorvelin
