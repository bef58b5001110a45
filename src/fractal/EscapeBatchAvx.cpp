#include "fractal/EscapeBatch.h"

#include <immintrin.h>

#include <atomic>

namespace sorvelin {
namespace {

namespace avx2 {
#define SORVELIN_KERNEL_TARGET "avx2"
#include "fractal/EscapeBatchKernel.h"
#undef SORVELIN_KERNEL_TARGET
} // namespace avx2

// The same loop with AVX-512's thirty-two registers, where four groups of
// points and their running sums fit without spilling to memory, and its mask
// registers for the lanes still alive.
namespace avx512 {
#define SORVELIN_KERNEL_TARGET "avx2,avx512f,avx512vl"
#define SORVELIN_KERNEL_MASKS
#include "fractal/EscapeBatchKernel.h"
#undef SORVELIN_KERNEL_MASKS
#undef SORVELIN_KERNEL_TARGET
} // namespace avx512

} // namespace

bool EscapeBatchVectorised() {
    static const bool avx2 = __builtin_cpu_supports("avx2");
    return avx2;
}

bool EscapeBatchWide() {
    static const bool wide =
        __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl");
    return wide;
}

bool BatchFormula(int formula) {
    return formula >= 0 && formula <= 6 && formula != 4;
}

void EscapeBatchAvx(const EscapeBatchJob& job) {
    if (job.loop.wide) {
        avx512::RunPointsJob(job);
    } else {
        avx2::RunPointsJob(job);
    }
}

void EscapeLinesAvx(const EscapeLinesJob& job) {
    if (job.loop.wide) {
        avx512::RunLinesJob(job);
    } else {
        avx2::RunLinesJob(job);
    }
}

} // namespace sorvelin
