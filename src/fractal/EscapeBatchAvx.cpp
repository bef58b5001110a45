#include "fractal/EscapeBatch.h"

#include <immintrin.h>

namespace sorvelin {
namespace {

constexpr int Lanes = 4;
// Two groups of four points in flight hide the latency of each step's chain
// of multiplications and additions.
constexpr int Points = 2 * Lanes;

// The formula indexes of the list (White Noise, 4, has no loop).
enum Formula { Quadratic = 0, Julia = 1, Cubic = 2, Swapped = 3, Logistic = 5, Parabola = 6 };

// One step of formula F from (x, y) with the per-point constants (p, q),
// written operation for operation as the one-point loop forms it (products
// left to right), so every lane rounds exactly as that loop does.
template <int F>
__attribute__((target("avx"), always_inline)) inline void
Step(__m256d x, __m256d y, __m256d p, __m256d q, __m256d& nx, __m256d& ny) {
    if constexpr (F == Quadratic || F == Julia || F == Swapped) {
        const __m256d re =
            _mm256_add_pd(_mm256_sub_pd(_mm256_mul_pd(x, x), _mm256_mul_pd(y, y)), p);
        const __m256d im =
            _mm256_add_pd(_mm256_mul_pd(_mm256_mul_pd(_mm256_set1_pd(2.0), x), y), q);
        nx = F == Swapped ? im : re;
        ny = F == Swapped ? re : im;
    } else if constexpr (F == Cubic) {
        const __m256d three = _mm256_set1_pd(3.0);
        const __m256d xxx = _mm256_mul_pd(_mm256_mul_pd(x, x), x);
        const __m256d txyy = _mm256_mul_pd(_mm256_mul_pd(_mm256_mul_pd(three, x), y), y);
        const __m256d txxy = _mm256_mul_pd(_mm256_mul_pd(_mm256_mul_pd(three, x), x), y);
        const __m256d yyy = _mm256_mul_pd(_mm256_mul_pd(y, y), y);
        nx = _mm256_sub_pd(_mm256_sub_pd(xxx, txyy), p);
        ny = _mm256_sub_pd(_mm256_sub_pd(txxy, yyy), q);
    } else if constexpr (F == Logistic) {
        const __m256d inner =
            _mm256_add_pd(_mm256_sub_pd(p, _mm256_mul_pd(x, x)), _mm256_mul_pd(y, y));
        nx = _mm256_mul_pd(_mm256_set1_pd(3.85), inner);
        ny = _mm256_mul_pd(
            q, _mm256_sub_pd(_mm256_set1_pd(1.0), _mm256_mul_pd(_mm256_set1_pd(2.0), x)));
    } else {
        static_assert(F == Parabola);
        nx = _mm256_add_pd(_mm256_sub_pd(_mm256_mul_pd(y, y), _mm256_mul_pd(x, x)), p);
        ny = _mm256_sub_pd(_mm256_mul_pd(_mm256_set1_pd(0.95), x), q);
    }
}

// The start values and the two constants of four points (a, b), as the
// one-point loop sets them up: the same single multiplications.
template <int F>
__attribute__((target("avx"), always_inline)) inline void
SetupLanes(const EscapeBatchJob& job, __m256d a, __m256d b, __m256d& sx, __m256d& sy, __m256d& p,
           __m256d& q) {
    const bool fromZero = F == Quadratic || F == Cubic || F == Swapped;
    sx = fromZero ? _mm256_setzero_pd() : a;
    sy = fromZero ? _mm256_setzero_pd() : b;
    p = F == Julia      ? _mm256_set1_pd(job.juliaX)
        : F == Parabola ? _mm256_mul_pd(_mm256_set1_pd(0.95), a)
                        : a;
    q = F == Julia      ? _mm256_set1_pd(job.juliaY)
        : F == Logistic ? _mm256_mul_pd(_mm256_set1_pd(3.85), b)
                        : b;
}

template <int F>
__attribute__((target("avx"))) void RunGroup(const EscapeBatchJob& job, int first) {
    const int n = job.count - first < Points ? job.count - first : Points;
    const double* a = job.pointX + first;
    const double* b = job.pointY + first;
    double padA[Points];
    double padB[Points];
    if (n < Points) {
        // Lanes past the end repeat the last point; their counts are dropped.
        for (int l = 0; l < Points; ++l) {
            padA[l] = a[l < n ? l : n - 1];
            padB[l] = b[l < n ? l : n - 1];
        }
        a = padA;
        b = padB;
    }
    __m256d x0, y0, p0, q0, x1, y1, p1, q1;
    SetupLanes<F>(job, _mm256_loadu_pd(a), _mm256_loadu_pd(b), x0, y0, p0, q0);
    SetupLanes<F>(job, _mm256_loadu_pd(a + Lanes), _mm256_loadu_pd(b + Lanes), x1, y1, p1, q1);
    const __m256d radiusSq = _mm256_set1_pd(job.radiusSq);

    int result[Points];
    for (int& r : result) {
        r = job.limit;
    }
    int running = (1 << Points) - 1;
    for (int base = 0; base < job.limit && running != 0; base += StopCheckIterations) {
        if (job.stop != nullptr && job.stop->load(std::memory_order_relaxed)) {
            break;
        }
        const int end =
            job.limit - base < StopCheckIterations ? job.limit : base + StopCheckIterations;
        for (int i = base; i < end && running != 0; ++i) {
            __m256d nx0, ny0, nx1, ny1;
            Step<F>(x0, y0, p0, q0, nx0, ny0);
            Step<F>(x1, y1, p1, q1, nx1, ny1);
            const __m256d m0 = _mm256_add_pd(_mm256_mul_pd(nx0, nx0), _mm256_mul_pd(ny0, ny0));
            const __m256d m1 = _mm256_add_pd(_mm256_mul_pd(nx1, nx1), _mm256_mul_pd(ny1, ny1));
            // Ordered comparison: a NaN modulus never escapes.
            const int out = _mm256_movemask_pd(_mm256_cmp_pd(m0, radiusSq, _CMP_GT_OQ)) |
                            (_mm256_movemask_pd(_mm256_cmp_pd(m1, radiusSq, _CMP_GT_OQ)) << Lanes);
            const int escaped = out & running;
            if (escaped != 0) {
                for (int e = escaped; e != 0; e &= e - 1) {
                    result[__builtin_ctz(static_cast<unsigned>(e))] = i;
                }
                running &= ~escaped;
            }
            // Escaped lanes go on iterating; their values are no longer used.
            x0 = nx0;
            y0 = ny0;
            x1 = nx1;
            y1 = ny1;
        }
    }
    for (int l = 0; l < n; ++l) {
        job.counts[first + l] = result[l];
    }
}

template <int F> void RunAll(const EscapeBatchJob& job) {
    for (int first = 0; first < job.count; first += Points) {
        RunGroup<F>(job, first);
    }
}

} // namespace

bool EscapeBatchVectorised() {
    static const bool avx = __builtin_cpu_supports("avx");
    return avx;
}

bool BatchFormula(int formula) {
    return formula >= Quadratic && formula <= Parabola && formula != 4;
}

void EscapeBatchAvx(const EscapeBatchJob& job) {
    switch (job.formula) {
    case Quadratic:
        return RunAll<Quadratic>(job);
    case Julia:
        return RunAll<Julia>(job);
    case Cubic:
        return RunAll<Cubic>(job);
    case Swapped:
        return RunAll<Swapped>(job);
    case Logistic:
        return RunAll<Logistic>(job);
    case Parabola:
        return RunAll<Parabola>(job);
    default:
        return;
    }
}

} // namespace sorvelin
