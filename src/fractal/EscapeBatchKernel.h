// The vector loop, compiled once for each instruction set that
// EscapeBatchAvx.cpp chooses from at run time: that file includes it inside a
// namespace of its own for each set, with SORVELIN_KERNEL_TARGET naming the
// set and SORVELIN_KERNEL_MASKS defined where the set has AVX-512's mask
// registers. Hence no include guard.
#define SORVELIN_KERNEL_INLINE __attribute__((target(SORVELIN_KERNEL_TARGET), always_inline)) inline

constexpr int Lanes = 4;
// Four groups of four points in flight: enough independent chains of
// multiplications and additions to keep the vector units busy, and one point
// of each of the sampler's sixteen lines.
constexpr int MostGroups = 4;
static_assert(MostGroups * Lanes == BatchLines, "one batch holds one point of every line");
// For its first steps a batch looks after every step whether all its points
// have escaped, since most points of a picture's outer parts escape within a
// few; after that only every few steps, as the surplus steps of escaped
// points cost less than the looks.
constexpr int EarlySteps = 8;
constexpr int LaterSteps = 4;

// The formula indexes of the list (White Noise, 4, has no loop).
enum Formula { Quadratic = 0, Julia = 1, Cubic = 2, Swapped = 3, Logistic = 5, Parabola = 6 };

// One step of formula F from (x, y), given xx = x * x and yy = y * y (the
// products the previous step's escape test formed, the very values the
// formula would form again), written operation for operation as the
// one-point loop forms it (products left to right), so every lane rounds
// exactly as that loop does.
template <int F>
SORVELIN_KERNEL_INLINE void Step(__m256d x, __m256d y, __m256d xx, __m256d yy, __m256d p, __m256d q,
                                 __m256d& nx, __m256d& ny) {
    if constexpr (F == Quadratic || F == Julia || F == Swapped) {
        const __m256d re = _mm256_add_pd(_mm256_sub_pd(xx, yy), p);
        const __m256d im =
            _mm256_add_pd(_mm256_mul_pd(_mm256_mul_pd(_mm256_set1_pd(2.0), x), y), q);
        nx = F == Swapped ? im : re;
        ny = F == Swapped ? re : im;
    } else if constexpr (F == Cubic) {
        const __m256d three = _mm256_set1_pd(3.0);
        const __m256d xxx = _mm256_mul_pd(xx, x);
        const __m256d txyy = _mm256_mul_pd(_mm256_mul_pd(_mm256_mul_pd(three, x), y), y);
        const __m256d txxy = _mm256_mul_pd(_mm256_mul_pd(_mm256_mul_pd(three, x), x), y);
        const __m256d yyy = _mm256_mul_pd(yy, y);
        nx = _mm256_sub_pd(_mm256_sub_pd(xxx, txyy), p);
        ny = _mm256_sub_pd(_mm256_sub_pd(txxy, yyy), q);
    } else if constexpr (F == Logistic) {
        const __m256d inner = _mm256_add_pd(_mm256_sub_pd(p, xx), yy);
        nx = _mm256_mul_pd(_mm256_set1_pd(3.85), inner);
        ny = _mm256_mul_pd(
            q, _mm256_sub_pd(_mm256_set1_pd(1.0), _mm256_mul_pd(_mm256_set1_pd(2.0), x)));
    } else {
        static_assert(F == Parabola);
        nx = _mm256_add_pd(_mm256_sub_pd(yy, xx), p);
        ny = _mm256_sub_pd(_mm256_mul_pd(_mm256_set1_pd(0.95), x), q);
    }
}

