#pragma once
// Several points of the z^2 + c loop at once, for whole picture rows. Gives
// exactly the counts of the one-point loop: the same IEEE operations in the
// same order, only side by side.

namespace sorvelin {

struct QuadraticRowJob {
    // Start values and constants of count points; for the quadratic set the
    // start is 0 and the constant the point, for a Julia set the start is
    // the point and the constant fixed.
    const double* startX;
    const double* startY;
    const double* constX;
    const double* constY;
    int count;
    int limit;
    double radiusSq;
    int* counts;
};

// True when this processor runs the vector loop.
bool QuadraticRowVectorised();
// The vector loop; only call when QuadraticRowVectorised().
void QuadraticRowAvx(const QuadraticRowJob& job);

} // namespace sorvelin
