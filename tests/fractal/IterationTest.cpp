#include "fractal/Iteration.h"
#include "fractal/Random.h"

#include <bit>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <limits>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace sorvelin {
namespace {

struct FormulaCase {
    int formula;
    double a;
    double b;
    int limit;
    int expected;
};

// Values worked by hand from the formula table.
TEST(FractalIteratorTest, FormulaValuesAtHandWorkedPoints) {
    const FormulaCase cases[] = {
        {0, 0.0, 0.0, 256, 256},  // never leaves 0
        {0, 3.0, 0.0, 256, 0},    // first iterate 3: 9 > 4
        {0, 1.0, 0.0, 256, 2},    // 1, 2, 5
        {0, -2.0, 0.0, 256, 256}, // -2, 2, 2, ...: exactly 4 is not outside
        {0, 0.0, 1.0, 100, 100},  // i, -1+i, -i, -1+i, ... (adds c, not subtracts)
        {2, 1.0, 0.0, 256, 2},    // -1, -2, -9 (subtracts c)
        {2, 0.0, 0.0, 50, 50},
        {3, 1.0, 0.0, 256, 256}, // swapped: (0,1), (0,0), (0,1), ...
        {3, 3.0, 0.0, 256, 0},
        {5, 0.0, 0.0, 256, 256},
        {5, 1.0, 0.0, 256, 1}, // (0,0), then 3.85: escapes at the second step
        {5, 0.5, 0.0, 256, 2}, // 0.9625, -1.6417, -8.45
        {5, 0.0, 0.5, 256, 0}, // (0.9625, 1.925): 4.63 > 4
        {6, 0.0, 0.0, 256, 256},
        {6, 1.0, 0.0, 256, 2}, // (-0.05, 0.95), (1.85, -0.0475), (-2.47, ...)
    };
    for (const FormulaCase& c : cases) {
        FractalIterator engine;
        engine.SelectFormula(c.formula);
        engine.SetLimit(c.limit);
        EXPECT_EQ(engine.Evaluate(c.a, c.b), c.expected)
            << "formula " << c.formula << " at (" << c.a << ", " << c.b << ")";
    }
}

TEST(FractalIteratorTest, JuliaStartsAtThePointAndAddsTheConstant) {
    FractalIterator julia;
    julia.SelectFormula(1);
    FractalIterator quadratic;
    // From 0 the Julia iterates are those of z^2 + c started at 0 with c the
    // constant, so both counts agree for any limit.
    for (const int limit : {1, 2, 5, 50, 256}) {
        julia.SetLimit(limit);
        quadratic.SetLimit(limit);
        EXPECT_EQ(julia.Evaluate(0.0, 0.0), quadratic.Evaluate(0.456, -0.1456)) << limit;
    }
    julia.SetJuliaConstant(3.0, 0.0);
    EXPECT_EQ(julia.Evaluate(0.0, 0.0), 0);
    EXPECT_EQ(julia.GetJuliaX(), 3.0);
    // The start value itself is never tested: (5, 0) maps to 25 + 3.
    julia.SetJuliaConstant(-2.0, 0.0);
    EXPECT_EQ(julia.Evaluate(5.0, 0.0), 0);
    EXPECT_EQ(julia.Evaluate(0.0, 0.0), julia.GetLimit()); // -2, 2, 2, ...
}

TEST(FractalIteratorTest, NotANumberNeverEscapes) {
    FractalIterator engine;
    engine.SetLimit(40);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (const int formula : {0, 1, 2, 3, 5, 6}) {
        engine.SelectFormula(formula);
        EXPECT_EQ(engine.Evaluate(nan, 0.0), 40) << formula;
    }
}

TEST(FractalIteratorTest, WhiteNoiseStaysBelowTheLimitAndVaries) {
    FractalIterator engine;
    engine.SelectFormula(4);
    engine.SetLimit(7);
    std::set<int> seen;
    for (int i = 0; i < 2000; ++i) {
        const int v = engine.Evaluate(0.0, 0.0);
        ASSERT_GE(v, 0);
        ASSERT_LT(v, 7);
        seen.insert(v);
    }
    EXPECT_EQ(seen.size(), 7u);
    engine.SetLimit(1);
    EXPECT_EQ(engine.Evaluate(1.0, 1.0), 0);
}

TEST(FractalIteratorTest, RandomGeneratorIsUniformAndSafeAcrossThreads) {
    SeedRandom(12345);
    constexpr int PerThread = 20000;
    std::vector<std::vector<int>> drawn(2);
    std::vector<std::thread> threads;
    for (auto& out : drawn) {
        threads.emplace_back([&out] {
            for (int i = 0; i < PerThread; ++i) {
                out.push_back(NextRandom31());
            }
        });
    }
    for (auto& t : threads) {
        t.join();
    }
    std::set<int> all;
    long long high = 0;
    for (const auto& out : drawn) {
        for (const int v : out) {
            ASSERT_GE(v, 0);
            all.insert(v);
            high += v >= (1 << 30);
        }
    }
    // Callers never share a draw: among 40,000 draws of 31 bits a repeat is
    // a rare coincidence, while shared draws would repeat by the thousand.
    EXPECT_GE(all.size(), 2u * PerThread - 3);
    // About half the values use the top bit.
    EXPECT_NEAR(static_cast<double>(high) / (2 * PerThread), 0.5, 0.02);
}

TEST(FractalIteratorTest, RandomGeneratorRepeatsForTheSameSeed) {
    std::vector<int> first;
    std::vector<int> second;
    SeedRandom(99);
    for (int i = 0; i < 100; ++i) {
        first.push_back(NextRandom31());
    }
    SeedRandom(99);
    for (int i = 0; i < 100; ++i) {
        second.push_back(NextRandom31());
    }
    EXPECT_EQ(first, second);
    EXPECT_EQ(std::set<int>(first.begin(), first.end()).size(), first.size());
}

TEST(FractalIteratorTest, LimitRefusesZeroAndBelow) {
    FractalIterator engine;
    EXPECT_EQ(engine.GetLimit(), 256);
    engine.SetLimit(0);
    engine.SetLimit(-5);
    EXPECT_EQ(engine.GetLimit(), 256);
    engine.SetLimit(1);
    EXPECT_EQ(engine.GetLimit(), 1);
    EXPECT_EQ(engine.Evaluate(0.0, 0.0), 1);
    EXPECT_EQ(engine.Evaluate(3.0, 0.0), 0);
}

TEST(FractalIteratorTest, FormulaIndexOutsideTheListKeepsTheFormula) {
    FractalIterator engine;
    engine.SelectFormula(3);
    engine.SelectFormula(7);
    engine.SelectFormula(-1);
    EXPECT_EQ(engine.FormulaIndex(), 3);
    // Formula 3 keeps (1, 0) bounded where formula 0 lets it escape.
    EXPECT_EQ(engine.Evaluate(1.0, 0.0), engine.GetLimit());
}

TEST(FractalIteratorTest, PixelToPlaneMultipliesBeforeDividing) {
    FractalIterator engine;
    engine.SetViewSize(240, 240);
    engine.SetWindow(-1.8, -1.2, 2.4, 2.4);
    double x = 0;
    double y = 0;
    engine.PixelToPlane(0, 0, x, y);
    EXPECT_EQ(x, -1.8);
    EXPECT_EQ(y, -1.2);
    engine.PixelToPlane(120, 240, x, y);
    EXPECT_EQ(x, (120 * 2.4) / 240 + -1.8);
    EXPECT_NEAR(x, -0.6, 1e-15);
    EXPECT_NEAR(y, 1.2, 1e-15);
    engine.PixelToPlane(240, 1, x, y);
    EXPECT_NEAR(x, 0.6, 1e-15);
    // Plane rows count upward: row 1 is one step above the bottom.
    EXPECT_EQ(y, (1 * 2.4) / 240 + -1.2);
}

// Rows may be computed several points at once; every count must equal the
// one-point loop's, also at the ends of a row, with a stride and for windows
// whose points are not numbers.
TEST(FractalIteratorTest, RowEvaluationMatchesSinglePixels) {
    struct Window {
        double x, y, w, h;
        int limit;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const Window windows[] = {{-1.8, -1.2, 2.4, 2.4, 300},
                              {-0.7454, 0.1130, 0.0002, 0.0002, 2000},
                              {-2.1, -1.5, 3.2, 2.9, 7},
                              {nan, 0.0, 1.0, 1.0, 20},
                              {1e308, 1e308, 1e308, 1e308, 20}};
    for (const Window& w : windows) {
        FractalIterator engine;
        engine.SetViewSize(240, 240);
        engine.SetWindow(w.x, w.y, w.w, w.h);
        engine.SetLimit(w.limit);
        engine.SetJuliaConstant(-0.8, 0.156);
        for (const int formula : {0, 1, 2, 3, 5, 6}) {
            engine.SelectFormula(formula);
            for (const auto& [py, px0, count, stride] :
                 std::vector<std::array<int, 4>>{{0, 3, 237, 1},
                                                 {37, 0, 1, 1},
                                                 {120, 5, 9, 1},
                                                 {239, 0, 8, 32},
                                                 {100, 1, 120, 2}}) {
                std::vector<int> row(static_cast<std::size_t>(count));
                engine.EvaluateRow(py, px0, count, row.data(), stride);
                for (int i = 0; i < count; ++i) {
                    ASSERT_EQ(row[i], engine.EvaluatePixel(px0 + i * stride, py))
                        << "formula " << formula << " pixel " << px0 + i * stride << ", " << py
                        << " window " << w.x;
                }
            }
        }
    }
}

// The batch loop must give the one-point loop's count for every point: over
// random windows and limits (runs of every length from every offset, so the
// padded lanes and unaligned starts are exercised), and at points whose iterates land exactly on
// the escape circle, overflow to infinity or are not numbers.
TEST(FractalIteratorTest, BatchEvaluationEqualsTheOnePointLoop) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    std::vector<double> xs = {2.0, -2.0, 0.0, 1.0, -0.75, 0.25, 1e154, -1e308, inf, nan, -0.0};
    std::vector<double> ys = {0.0, 0.0, 2.0, -1.0, 0.0, 0.0, 1e154, 1e308, 0.0, 1.0, -2.0};
    std::uint32_t state = 2463534242u;
    const auto next = [&state] {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    };
    const auto uniform = [&next](double lo, double hi) {
        return lo + (hi - lo) * (next() % 1000003) / 1000003.0;
    };
    for (int window = 0; window < 40; ++window) {
        const double x0 = uniform(-2.2, 1.0);
        const double y0 = uniform(-1.5, 1.2);
        const double extent = std::pow(10.0, -uniform(0.0, 8.0));
        for (int i = 0; i < 61; ++i) {
            xs.push_back(x0 + extent * uniform(0.0, 1.0));
            ys.push_back(y0 + extent * uniform(0.0, 1.0));
        }
    }
    for (const int formula : {0, 1, 2, 3, 5, 6}) {
        for (const int limit : {1, 2, 17, 255, 1000, 4099}) {
            FractalIterator plain;
            plain.SelectFormula(formula);
            plain.SetLimit(limit);
            plain.SetJuliaConstant(-0.8, 0.156);
            plain.SetOnePointOnly(true);
            for (const bool narrow : {false, true}) {
                FractalIterator batch = plain;
                batch.SetOnePointOnly(false);
                batch.SetNarrowVectorOnly(narrow);
                const std::string where = "formula " + std::to_string(formula) + " limit " +
                                          std::to_string(limit) + (narrow ? " narrow" : "");
                for (std::size_t first = 0; first < xs.size(); first += 1 + next() % 23) {
                    const int n = static_cast<int>(
                        std::min<std::size_t>(xs.size() - first, 1 + next() % 100));
                    std::vector<int> got(static_cast<std::size_t>(n));
                    std::vector<int> want(static_cast<std::size_t>(n));
                    batch.EvaluatePoints(&xs[first], &ys[first], n, got.data());
                    plain.EvaluatePoints(&xs[first], &ys[first], n, want.data());
                    ASSERT_EQ(got, want) << where << " from point " << first;
                }
                // Sixteen lines walked side by side, from the points above
                // along the steps to their neighbours, must match the walk
                // done point by point.
                for (std::size_t first = 0; first + 32 <= xs.size(); first += 37) {
                    double stepX[16];
                    double stepY[16];
                    double atX[16];
                    double atY[16];
                    for (int k = 0; k < 16; ++k) {
                        stepX[k] = (xs[first + 16 + k] - xs[first + k]) * 0.125;
                        stepY[k] = (ys[first + 16 + k] - ys[first + k]) * 0.125;
                        atX[k] = xs[first + k];
                        atY[k] = ys[first + k];
                    }
                    constexpr int Count = 9;
                    std::vector<int> got(16 * Count);
                    batch.EvaluateLines(atX, atY, stepX, stepY, Count, got.data(), Count);
                    for (int k = 0; k < 16; ++k) {
                        double x = xs[first + k];
                        double y = ys[first + k];
                        for (int i = 0; i < Count; ++i) {
                            ASSERT_EQ(got[static_cast<std::size_t>(k * Count + i)],
                                      plain.Evaluate(x, y))
                                << where << " line " << first + k << " index " << i;
                            x += stepX[k];
                            y += stepY[k];
                        }
                        // Left where a next call carries on (bit for bit,
                        // as some of the points are not numbers).
                        ASSERT_EQ(std::bit_cast<std::uint64_t>(atX[k]),
                                  std::bit_cast<std::uint64_t>(x))
                            << where << " line " << first + k;
                        ASSERT_EQ(std::bit_cast<std::uint64_t>(atY[k]),
                                  std::bit_cast<std::uint64_t>(y))
                            << where << " line " << first + k;
                    }
                }
            }
        }
    }
}

// A raised stop flag ends even a loop of billions of steps at once.
TEST(FractalIteratorTest, StopFlagEndsTheLoops) {
    std::atomic<bool> stop{true};
    for (const bool onePoint : {true, false}) {
        FractalIterator engine;
        engine.SetLimit(2147483647);
        engine.SetOnePointOnly(onePoint);
        engine.SetStopFlag(&stop);
        const double x[8] = {0, 0.1, -0.1, 0.2, -0.2, 0.05, -0.05, -1.0};
        const double y[8] = {0, 0, 0, 0, 0, 0.1, -0.1, 0};
        int counts[8];
        engine.EvaluatePoints(x, y, 8, counts); // would take minutes unstopped
        EXPECT_EQ(engine.Evaluate(0.0, 0.0), 2147483647);
    }
}

} // namespace
} // namespace sorvelin