// The start values and the two constants of four points (a, b), as the
// one-point loop sets them up: the same single multiplications.
template <int F>
SORVELIN_KERNEL_INLINE void SetupLanes(const EscapeLoop& loop, __m256d a, __m256d b, __m256d& sx,
                                       __m256d& sy, __m256d& p, __m256d& q) {
    const bool fromZero = F == Quadratic || F == Cubic || F == Swapped;
    sx = fromZero ? _mm256_setzero_pd() : a;
    sy = fromZero ? _mm256_setzero_pd() : b;
    p = F == Julia      ? _mm256_set1_pd(loop.juliaX)
        : F == Parabola ? _mm256_mul_pd(_mm256_set1_pd(0.95), a)
                        : a;
    q = F == Julia      ? _mm256_set1_pd(loop.juliaY)
        : F == Logistic ? _mm256_mul_pd(_mm256_set1_pd(3.85), b)
                        : b;
}

// Which lanes of a group have not escaped. With AVX-512 a mask register:
// the escape test then clears a lane's bit by itself and the count adds one
// under the mask, one operation each fewer per step, and the look whether
// any lane is alive stays out of the vector units.
#ifdef SORVELIN_KERNEL_MASKS
using Alive = __mmask8;

SORVELIN_KERNEL_INLINE Alive AllAlive() {
    return 0xf;
}

// Ordered comparison, as the one-point loop's "modulus > radius": a lane
// stays alive while its modulus is not greater, which holds for a NaN.
SORVELIN_KERNEL_INLINE Alive StillAlive(Alive alive, __m256d modulus, __m256d radiusSq) {
    return _mm256_mask_cmp_pd_mask(alive, modulus, radiusSq, _CMP_NGT_UQ);
}

// The counts of a group: four 32-bit integers, as they are stored.
using Counts = __m128i;

SORVELIN_KERNEL_INLINE Counts NoCounts() {
    return _mm_setzero_si128();
}

SORVELIN_KERNEL_INLINE Counts CountAlive(Counts survived, Alive alive) {
    return _mm_mask_add_epi32(survived, alive, survived, _mm_set1_epi32(1));
}

SORVELIN_KERNEL_INLINE void StoreCounts(int* out, Counts survived) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), survived);
}

template <int Groups> SORVELIN_KERNEL_INLINE bool AnyAlive(const Alive* alive) {
    unsigned any = alive[0];
    for (int g = 1; g < Groups; ++g) {
        any |= alive[g];
    }
    return any != 0;
}
#else
using Alive = __m256d;

SORVELIN_KERNEL_INLINE Alive AllAlive() {
    return _mm256_castsi256_pd(_mm256_set1_epi64x(-1));
}

// Ordered comparison: a NaN modulus never escapes.
SORVELIN_KERNEL_INLINE Alive StillAlive(Alive alive, __m256d modulus, __m256d radiusSq) {
    return _mm256_andnot_pd(_mm256_cmp_pd(modulus, radiusSq, _CMP_GT_OQ), alive);
}

// The counts of a group: four 64-bit integers, beside the lanes' masks.
using Counts = __m256i;

SORVELIN_KERNEL_INLINE Counts NoCounts() {
    return _mm256_setzero_si256();
}

// An alive lane is all ones, minus one as an integer.
SORVELIN_KERNEL_INLINE Counts CountAlive(Counts survived, Alive alive) {
    return _mm256_sub_epi64(survived, _mm256_castpd_si256(alive));
}

// The low halves of the four 64-bit counts.
SORVELIN_KERNEL_INLINE void StoreCounts(int* out, Counts survived) {
    const __m256i low =
        _mm256_permutevar8x32_epi32(survived, _mm256_setr_epi32(0, 2, 4, 6, 0, 0, 0, 0));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm256_castsi256_si128(low));
}

template <int Groups> SORVELIN_KERNEL_INLINE bool AnyAlive(const Alive* alive) {
    __m256d any = alive[0];
    for (int g = 1; g < Groups; ++g) {
        any = _mm256_or_pd(any, alive[g]);
    }
    return _mm256_testz_pd(any, any) == 0;
}
#endif

