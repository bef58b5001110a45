// The score picture as ReDraw draws it: all sixteen parts used, note lines
// and series lines, at 200, 2,000 and 20,000 notes per part. Above 409
// values only every s-th value is looked at, so the cost should level off
// instead of growing tenfold. The baseline, in the same run, clears the
// picture and sets one pixel per looked-at value and part: the least work
// any drawing of these values must do.
#include "compose/ComposeModel.h"
#include "ui/compose/ScoreDraw.h"

#include <QImage>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

namespace sorvelin {
namespace {

constexpr int Limit = 200;

double NowMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

std::vector<std::int32_t> MakeSeries(int perPart) {
    std::vector<std::int32_t> series(static_cast<std::size_t>(16 * perPart));
    std::uint32_t state = 12345;
    for (auto& v : series) {
        state = state * 1664525u + 1013904223u;
        v = static_cast<std::int32_t>((state >> 8) % (Limit + 1));
    }
    return series;
}

template <class F> double BestMs(F&& run) {
    double best = 1e300;
    for (int i = 0; i < 7; ++i) {
        const double start = NowMs();
        run();
        best = std::min(best, NowMs() - start);
    }
    return best;
}

} // namespace
} // namespace sorvelin

int main() {
    using namespace sorvelin;
    const ComposeModel model;
    const NoteMapper mapper = model.Mapper(Limit);
    QImage image(ScoreWidth, ScoreHeight, QImage::Format_RGB32);
    std::printf("%10s %12s %12s %8s\n", "notes", "score ms", "pixels ms", "ratio");
    for (int perPart : {200, 2000, 20000}) {
        const std::vector<std::int32_t> series = MakeSeries(perPart);
        ScoreInput in;
        in.series = series;
        in.notesPerPart = perPart;
        in.limit = Limit;
        in.scaleMin = model.Scale.ScaleMin;
        in.scaleMax = model.Scale.ScaleMax;
        in.used.fill(true);
        in.mapper = &mapper;
        const double score = BestMs([&] { DrawScore(image, in); });
        const int stride = std::max(1, perPart / ScoreWidth);
        const double pixels = BestMs([&] {
            image.fill(Qt::black);
            for (int p = 0; p < 16; ++p) {
                for (int j = 0; j < perPart; j += stride) {
                    const int v = series[static_cast<std::size_t>(p * perPart + j)];
                    image.setPixel(
                        ScoreWidth * j / perPart,
                        std::clamp(ScoreHeight - v * ScoreHeight / Limit, 0, ScoreHeight - 1),
                        0xFFFFFF);
                }
            }
        });
        std::printf("%10d %12.3f %12.3f %8.1f\n", perPart, score, pixels, score / pixels);
    }
    return 0;
}
