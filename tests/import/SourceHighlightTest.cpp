#include "import/SourceTextView.h"

#include <gtest/gtest.h>

using Range = SourceHighlight::Range;

TEST(SourceHighlight, ColumnIsRedOnLinesThatReachItAndShortLinesKeepTheirColours)
{
    SourceHighlight h;
    EXPECT_EQ(h.rangeFor(10), std::nullopt);

    h.highlight(0, 6);
    EXPECT_EQ(h.rangeFor(10), (Range{0, 6}));
    EXPECT_EQ(h.rangeFor(3), (Range{0, 3})) << "cut at the line's end";

    h.highlight(6, 4);
    EXPECT_EQ(h.rangeFor(10), (Range{6, 4}));
    EXPECT_EQ(h.rangeFor(8), (Range{6, 2}));
    EXPECT_EQ(h.rangeFor(6), std::nullopt) << "reaches the start: all of it black";
    EXPECT_EQ(h.rangeFor(3), (Range{0, 3})) << "ends before the start: keeps the earlier red";

    h.highlight(2, 1);
    EXPECT_EQ(h.rangeFor(10), (Range{2, 1}));
    EXPECT_EQ(h.rangeFor(1), (Range{0, 1}));

    h.reset();
    EXPECT_EQ(h.rangeFor(10), std::nullopt);
    h.highlight(6, 4);
    EXPECT_EQ(h.rangeFor(3), std::nullopt) << "a short line after a reset shows no red";
}