// The counts of the points (a[g], b[g]), lane l of group g being
// point 4 g + l, into out[0 .. 4 Groups - 1]. A point's count is the number of steps
// it survived: every step adds one while it has not escaped, and a point
// that never escapes ends with the limit.
template <int F, int Groups = MostGroups>
SORVELIN_KERNEL_INLINE void EscapeGroups(const EscapeLoop& loop, const __m256d* a, const __m256d* b,
                                         int* out) {
    __m256d x[Groups], y[Groups], xx[Groups], yy[Groups], p[Groups], q[Groups];
    Alive alive[Groups];
    Counts survived[Groups];
    const __m256d radiusSq = _mm256_set1_pd(loop.radiusSq);
#pragma GCC unroll 4
    for (int g = 0; g < Groups; ++g) {
        SetupLanes<F>(loop, a[g], b[g], x[g], y[g], p[g], q[g]);
        xx[g] = _mm256_mul_pd(x[g], x[g]);
        yy[g] = _mm256_mul_pd(y[g], y[g]);
        alive[g] = AllAlive();
        survived[g] = NoCounts();
    }
    // One step of every group. An escaped point goes on iterating; its
    // values are unused.
    const auto step = [&]() __attribute__((target(SORVELIN_KERNEL_TARGET), always_inline)) {
#pragma GCC unroll 4
        for (int g = 0; g < Groups; ++g) {
            __m256d nx, ny;
            Step<F>(x[g], y[g], xx[g], yy[g], p[g], q[g], nx, ny);
            xx[g] = _mm256_mul_pd(nx, nx);
            yy[g] = _mm256_mul_pd(ny, ny);
            alive[g] = StillAlive(alive[g], _mm256_add_pd(xx[g], yy[g]), radiusSq);
            survived[g] = CountAlive(survived[g], alive[g]);
            x[g] = nx;
            y[g] = ny;
        }
    };
    // The first steps one by one, each with its look, written out in full
    // (far below the steps between two looks at the stop flag).
    const int early = loop.limit < EarlySteps ? loop.limit : EarlySteps;
    bool going = true;
#pragma GCC unroll 8
    for (int i = 0; i < early && going; ++i) {
        step();
        going = AnyAlive<Groups>(alive);
    }
    // base moves on to end, never past the limit, as in the one-point loop.
    for (int base = early, end = early; going && base < loop.limit; base = end) {
        if (loop.stop != nullptr && loop.stop->load(std::memory_order_relaxed)) {
            break;
        }
        end = loop.limit - base < StopCheckIterations ? loop.limit : base + StopCheckIterations;
        for (int i = base; i < end && going;) {
            const int steps = end - i < LaterSteps ? end - i : LaterSteps;
            for (int s = 0; s < steps; ++s) {
                step();
            }
            i += steps;
            going = AnyAlive<Groups>(alive);
        }
    }
#pragma GCC unroll 4
    for (int g = 0; g < Groups; ++g) {
        StoreCounts(out + g * Lanes, survived[g]);
    }
}

// Rows of a picture: neighbouring pixels differ more in their escape steps
// than the sampler's neighbouring parts do, and a batch runs as long as its
// slowest point. For the formulas whose pictures are mostly points that
// escape within a few steps, batches of eight waste less than four groups in
// flight gain (measured with "Draw Now!" on the start-up view): Julia's in
// both forms, and without mask registers, whose looks cost more, also those
// of formulas 3 and 5.
template <int F> constexpr int PointGroups() {
#ifdef SORVELIN_KERNEL_MASKS
    return F == Julia ? 2 : MostGroups;
#else
    return F == Julia || F == Swapped || F == Logistic ? 2 : MostGroups;
#endif
}

