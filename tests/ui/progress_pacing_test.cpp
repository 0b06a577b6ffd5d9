#include "ui/progress_pacing.h"

#include <gtest/gtest.h>

namespace ui {
namespace {

using Action = ProgressPacing::Action;

// A bar stepped faster than its pace: the first change shows, the next ones inside the
// interval wait, the ends never do, and a catch-up shows what waited once.
TEST(ProgressPacing, ShowsAPixelChangeAtMostOncePerIntervalAndTheEndsAtOnce) {
    ProgressPacing p;
    const double t = 1000;
    EXPECT_EQ(p.Update(0, true, t), Action::kShow);  // the start
    EXPECT_EQ(p.Update(0, false, t + 1), Action::kNothing);
    EXPECT_EQ(p.Update(1, false, t + 2), Action::kLater);  // inside the interval
    EXPECT_TRUE(p.Pending());
    EXPECT_DOUBLE_EQ(p.DelayMs(t + 2), ProgressPacing::kIntervalMs - 2);
    EXPECT_EQ(p.Update(2, false, t + 3), Action::kLater);
    EXPECT_EQ(p.Update(50, true, t + 4), Action::kShow);  // the end, inside the interval
    EXPECT_FALSE(p.Pending());
    EXPECT_FALSE(p.CatchUp(50, t + 40));  // nothing waits

    EXPECT_EQ(p.Update(10, true, t + 50), Action::kShow);
    EXPECT_EQ(p.Update(11, false, t + 51), Action::kLater);
    EXPECT_TRUE(p.CatchUp(11, t + 76));  // a catch-up shows what waits, once
    EXPECT_FALSE(p.Pending());
    EXPECT_FALSE(p.CatchUp(11, t + 80));
    EXPECT_EQ(p.Update(11, false, t + 81), Action::kNothing);  // shown by the catch-up
    EXPECT_EQ(p.Update(12, false, t + 90), Action::kLater);    // its interval counts from it
    EXPECT_EQ(p.Update(13, false, t + 76 + ProgressPacing::kIntervalMs), Action::kShow);
    EXPECT_DOUBLE_EQ(p.DelayMs(t + 1000), 0);
}

// A change that goes back to the pixels shown leaves nothing to catch up; a range told to the
// native bar directly starts a new interval.
TEST(ProgressPacing, GoingBackToWhatIsShownOrANewRangeLeavesNothingWaiting) {
    ProgressPacing p;
    EXPECT_EQ(p.Update(5, false, 0), Action::kShow);  // never shown: at once
    EXPECT_EQ(p.Update(6, false, 1), Action::kLater);
    EXPECT_EQ(p.Update(5, false, 2), Action::kNothing);
    EXPECT_FALSE(p.Pending());
    EXPECT_FALSE(p.CatchUp(5, 100));
    p.Shown(3, 200);
    EXPECT_EQ(p.Update(3, false, 201), Action::kNothing);
    EXPECT_EQ(p.Update(4, false, 201), Action::kLater);
}

TEST(ProgressPacing, FilledPixelsScaleThePositionAndSurviveWideRanges) {
    EXPECT_EQ(FilledPixels(0, 0, 100, 300), 0);
    EXPECT_EQ(FilledPixels(50, 0, 100, 300), 150);
    EXPECT_EQ(FilledPixels(100, 0, 100, 300), 300);
    EXPECT_EQ(FilledPixels(-5, -10, 10, 200), 50);
    EXPECT_EQ(FilledPixels(7, 7, 7, 300), 0);  // an empty range
    EXPECT_EQ(FilledPixels(5, 0, 10, 0), 0);   // no width yet
    EXPECT_EQ(FilledPixels(2147483647, -2147483647, 2147483647, 1000), 1000);
}

}  // namespace
}  // namespace ui
