#pragma once
// Several points of one formula's escape-time loop at once. Gives exactly the
// counts of the one-point loop: the same IEEE operations in the same order
// (multiplications and additions, never fused), only side by side.
#include <atomic>
#include <cstddef>

namespace sorvelin {

// The iterations between two looks at a stop flag: rare enough to cost
// nothing, frequent enough that a stop is seen within a millisecond.
inline constexpr int StopCheckIterations = 1 << 16;

// The lines that EscapeLinesAvx walks side by side: the sampler's sixteen parts.
inline constexpr int BatchLines = 16;

// What every point of one job shares.
struct EscapeLoop {
    int formula; // one of the formulas that BatchFormula() accepts
    int limit;
    double radiusSq;
    double juliaX;
    double juliaY;
    // When set and true, the loop stops early; the counts are then meaningless.
    const std::atomic<bool>* stop;
    // AVX-512's registers; only where EscapeBatchWide().
    bool wide;
};

struct EscapeBatchJob {
    EscapeLoop loop;
    const double* pointX;
    const double* pointY;
    int count;
    int* counts;
};

// BatchLines lines: line k's point of index i is (atX[k], atY[k]) with
// (stepX[k], stepY[k]) added i times, one addition after the other, as the
// sampler walks a line. Its count goes to counts[k * stride + i]. The job
// leaves (atX[k], atY[k]) at the point of index count.
struct EscapeLinesJob {
    EscapeLoop loop;
    double* atX;
    double* atY;
    const double* stepX;
    const double* stepY;
    int count; // indices along every line
    int* counts;
    std::ptrdiff_t stride;
};

// True when this processor runs the vector loop.
bool EscapeBatchVectorised();
// True when this processor has AVX-512 (with 256-bit forms) for the loop.
bool EscapeBatchWide();
// True for the formulas the vector loop knows (all but White Noise).
bool BatchFormula(int formula);
// The vector loop; only call when EscapeBatchVectorised() and
// BatchFormula(job.loop.formula).
void EscapeBatchAvx(const EscapeBatchJob& job);
void EscapeLinesAvx(const EscapeLinesJob& job);

} // namespace sorvelin
