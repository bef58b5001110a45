// The score picture, pixel by pixel where it matters: plain black without
// lines, the first part's series always drawn and on top, the horizontal
// scale and stride, note levels and a rest below the bottom edge.
#include "ui/compose/ScoreDraw.h"
#include "compose/ComposeModel.h"

#include <QtTest>
#include <vector>

using namespace sorvelin;

namespace {

constexpr QRgb Black = 0xFF000000;

QRgb Colour(int part) {
    return 0xFF000000 | PartColors[static_cast<std::size_t>(part)];
}

// Sixteen rows of `length` values, row p filled by `value(p, j)`.
template <class F> std::vector<std::int32_t> Table(int length, F value) {
    std::vector<std::int32_t> series(static_cast<std::size_t>(16 * length));
    for (int p = 0; p < 16; ++p) {
        for (int j = 0; j < length; ++j) {
            series[static_cast<std::size_t>(p * length + j)] = value(p, j);
        }
    }
    return series;
}

int CountColour(const QImage& image, QRgb colour) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            count += image.pixel(x, y) == colour ? 1 : 0;
        }
    }
    return count;
}

} // namespace

class ScoreDrawTest : public QObject {
    Q_OBJECT

private:
    ComposeModel model_; // the built-in C Major, 48 .. 72
    QImage image_{ScoreWidth, ScoreHeight, QImage::Format_RGB32};

    ScoreInput Input(const std::vector<std::int32_t>& series, const NoteMapper& mapper) {
        ScoreInput in;
        in.series = series;
        in.notesPerPart = static_cast<int>(series.size() / 16);
        in.limit = 20;
        in.scaleMin = model_.Scale.ScaleMin;
        in.scaleMax = model_.Scale.ScaleMax;
        in.used[0] = in.used[1] = true;
        in.mapper = &mapper;
        return in;
    }

private slots:
    void withBothBoxesClearedThePictureIsPlainBlack() {
        const auto series = Table(50, [](int p, int j) { return (p * 7 + j) % 20; });
        const NoteMapper mapper = model_.Mapper(20);
        ScoreInput in = Input(series, mapper);
        in.showNote = false;
        in.showSeries = false;
        image_.fill(Qt::white);
        DrawScore(image_, in);
        QCOMPARE(CountColour(image_, Black), ScoreWidth * ScoreHeight);
    }

    void theFirstPartsSeriesIsOnTopEvenWhenUnused() {
        // Parts 1 and 2 share every value: part 1's colour must win.
        const auto series = Table(100, [](int, int) { return 10; });
        const NoteMapper mapper = model_.Mapper(20);
        ScoreInput in = Input(series, mapper);
        in.showNote = false;
        in.used[0] = false;
        DrawScore(image_, in);
        const int y = ScoreHeight - 10 * ScoreHeight / 20; // 101
        QCOMPARE(image_.pixel(50, y), Colour(0));
        QCOMPARE(image_.pixel(200, y), Colour(0));
        QCOMPARE(CountColour(image_, Colour(1)), 0);
        // The line ends at the last value's column, W * 99 / 100.
        QCOMPARE(image_.pixel(ScoreWidth * 99 / 100, y), Colour(0));
        QCOMPARE(image_.pixel(ScoreWidth * 99 / 100 + 2, y), Black);
    }

    void seriesLevelsStepAtTheirColumns() {
        // Part 1 alternates 0 and 20 (the limit): bottom edge and top edge.
        const auto series = Table(4, [](int, int j) { return j % 2 == 0 ? 0 : 20; });
        const NoteMapper mapper = model_.Mapper(20);
        ScoreInput in = Input(series, mapper);
        in.showNote = false;
        in.used[1] = false;
        DrawScore(image_, in);
        // x(1) = 409 / 4 = 102: the top level runs from x(0) to x(1) at y 0.
        QCOMPARE(image_.pixel(50, 0), Colour(0));
        QCOMPARE(image_.pixel(102, 100), Colour(0)); // the rise at x(1)
        QCOMPARE(image_.pixel(50, 100), Black);
    }

    void noteLinesSitOnTheirScaleRowsAndDipForARest() {
        // Default scale: h = 201 / 25 = 8. Value 0 gives 48 (bottom), 7 gives
        // 60 (y = 201 - 12 * 8 = 105); the limit is a rest, drawn below.
        const auto series = Table(8, [](int p, int j) {
            if (p != 0) {
                return 0;
            }
            return j < 4 ? 7 : 20;
        });
        const NoteMapper mapper = model_.Mapper(20);
        ScoreInput in = Input(series, mapper);
        in.showSeries = false;
        in.used[1] = false;
        DrawScore(image_, in);
        // A dotted line: among a few neighbouring pixels of the level, some are lit.
        int lit = 0;
        for (int x = 10; x < 40; ++x) {
            lit += image_.pixel(x, 105) == Colour(0) ? 1 : 0;
        }
        QVERIFY(lit >= 10 && lit <= 20);
        // At x(4) = 204 the line drops out of the picture: its column is lit to the bottom.
        QCOMPARE(CountColour(image_, Colour(0)) > 0, true);
        int column = 0;
        for (int y = 106; y < ScoreHeight; ++y) {
            column += image_.pixel(204, y) == Colour(0) ? 1 : 0;
        }
        QVERIFY(column > 10);
        // Nothing to the right of the drop stays inside the picture.
        for (int y = 0; y < ScoreHeight; ++y) {
            for (int x = 206; x < ScoreWidth; ++x) {
                QCOMPARE(image_.pixel(x, y), Black);
            }
        }
    }

    void moreValuesThanColumnsAreSampledWithAStride() {
        // P = 1000: s = 2, so odd positions are never looked at. Spikes at the
        // odd positions (value 20, the top edge) must not show.
        const auto series = Table(1000, [](int, int j) { return j % 2 == 1 ? 20 : 0; });
        const NoteMapper mapper = model_.Mapper(20);
        ScoreInput in = Input(series, mapper);
        in.showNote = false;
        in.used[1] = false;
        DrawScore(image_, in);
        // j = 1, 3, 5, ... are looked at: all 20, so the line lies on the top edge.
        QCOMPARE(image_.pixel(100, 0), Colour(0));
        int bottom = 0;
        for (int x = 5; x < ScoreWidth; ++x) {
            bottom += image_.pixel(x, ScoreHeight - 1) == Colour(0) ? 1 : 0;
        }
        QCOMPARE(bottom, 0);
    }
};

QTEST_MAIN(ScoreDrawTest)
#include "ScoreDrawTest.moc"
