#pragma once
// Several points of one formula's escape-time loop at once. Gives exactly the
// counts of the one-point loop: the same IEEE operations in the same order
// (multiplications and additions, never fused), only side by side.
#include <atomic>

namespace sorvelin {

// The iterations between two looks at a stop flag: rare enough to cost
// nothing, frequent enough that a stop is seen within a millisecond.
inline constexpr int StopCheckIterations = 1 << 16;

struct EscapeBatchJob {
    int formula; // one of the formulas that BatchFormula() accepts
    const double* pointX;
    const double* pointY;
    int count;
    int limit;
    double radiusSq;
    double juliaX;
    double juliaY;
    // When set and true, the loop stops early; the counts are then meaningless.
    const std::atomic<bool>* stop;
    int* counts;
};

// True when this processor runs the vector loop.
bool EscapeBatchVectorised();
// True for the formulas the vector loop knows (all but White Noise).
bool BatchFormula(int formula);
// The vector loop; only call when EscapeBatchVectorised() and
// BatchFormula(job.formula).
void EscapeBatchAvx(const EscapeBatchJob& job);

} // namespace sorvelin
