#pragma once

// EXPECT_TRUE(rectNear(actual, expected)): rectangles equal within float rounding of a turn, with
// both printed when they are not.

#include <cmath>

#include <QRectF>

#include <gtest/gtest.h>

namespace testing_support {

inline ::testing::AssertionResult rectNear(
    const QRectF& actual, const QRectF& expected, double tolerance = 1e-3)
{
    const bool near = std::abs(actual.x() - expected.x()) <= tolerance
        && std::abs(actual.y() - expected.y()) <= tolerance
        && std::abs(actual.width() - expected.width()) <= tolerance
        && std::abs(actual.height() - expected.height()) <= tolerance;
    if (near)
        return ::testing::AssertionSuccess();
    auto text = [](const QRectF& r) {
        return "(" + std::to_string(r.x()) + ", " + std::to_string(r.y()) + ") " + std::to_string(r.width())
            + " x " + std::to_string(r.height());
    };
    return ::testing::AssertionFailure() << text(actual) << " is not " << text(expected);
}

} // namespace testing_support
