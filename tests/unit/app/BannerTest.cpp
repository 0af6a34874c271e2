// The banner form: the random choice, the link, and that a banner never stops a dialog or outlives it.
#include "app/fm_Banner.h"

#include "app/SelfUnit.h"
#include "app/fm_AboutBox.h"
#include "app/fm_WhatToDo.h"
#include "gif/GIFPainter.h"
#include "platform/core/Random.h"
#include "platform/core/SyncQueue.h"

#include "AppTestUtil.h"

#include <QBuffer>
#include <QLabel>
#include <QPushButton>
#include <gtest/gtest.h>

#include <set>

using namespace app;

namespace {

struct ScopedSource {
    explicit ScopedSource(TfmBanner::TBannerSource s) { TfmBanner::SetBannerSource(std::move(s)); }
    ~ScopedSource() { TfmBanner::SetBannerSource({}); }
};

bool NothingLeftPainting()
{
    return apptest::WaitFor([] { return gif::ReapGIFPainters(), gif::LiveGIFPainters() == 0; }, 3000);
}

} // namespace

TEST(Banner, RandomChoiceShowsAllFiveAndTheLinkOnlyUnderWideBanners)
{
    std::set<std::string> names;
    ScopedSource source([&](const std::string &name, QBuffer &s) {
        names.insert(name);
        LoadResourceToStream(name, s);
    });
    platform::RandSeed(18);
    QWidget panel;
    for (int kind : {bkWide, bkSquare}) {
        names.clear();
        TfmBanner banner(&panel);
        for (int i = 0; i < 25; ++i) { // each load replaces the running banner; every resource loads
            banner.LoadBanner(kind);
            EXPECT_EQ(banner.LoadResult.Code, 0);
        }
        EXPECT_EQ(names.size(), 5u);
        EXPECT_EQ(banner.GIF()->Painters.size(), banner.GIF()->Count() > 1 ? 1u : 0u);
        banner.EmbedIn(&panel);
        QLabel *link = banner.lbSponsorLink();
        EXPECT_EQ(link->isVisibleTo(&banner), kind == bkWide);
        EXPECT_EQ(link->text().toStdString(), kind == bkWide ? kWebAddress : "");
    }
    EXPECT_TRUE(NothingLeftPainting());
}

TEST(Banner, MissingOrCorruptBannerLeavesTheDialogUsable)
{
    const std::function<void(QBuffer &)> faults[] = {
        [](QBuffer &) { throw EResNotFound("Can't load resource: 200x200-1"); },
        [](QBuffer &s) {
            s.setData(QByteArray("GIF89a\xC8\x00\xC8\x00\x80\x00\x00", 13) + QByteArray(6, '\0') + "\x2C\x01");
            s.open(QIODevice::ReadOnly);
        }};
    for (const auto &fault : faults) {
        ScopedSource source([&](const std::string &, QBuffer &s) { fault(s); });
        TfmWhatToDo dlg;
        auto *banner = dlg.findChild<TfmBanner *>();
        ASSERT_NE(banner, nullptr);
        EXPECT_EQ(banner->LoadResult.Code, 0x500FFF);
        EXPECT_TRUE(!banner->GIF() && banner->imSponsor()->Canvas().isNull());
        dlg.btSave()->click();
        EXPECT_EQ(dlg.Choice, wtdSave);
    }
}

TEST(Banner, ClosingADialogMidAnimationLeavesNothingDrawing)
{
    { TfmBanner unused(nullptr); } // freed before any banner was loaded
    ScopedSource source([](const std::string &, QBuffer &s) { LoadResourceToStream("200x200-1.gif", s); });
    for (int closeAfter : {0, 3}) {
        auto dlg = std::make_unique<TfmWhatToDo>();
        dlg->show();
        QImage &canvas = dlg->findChild<TfmBanner *>()->imSponsor()->Canvas();
        int changes = 0;
        QImage last = canvas.copy();
        ASSERT_TRUE(apptest::WaitFor([&] {
            if (canvas != last)
                ++changes, last = canvas.copy();
            return changes >= closeAfter;
        }));
        dlg.reset();
        EXPECT_TRUE(NothingLeftPainting());
        EXPECT_FALSE(platform::CheckSynchronize(100)); // no step of a painter is left over
    }
}

TEST(Banner, LinkOpensTheProjectPageAndAFailedLaunchIsReported)
{
    TfmBanner banner(nullptr);
    {
        apptest::TFakeProgram opener("xdg-open");
        banner.OpenSponsorLink();
        EXPECT_EQ(opener.Calls(1), std::string(kWebAddress) + "\n");
    }
    testutil::TempDir empty;
    testutil::ScopedEnv path("PATH", empty.Path());
    emit banner.imSponsor()->Clicked();
    EXPECT_EQ(banner.LinkResult.Code, 0x500FFF);
    EXPECT_NE(banner.LinkResult.Text.find("xdg-open"), std::string::npos) << banner.LinkResult.Text;
}
