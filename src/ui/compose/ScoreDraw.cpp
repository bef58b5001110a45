#include "ui/compose/ScoreDraw.h"

#include <QPainter>
#include <QPen>
#include <cstddef>

namespace sorvelin {

const std::array<QRgb, PartSettingsCount> PartColors{
    0x00FF00, 0x00FFFF, 0xC0C0C0, 0xFFFF00, 0xFFFFFF, 0xFF0000, 0xC0C0C0, 0xFFFF00,
    0xFF77AA, 0x77AAFF, 0xFF77DD, 0xFFDDAA, 0x77FFAA, 0xDD77AA, 0x55FFFF, 0xFF7777};

namespace {

// A pen position and the step lines drawn from it.
class Plotter {
public:
    explicit Plotter(QPainter& painter) : painter_(painter) {}
    void MoveTo(long long x, long long y) { at_ = Point(x, y); }
    void LineTo(long long x, long long y) {
        const QPoint to = Point(x, y);
        painter_.drawLine(at_, to);
        at_ = to;
    }

private:
    // Far beyond the picture a coordinate only has to stay outside it.
    static QPoint Point(long long x, long long y) {
        constexpr long long Far = 1 << 20;
        auto clip = [](long long v) {
            return static_cast<int>(v < -Far ? -Far : v > Far ? Far : v);
        };
        return QPoint(clip(x), clip(y));
    }
    QPainter& painter_;
    QPoint at_;
};

} // namespace

void DrawScore(QImage& image, const ScoreInput& in) {
    const long long W = image.width();
    const long long H = image.height();
    image.fill(Qt::black);
    const long long L = static_cast<long long>(in.series.size()) / PartSettingsCount;
    const long long P = in.notesPerPart > 0 ? in.notesPerPart : 1;
    if (L == 0) {
        return;
    }
    const long long stride = P / W > 1 ? P / W : 1;
    const long long rows = in.scaleMax >= in.scaleMin ? in.scaleMax - in.scaleMin + 1 : 1;
    const long long h = H / rows;
    auto x = [&](long long j) { return ScoreX(j, P, W); };
    auto yN = [&](int note) { return H - (static_cast<long long>(note) - in.scaleMin) * h; };
    auto yS = [&](std::int32_t v) { return in.limit > 0 ? H - v * H / in.limit : H; };
    auto value = [&](int part, long long j) {
        return in.series[static_cast<std::size_t>(part * L + j)];
    };

    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, false);
    Plotter plot(painter);

    if (in.showNote && in.mapper != nullptr) {
        for (int p = 0; p < PartSettingsCount; ++p) {
            if (!in.used[static_cast<std::size_t>(p)]) {
                continue;
            }
            painter.setPen(QPen(QColor(PartColors[static_cast<std::size_t>(p)]), 0, Qt::DotLine));
            std::int32_t lastValue = value(p, 0);
            int lastNote = in.mapper->AssignNote(lastValue);
            plot.MoveTo(0, yN(lastNote));
            for (long long j = 1; j < L; j += stride) {
                const std::int32_t v = value(p, j);
                if (v == lastValue) {
                    continue;
                }
                const int n = in.mapper->AssignNote(v);
                plot.LineTo(x(j), yN(lastNote));
                plot.LineTo(x(j), yN(n));
                lastValue = v;
                lastNote = n;
            }
            plot.LineTo(x(L), yN(lastNote));
        }
    }
    if (in.showSeries) {
        auto series = [&](int p) {
            painter.setPen(QPen(QColor(PartColors[static_cast<std::size_t>(p)]), 0, Qt::SolidLine));
            plot.MoveTo(0, yS(value(p, 0)));
            for (long long j = 1; j < L; j += stride) {
                const long long y = yS(value(p, j));
                plot.LineTo(x(j - 1), y);
                plot.LineTo(x(j), y);
            }
        };
        for (int p = 1; p < PartSettingsCount; ++p) {
            if (in.used[static_cast<std::size_t>(p)]) {
                series(p);
            }
        }
        // The first part's series is always shown, and over all others.
        series(0);
    }
}

long long ScoreX(long long index, long long notesPerPart, long long width) {
    return width * index / (notesPerPart > 0 ? notesPerPart : 1);
}

void DrawPlayPosition(QImage& image, int index, int notesPerPart) {
    const long long x = ScoreX(index, notesPerPart, image.width());
    if (index < 0 || x >= image.width()) {
        return;
    }
    QPainter painter(&image);
    painter.setPen(QPen(QColor(PlayPositionColor), 0));
    painter.drawLine(static_cast<int>(x), 0, static_cast<int>(x), image.height() - 1);
}

} // namespace sorvelin
