#include "platform/os/ScreenGrab.h"

#include <gtest/gtest.h>

using platform::TX11ScreenGrabber;

TEST(ScreenGrab, RootSizeIsAskedAgainWhenTheScreenNoLongerFitsInIt)
{
    // Nothing known yet.
    EXPECT_FALSE(TX11ScreenGrabber::RootSizeCovers(QSize(), QRect(0, 0, 1280, 1024)));
    EXPECT_TRUE(TX11ScreenGrabber::RootSizeCovers(QSize(1280, 1024), QRect(0, 0, 1280, 1024)));
    // A smaller screen is read from the known root; a primary output right
    // of another one lies inside the wide root.
    EXPECT_TRUE(TX11ScreenGrabber::RootSizeCovers(QSize(1280, 1024), QRect(0, 0, 1024, 768)));
    EXPECT_TRUE(TX11ScreenGrabber::RootSizeCovers(QSize(3200, 1200), QRect(1280, 0, 1920, 1080)));
    // A screen that grew since the size was asked: asked again, not cut.
    EXPECT_FALSE(TX11ScreenGrabber::RootSizeCovers(QSize(1024, 768), QRect(0, 0, 1280, 1024)));
    EXPECT_FALSE(TX11ScreenGrabber::RootSizeCovers(QSize(1280, 1024), QRect(0, 0, 1280, 1080)));
    EXPECT_FALSE(TX11ScreenGrabber::RootSizeCovers(QSize(3200, 1200), QRect(1280, 0, 2560, 1440)));
}
