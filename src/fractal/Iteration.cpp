#include "fractal/Iteration.h"

#include "fractal/EscapeBatch.h"
#include "fractal/Random.h"

namespace sorvelin {

const std::array<const char*, FormulaCount> FormulaLabels = {
    "z1=z0^2-c",         "Julia Set",
    "z1=z0^3-c",         "z1=z0^2+c;invert Real<->Imag",
    "White Noise",       "Logistic(lambda=0.85)",
    "z1=z0(a-z0),a=0.95"};

namespace {

// The shared escape-time loop. Step computes the next iterate from (x, y);
// the point escapes when the new iterate's squared modulus is strictly
// greater than the threshold (a NaN modulus never compares greater, so such
// a point runs to the limit). The start value itself is never tested.
template <typename Step> int Escape(const FractalIterator& engine, double x, double y, Step step) {
    const int limit = engine.GetLimit();
    const double radiusSq = engine.GetEscapeRadiusSq();
    const std::atomic<bool>* stop = engine.StopFlag();
    // base moves on to end, never past the limit: a limit near the largest
    // int must not overflow it.
    for (int base = 0, end = 0; base < limit; base = end) {
        if (stop != nullptr && stop->load(std::memory_order_relaxed)) {
            return limit;
        }
        end = limit - base < StopCheckIterations ? limit : base + StopCheckIterations;
        for (int i = base; i < end; ++i) {
            double nx;
            double ny;
            step(x, y, nx, ny);
            if (nx * nx + ny * ny > radiusSq) {
                return i;
            }
            x = nx;
            y = ny;
        }
    }
    return limit;
}

// z^2 + c, although the list calls it "z1=z0^2-c".
int Quadratic(const FractalIterator& e, double a, double b) {
    return Escape(e, 0.0, 0.0, [a, b](double x, double y, double& nx, double& ny) {
        nx = x * x - y * y + a;
        ny = 2.0 * x * y + b;
    });
}

int Julia(const FractalIterator& e, double a, double b) {
    const double cx = e.GetJuliaX();
    const double cy = e.GetJuliaY();
    return Escape(e, a, b, [cx, cy](double x, double y, double& nx, double& ny) {
        nx = x * x - y * y + cx;
        ny = 2.0 * x * y + cy;
    });
}

// z^3 - c, products formed left to right.
int Cubic(const FractalIterator& e, double a, double b) {
    return Escape(e, 0.0, 0.0, [a, b](double x, double y, double& nx, double& ny) {
        nx = x * x * x - 3.0 * x * y * y - a;
        ny = 3.0 * x * x * y - y * y * y - b;
    });
}

// z^2 + c with real and imaginary parts swapped after every step; the swap
// leaves the modulus alone, so the test on the unswapped values is the same.
int Swapped(const FractalIterator& e, double a, double b) {
    return Escape(e, 0.0, 0.0, [a, b](double x, double y, double& nx, double& ny) {
        const double t = x * x - y * y + a;
        const double u = 2.0 * x * y + b;
        nx = u;
        ny = t;
    });
}

int WhiteNoise(const FractalIterator& e, double, double) {
    return NextRandom31() % e.GetLimit();
}

// The logistic map with factor 3.85; its linear terms use the point itself.
int Logistic(const FractalIterator& e, double a, double b) {
    const double scaledB = 3.85 * b;
    return Escape(e, a, b, [a, scaledB](double x, double y, double& nx, double& ny) {
        nx = 3.85 * (a - x * x + y * y);
        ny = scaledB * (1.0 - 2.0 * x);
    });
}

// z(a - z) with a = 0.95; the linear terms use the point itself.
int Parabola(const FractalIterator& e, double a, double b) {
    const double scaledA = 0.95 * a;
    return Escape(e, a, b, [scaledA, b](double x, double y, double& nx, double& ny) {
        nx = y * y - x * x + scaledA;
        ny = 0.95 * x - b;
    });
}

constexpr std::array<FractalFormula, FormulaCount> Formulas = {
    Quadratic, Julia, Cubic, Swapped, WhiteNoise, Logistic, Parabola};

} // namespace

FractalIterator::FractalIterator() : Formula(Formulas[0]) {
    SeedRandomFromClock();
}

void FractalIterator::SetViewSize(int width, int height) {
    ViewWidth = static_cast<double>(width);
    ViewHeight = static_cast<double>(height);
}

void FractalIterator::SetWindow(double originX, double originY, double extentX, double extentY) {
    OriginX = originX;
    OriginY = originY;
    ExtentX = extentX;
    ExtentY = extentY;
}

void FractalIterator::SetLimit(int value) {
    if (value > 0) {
        Limit = value;
    }
}

void FractalIterator::SelectFormula(int index) {
    if (index >= 0 && index < FormulaCount) {
        Formula = Formulas[static_cast<std::size_t>(index)];
        formulaIndex_ = index;
    }
}

void FractalIterator::SetJuliaConstant(double x, double y) {
    JuliaX = x;
    JuliaY = y;
}

void FractalIterator::PixelToPlane(int px, int py, double& x, double& y) const {
    x = (px * ExtentX) / ViewWidth + OriginX;
    y = (py * ExtentY) / ViewHeight + OriginY;
}

int FractalIterator::EvaluatePixel(int px, int py) const {
    double x;
    double y;
    PixelToPlane(px, py, x, y);
    return Formula(*this, x, y);
}

void FractalIterator::EvaluateRow(int py, int px0, int count, int* counts, int stride) const {
    // Points go to the batch loop in chunks held on the stack.
    constexpr int Chunk = 64;
    double pointX[Chunk];
    double pointY[Chunk];
    for (int first = 0; first < count; first += Chunk) {
        const int n = count - first < Chunk ? count - first : Chunk;
        for (int i = 0; i < n; ++i) {
            PixelToPlane(px0 + (first + i) * stride, py, pointX[i], pointY[i]);
        }
        EvaluatePoints(pointX, pointY, n, counts + first);
    }
}

EscapeLoop FractalIterator::LoopOf() const {
    return {formulaIndex_,
            Limit,
            EscapeRadiusSq,
            JuliaX,
            JuliaY,
            stop_,
            !narrowOnly_ && EscapeBatchWide()};
}

bool FractalIterator::RunsVectorLoop() const {
    return !onePointOnly_ && BatchFormula(formulaIndex_) && EscapeBatchVectorised();
}

void FractalIterator::EvaluatePoints(const double* x, const double* y, int count,
                                     int* counts) const {
    if (!RunsVectorLoop()) {
        for (int i = 0; i < count; ++i) {
            counts[i] = Formula(*this, x[i], y[i]);
        }
        return;
    }
    EscapeBatchAvx({LoopOf(), x, y, count, counts});
}

void FractalIterator::EvaluateLines(double* atX, double* atY, const double* stepX,
                                    const double* stepY, int count, int* counts,
                                    std::ptrdiff_t stride) const {
    if (!RunsVectorLoop()) {
        for (int k = 0; k < BatchLines; ++k) {
            double x = atX[k];
            double y = atY[k];
            for (int i = 0; i < count; ++i) {
                counts[k * stride + i] = Formula(*this, x, y);
                x += stepX[k];
                y += stepY[k];
            }
            atX[k] = x;
            atY[k] = y;
        }
        return;
    }
    EscapeLinesAvx({LoopOf(), atX, atY, stepX, stepY, count, counts, stride});
}

} // namespace sorvelin
