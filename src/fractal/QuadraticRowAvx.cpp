#include "fractal/QuadraticRow.h"

#include <immintrin.h>

namespace sorvelin {
namespace {

constexpr int Lanes = 4;
// Two groups of four points in flight hide the latency of each step's chain
// of multiplications and additions.
constexpr int Points = 2 * Lanes;

// Plain AVX: multiplications and additions only, never fused, so every lane
// rounds exactly as the one-point loop does.
__attribute__((target("avx"))) void RunGroup(const QuadraticRowJob& job, int first) {
    alignas(32) double sx[Points];
    alignas(32) double sy[Points];
    alignas(32) double cx[Points];
    alignas(32) double cy[Points];
    const int n = job.count - first < Points ? job.count - first : Points;
    for (int l = 0; l < Points; ++l) {
        // Lanes past the end repeat the last point; their counts are dropped.
        const int p = first + (l < n ? l : n - 1);
        sx[l] = job.startX[p];
        sy[l] = job.startY[p];
        cx[l] = job.constX[p];
        cy[l] = job.constY[p];
    }
    __m256d x0 = _mm256_load_pd(sx);
    __m256d y0 = _mm256_load_pd(sy);
    __m256d x1 = _mm256_load_pd(sx + Lanes);
    __m256d y1 = _mm256_load_pd(sy + Lanes);
    const __m256d cx0 = _mm256_load_pd(cx);
    const __m256d cy0 = _mm256_load_pd(cy);
    const __m256d cx1 = _mm256_load_pd(cx + Lanes);
    const __m256d cy1 = _mm256_load_pd(cy + Lanes);
    const __m256d two = _mm256_set1_pd(2.0);
    const __m256d radiusSq = _mm256_set1_pd(job.radiusSq);

    int result[Points];
    for (int& r : result) {
        r = job.limit;
    }
    int running = (1 << Points) - 1;
    for (int i = 0; i < job.limit && running != 0; ++i) {
        const __m256d nx0 =
            _mm256_add_pd(_mm256_sub_pd(_mm256_mul_pd(x0, x0), _mm256_mul_pd(y0, y0)), cx0);
        const __m256d ny0 = _mm256_add_pd(_mm256_mul_pd(_mm256_mul_pd(two, x0), y0), cy0);
        const __m256d nx1 =
            _mm256_add_pd(_mm256_sub_pd(_mm256_mul_pd(x1, x1), _mm256_mul_pd(y1, y1)), cx1);
        const __m256d ny1 = _mm256_add_pd(_mm256_mul_pd(_mm256_mul_pd(two, x1), y1), cy1);
        const __m256d m0 = _mm256_add_pd(_mm256_mul_pd(nx0, nx0), _mm256_mul_pd(ny0, ny0));
        const __m256d m1 = _mm256_add_pd(_mm256_mul_pd(nx1, nx1), _mm256_mul_pd(ny1, ny1));
        // Ordered comparison: a NaN modulus never escapes.
        const int out = _mm256_movemask_pd(_mm256_cmp_pd(m0, radiusSq, _CMP_GT_OQ)) |
                        (_mm256_movemask_pd(_mm256_cmp_pd(m1, radiusSq, _CMP_GT_OQ)) << Lanes);
        const int escaped = out & running;
        if (escaped != 0) {
            for (int l = 0; l < Points; ++l) {
                if (escaped & (1 << l)) {
                    result[l] = i;
                }
            }
            running &= ~escaped;
        }
        // Escaped lanes go on iterating; their values are no longer used.
        x0 = nx0;
        y0 = ny0;
        x1 = nx1;
        y1 = ny1;
    }
    for (int l = 0; l < n; ++l) {
        job.counts[first + l] = result[l];
    }
}

} // namespace

bool QuadraticRowVectorised() {
    static const bool avx = __builtin_cpu_supports("avx");
    return avx;
}

void QuadraticRowAvx(const QuadraticRowJob& job) {
    for (int first = 0; first < job.count; first += Points) {
        RunGroup(job, first);
    }
}

} // namespace sorvelin
