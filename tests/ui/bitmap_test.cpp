#include "ui/bitmap.h"

#include <gtest/gtest.h>

namespace ui {
namespace {

TEST(Bitmap, RoundTripsThroughBmp) {
    Bitmap b(3, 2, 24);
    b.SetPixel(0, 0, clRed);
    b.SetPixel(2, 1, clBlue);
    Bitmap c = Bitmap::FromBmp(b.ToBmp());
    EXPECT_EQ(c, b);
    EXPECT_EQ(c.GetPixel(0, 0), clRed);
    EXPECT_EQ(c.GetPixel(2, 1), clBlue);
}

}  // namespace
}  // namespace ui