template <int F, int Groups>
__attribute__((target(SORVELIN_KERNEL_TARGET))) void RunPoints(const EscapeBatchJob& job) {
    constexpr int Points = Groups * Lanes;
    for (int first = 0; first < job.count; first += Points) {
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
        __m256d va[Groups], vb[Groups];
        for (int g = 0; g < Groups; ++g) {
            va[g] = _mm256_loadu_pd(a + g * Lanes);
            vb[g] = _mm256_loadu_pd(b + g * Lanes);
        }
        if (n == Points) {
            EscapeGroups<F, Groups>(job.loop, va, vb, job.counts + first);
        } else {
            int result[Points];
            EscapeGroups<F, Groups>(job.loop, va, vb, result);
            for (int l = 0; l < n; ++l) {
                job.counts[first + l] = result[l];
            }
        }
    }
}

// The points are formed in the lanes as they are needed: each line's point
// moves on by one addition of its step per index, as the sampler's do. The
// counts of sixteen indices are gathered here first and then written line by
// line, sixty-four bytes at a time: writing them one by one into sixteen
// lines of the table, which may be in the other core's cache, stalls the
// loop on every one.
template <int F>
__attribute__((target(SORVELIN_KERNEL_TARGET))) void RunLines(const EscapeLinesJob& job) {
    constexpr int Groups = MostGroups;
    constexpr int Block = 16;
    __m256d x[Groups], y[Groups], stepX[Groups], stepY[Groups];
    for (int g = 0; g < Groups; ++g) {
        x[g] = _mm256_loadu_pd(job.atX + g * Lanes);
        y[g] = _mm256_loadu_pd(job.atY + g * Lanes);
        stepX[g] = _mm256_loadu_pd(job.stepX + g * Lanes);
        stepY[g] = _mm256_loadu_pd(job.stepY + g * Lanes);
    }
    for (int first = 0; first < job.count; first += Block) {
        const int n = job.count - first < Block ? job.count - first : Block;
        alignas(32) int block[BatchLines][Block];
        for (int i = 0; i < n; ++i) {
            int result[BatchLines];
            EscapeGroups<F>(job.loop, x, y, result);
            for (int g = 0; g < Groups; ++g) {
                x[g] = _mm256_add_pd(x[g], stepX[g]);
                y[g] = _mm256_add_pd(y[g], stepY[g]);
            }
            for (int k = 0; k < BatchLines; ++k) {
                block[k][i] = result[k];
            }
        }
        for (int k = 0; k < BatchLines; ++k) {
            int* row = job.counts + k * job.stride + first;
            if (n == Block) {
                const auto* from = reinterpret_cast<const __m256i*>(block[k]);
                _mm256_storeu_si256(reinterpret_cast<__m256i*>(row), _mm256_load_si256(from));
                _mm256_storeu_si256(reinterpret_cast<__m256i*>(row + 8),
                                    _mm256_load_si256(from + 1));
            } else {
                for (int i = 0; i < n; ++i) {
                    row[i] = block[k][i];
                }
            }
        }
    }
    for (int g = 0; g < Groups; ++g) {
        _mm256_storeu_pd(job.atX + g * Lanes, x[g]);
        _mm256_storeu_pd(job.atY + g * Lanes, y[g]);
    }
}

template <template <int> class Run, typename Job> void Dispatch(const Job& job) {
    switch (job.loop.formula) {
    case Quadratic:
        return Run<Quadratic>::Go(job);
    case Julia:
        return Run<Julia>::Go(job);
    case Cubic:
        return Run<Cubic>::Go(job);
    case Swapped:
        return Run<Swapped>::Go(job);
    case Logistic:
        return Run<Logistic>::Go(job);
    case Parabola:
        return Run<Parabola>::Go(job);
    default:
        return;
    }
}

template <int F> struct PointsOf {
    static void Go(const EscapeBatchJob& job) { RunPoints<F, PointGroups<F>()>(job); }
};
template <int F> struct LinesOf {
    static void Go(const EscapeLinesJob& job) { RunLines<F>(job); }
};

inline void RunPointsJob(const EscapeBatchJob& job) {
    Dispatch<PointsOf>(job);
}

inline void RunLinesJob(const EscapeLinesJob& job) {
    Dispatch<LinesOf>(job);
}

#undef SORVELIN_KERNEL_INLINE
