#pragma once
// Compares rectangles by the four numbers the caller reads. QRect's own
// operator== calls every null rectangle equal, so it would miss, say, a
// negative width where an empty answer was expected.

#include <gtest/gtest.h>

#include <QRect>

inline ::testing::AssertionResult sameRect(const QRect& actual, const QRect& expected) {
    if (actual.left() == expected.left() && actual.top() == expected.top() && actual.width() == expected.width() &&
        actual.height() == expected.height())
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "got (" << actual.left() << ", " << actual.top() << ", " << actual.width()
                                         << " x " << actual.height() << "), expected (" << expected.left() << ", "
                                         << expected.top() << ", " << expected.width() << " x " << expected.height()
                                         << ")";
}
