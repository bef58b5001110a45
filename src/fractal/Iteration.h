#pragma once
// The escape-time engine: turns a point of the picture into the number of
// steps the selected formula needs to leave the circle of radius 2.
#include <array>
#include <atomic>
#include <cstddef>

namespace sorvelin {

class FractalIterator;
struct EscapeLoop;

// One formula: runs the whole escape-time loop at the plane point (a, b).
using FractalFormula = int (*)(const FractalIterator& engine, double a, double b);

inline constexpr int FormulaCount = 7;
// "White Noise": a draw from the process-wide generator, not a loop.
inline constexpr int WhiteNoiseFormula = 4;

// The labels of the formula list, in list order (index = formula index).
extern const std::array<const char*, FormulaCount> FormulaLabels;

class FractalIterator {
public:
    // Seeds the process-wide generator behind "White Noise" from the clock.
    FractalIterator();

    void SetViewSize(int width, int height);
    // Callers pass origin = centre - extent / 2.
    void SetWindow(double originX, double originY, double extentX, double extentY);
    // A value of 0 or less is ignored: the limit is always greater than 0.
    void SetLimit(int value);
    int GetLimit() const { return Limit; }
    // An index outside 0 .. FormulaCount - 1 keeps the current formula.
    void SelectFormula(int index);
    int FormulaIndex() const { return formulaIndex_; }
    void SetJuliaConstant(double x, double y);

    // py counts plane rows upward from the bottom of the picture.
    void PixelToPlane(int px, int py, double& x, double& y) const;
    int Evaluate(double a, double b) const { return Formula(*this, a, b); }
    int EvaluatePixel(int px, int py) const;
    // EvaluatePixel(px0 + i * stride, py) into counts[i] for i = 0 .. count
    // - 1: the same values as the single calls, several points at once where
    // the processor allows.
    void EvaluateRow(int py, int px0, int count, int* counts, int stride = 1) const;
    // Evaluate(x[i], y[i]) into counts[i] for i = 0 .. count - 1, several
    // points at once where the processor allows.
    void EvaluatePoints(const double* x, const double* y, int count, int* counts) const;
    // Sixteen lines at once: line k's point of index i is (atX[k], atY[k])
    // with (stepX[k], stepY[k]) added i times, one addition after the other;
    // its count goes to counts[k * stride + i], for i = 0 .. count - 1. On
    // return (atX[k], atY[k]) is the point of index count, so that a next
    // call carries on along the lines.
    void EvaluateLines(double* atX, double* atY, const double* stepX, const double* stepY,
                       int count, int* counts, std::ptrdiff_t stride) const;
    // Only the one-point loop (the reference the vector loop is measured and
    // tested against).
    void SetOnePointOnly(bool onePoint) { onePointOnly_ = onePoint; }
    // The vector loop in its AVX2 form even where AVX-512 is there, so that
    // tests on such a processor reach both forms.
    void SetNarrowVectorOnly(bool narrow) { narrowOnly_ = narrow; }

    // While *stop is true every loop ends early and its counts are
    // meaningless: long work can be abandoned within a millisecond. The flag
    // must outlive the engine's use of it; nullptr (the default) never stops.
    void SetStopFlag(const std::atomic<bool>* stop) { stop_ = stop; }
    const std::atomic<bool>* StopFlag() const { return stop_; }

    // Read by the formulas at call time.
    double GetViewWidth() const { return ViewWidth; }
    double GetViewHeight() const { return ViewHeight; }
    double GetOriginX() const { return OriginX; }
    double GetOriginY() const { return OriginY; }
    double GetExtentX() const { return ExtentX; }
    double GetExtentY() const { return ExtentY; }
    double GetEscapeRadiusSq() const { return EscapeRadiusSq; }
    double GetJuliaX() const { return JuliaX; }
    double GetJuliaY() const { return JuliaY; }

private:
    bool RunsVectorLoop() const;
    EscapeLoop LoopOf() const;

    FractalFormula Formula;
    double ViewWidth = 100.0;
    double ViewHeight = 100.0;
    double OriginX = 0.0;
    double OriginY = 0.0;
    double ExtentX = 0.0;
    double ExtentY = 0.0;
    int Limit = 256;
    double EscapeRadiusSq = 4.0;
    double JuliaX = 0.456;
    double JuliaY = -0.1456;
    int formulaIndex_ = 0;
    bool onePointOnly_ = false;
    bool narrowOnly_ = false;
    const std::atomic<bool>* stop_ = nullptr;
};

} // namespace sorvelin
