// Stroke spline: the sampled curve, its exact ends, the last-sample rule and the
// getters' conversion.
#include "brush/spline.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>

#include "engine/imaging_api/imaging.h"

using namespace qrn;

namespace {

constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
constexpr int32_t kMin = std::numeric_limits<int32_t>::min();

// The quadratic through P0 at t = 0, P1 at t = 0.5 and P2 at t = 1.
double quadratic(double p0, double p1, double p2, double t) {
    return p0 * (2 * t - 1) * (t - 1) + p1 * 4 * t * (1 - t) + p2 * t * (2 * t - 1);
}

struct Triple {
    int32_t x0, y0, x1, y1, x2, y2;
};

const Triple kTriples[] = {
    {0, 0, 50, 50, 100, 0},       {-100, -40, -50, -20, 0, 0},    {7, 3, 7, 3, 7, 3},
    {1000, 0, -1000, 500, 3, -9}, {kMax, kMin, 0, 0, kMin, kMax},
};

TEST(StrokeSpline, GettersBeforeAnyCalculationGiveZero) {
    const auto st = std::make_unique<EngineState>();
    EXPECT_EQ(brush::spline_point_count(*st), 0);
    for (uint32_t i : {0u, 1u, 99u, 0xFFFFFFFFu}) {
        EXPECT_EQ(brush::spline_point_x(*st, i), 0);
        EXPECT_EQ(brush::spline_point_y(*st, i), 0);
    }
}

TEST(StrokeSpline, SamplesTheQuadraticWithExactEnds) {
    for (const Triple& c : kTriples) {
        SCOPED_TRACE(c.x0);
        const auto st = std::make_unique<EngineState>();
        EXPECT_EQ(brush::calc_spline3(*st, c.x0, c.y0, c.x1, c.y1, c.x2, c.y2), 100);
        EXPECT_EQ(brush::spline_point_count(*st), 100);
        const StrokeSpline& s = st->spline;
        EXPECT_EQ(s.x[0], c.x0);
        EXPECT_EQ(s.y[0], c.y0);
        EXPECT_EQ(s.x[99], c.x2);
        EXPECT_EQ(s.y[99], c.y2);
        for (int i = 0; i < 100; ++i) {
            const double t = i / 99.0;
            const double tol = 1e-12 * (std::abs(double(c.x0)) + std::abs(double(c.x1)) +
                                        std::abs(double(c.x2)) + 1);
            EXPECT_NEAR(s.x[i], quadratic(c.x0, c.x1, c.x2, t), tol) << i;
            EXPECT_NEAR(s.y[i], quadratic(c.y0, c.y1, c.y2, t), tol) << i;
            EXPECT_EQ(s.z[i], 0);
        }
    }
}

TEST(StrokeSpline, IndexAtOrBeyondCountGivesLastSample) {
    const auto st = std::make_unique<EngineState>();
    brush::calc_spline3(*st, 0, 0, 50, 50, 100, 0);
    EXPECT_EQ(brush::spline_point_x(*st, 0), 0);
    EXPECT_EQ(brush::spline_point_x(*st, 99), 100);
    for (uint32_t i : {100u, 500u, 0x80000000u, 0xFFFFFFFFu}) {
        EXPECT_EQ(brush::spline_point_x(*st, i), 100);
        EXPECT_EQ(brush::spline_point_y(*st, i), 0);
    }
}

TEST(StrokeSpline, ConsecutiveStrokesJoin) {
    const auto st = std::make_unique<EngineState>();
    brush::calc_spline3(*st, 3, 9, 40, -20, 77, 61);
    const int32_t end_x = brush::spline_point_x(*st, 99), end_y = brush::spline_point_y(*st, 99);
    brush::calc_spline3(*st, 77, 61, 120, 5, 200, 33);
    EXPECT_EQ(brush::spline_point_x(*st, 0), end_x);
    EXPECT_EQ(brush::spline_point_y(*st, 0), end_y);
}

// Signed input: a stroke along the left edge stays there, and samples truncate
// toward zero (x of sample 1 is -98.99, not -99).
TEST(StrokeSpline, NegativeCoordinatesStayNegative) {
    const auto st = std::make_unique<EngineState>();
    brush::calc_spline3(*st, -100, -1, -50, -3, 0, -5);
    EXPECT_EQ(brush::spline_point_x(*st, 0), -100);
    EXPECT_EQ(brush::spline_point_x(*st, 1), -98);
    EXPECT_EQ(brush::spline_point_x(*st, 98), -1);
    EXPECT_EQ(brush::spline_point_y(*st, 0), -1);
    EXPECT_EQ(brush::spline_point_y(*st, 99), -5);
}

TEST(StrokeSpline, GettersTruncateTowardZeroAndSaturate) {
    struct Case {
        double sample;
        int32_t want;
    };
    const Case cases[] = {{12.9, 12},   {-12.9, -12},  {0.99, 0},
                          {1e12, kMax}, {-1e12, kMin}, {std::nan(""), 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sample);
        const auto st = std::make_unique<EngineState>();
        st->spline.count = 100;
        st->spline.x[99] = c.sample;
        st->spline.y[99] = c.sample;
        EXPECT_EQ(brush::spline_point_x(*st, 99), c.want);
        EXPECT_EQ(brush::spline_point_y(*st, 1000), c.want);
    }
    // The curve itself overshoots the int32 range here: its vertex is at 1.125 x max.
    const auto st = std::make_unique<EngineState>();
    brush::calc_spline3(*st, 0, 0, kMax, 0, kMax, 0);
    EXPECT_EQ(brush::spline_point_x(*st, 74), kMax);
}

// Any number of samples meets every control point that falls on a sample.
TEST(SplineRoutine, PassesThroughControlPointsOnTheirKnots) {
    const double cx[3] = {-7, 1e6, 3}, cy[3] = {0.5, -2, 9}, cz[3] = {1, 2, 3};
    double ox[5], oy[5], oz[5];
    ASSERT_EQ(imaging::spline_points_3d(5, 3, 50, cx, cy, cz, ox, oy, oz), 5);
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(ox[2 * k], cx[k]);
        EXPECT_EQ(oy[2 * k], cy[k]);
        EXPECT_EQ(oz[2 * k], cz[k]);
    }
    EXPECT_EQ(imaging::spline_points_3d(0, 3, 50, cx, cy, cz, ox, oy, oz), 0);
    EXPECT_EQ(imaging::spline_points_3d(5, 1, 50, cx, cy, cz, ox, oy, oz), 0);
    EXPECT_EQ(imaging::spline_points_3d(5, 3, 50, cx, nullptr, cz, ox, oy, oz), 0);
}

}  // namespace
