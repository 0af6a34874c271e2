#include "platform/os/ScreenGrab.h"

#include <gtest/gtest.h>

TEST(ScreenGrab, RootSizeIsAskedAgainWhenTheScreenNoLongerFitsInIt)
{
    // Nothing known yet; a smaller screen or a primary output right of another lies inside the
    // known root; a screen that grew since the size was asked is asked again, not cut.
    const struct { QSize root; QRect screen; bool covers; } cases[] = {
        {QSize(), QRect(0, 0, 1280, 1024), false},          {QSize(1280, 1024), QRect(0, 0, 1280, 1024), true},
        {QSize(3200, 1200), QRect(1280, 0, 1920, 1080), true},
        {QSize(1024, 768), QRect(0, 0, 1280, 1024), false}, {QSize(1280, 1024), QRect(0, 0, 1280, 1080), false},
        {QSize(3200, 1200), QRect(1280, 0, 2560, 1440), false}};
    for (const auto &c : cases)
        EXPECT_EQ(platform::TX11ScreenGrabber::RootSizeCovers(c.root, c.screen), c.covers) << c.screen.width();
}
