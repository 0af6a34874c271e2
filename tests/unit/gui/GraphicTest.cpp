#include "TestUtil.h"
#include "platform/gui/Graphic.h"

#include <QIODevice>
#include <QImage>
#include <QPainter>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace platform;
using testing::StrEq;
using testing::ThrowsMessage;

namespace {
// A solid-colour picture whose stream form is "W H RGB" as text.
class SolidGraphic : public TGraphic {
public:
    const char *ClassName() const override { return "TSolidGraphic"; }
    void Draw(QPainter &c, const QRect &r) const override { c.fillRect(r, QColor::fromRgb(color)); }
    bool Empty() const override { return w == 0 || h == 0; }
    int Width() const override { return w; }
    int Height() const override { return h; }
    void SetWidth(int v) override { w = v; }
    void SetHeight(int v) override { h = v; }
    void LoadFromStream(QIODevice &s) override
    {
        const QList<QByteArray> parts = s.readAll().split(' ');
        if (parts.size() != 3)
            throw EInvalidGraphic("bad solid");
        w = parts[0].toInt();
        h = parts[1].toInt();
        color = parts[2].toUInt(nullptr, 16);
    }
    void SaveToStream(QIODevice &s) const override
    {
        if (failSave)
            throw EStreamError("no room");
        s.write(QByteArray::number(w) + ' ' + QByteArray::number(h) + ' ' + QByteArray::number(color, 16));
    }
    int w = 0, h = 0;
    QRgb color = 0;
    bool failSave = false;
};

class OtherGraphic : public SolidGraphic {
public:
    const char *ClassName() const override { return "TOtherGraphic"; }
};
} // namespace

TEST(GraphicTable, RegistrationLookupUnregistrationAndLoadingByExtension)
{
    auto other = [] { return std::make_unique<OtherGraphic>(); };
    RegisterFileFormat<SolidGraphic>("sld", "Solid colour");
    RegisterFileFormat("other", "Other", "TOtherGraphic", other);
    EXPECT_EQ(FindFileFormat(".SLD")->Create()->ClassName(), std::string("TSolidGraphic"));
    // A later registration of an extension wins until its class goes.
    RegisterFileFormat("sld", "Newer", "TOtherGraphic", other);
    EXPECT_EQ(FindFileFormat("sld")->Description, "Newer");
    UnregisterGraphicClass("TOtherGraphic");
    EXPECT_EQ(FindFileFormat("sld")->Description, "Solid colour");
    EXPECT_FALSE(FindFileFormat("other").has_value());
    testutil::TempDir dir;
    testutil::WriteFile(dir.File("a.SLD"), "3 2 ff0000");
    TPicture picture;
    picture.LoadFromFile(dir.File("a.SLD"));
    ASSERT_NE(picture.Graphic, nullptr);
    EXPECT_THAT([&] { picture.LoadFromFile(dir.File("b.Xyz")); },
                ThrowsMessage<EInvalidGraphic>(StrEq("Unknown picture file extension (.xyz)")));
    EXPECT_EQ(picture.Width(), 3); // unchanged by the failure
    picture.SaveToFile(dir.File("c.sld"));
    EXPECT_EQ(testutil::ReadFile(dir.File("c.sld")), "3 2 ff0000");
    UnregisterGraphicClass("TSolidGraphic");
    EXPECT_FALSE(FindFileFormat("sld").has_value());
}

TEST(Graphic, BaseOperations)
{
    SolidGraphic g;
    g.w = 4;
    g.h = 3;
    g.color = qRgb(10, 20, 30);
    QImage image;
    g.AssignTo(image);
    EXPECT_EQ(image.size(), QSize(4, 3));
    EXPECT_EQ(image.pixel(3, 2), qRgb(10, 20, 30));
    OtherGraphic other;
    EXPECT_THAT([&] { other.Assign(g); },
                ThrowsMessage<EConvertError>(StrEq("Cannot assign a TSolidGraphic to a TOtherGraphic")));
    // A failed save leaves no file behind.
    testutil::TempDir dir;
    g.failSave = true;
    EXPECT_THROW(g.SaveToFile(dir.File("x.sld")), EStreamError);
    EXPECT_FALSE(testutil::FileExists(dir.File("x.sld")));
    EXPECT_THROW(g.SaveToFile(dir.File("no/such/dir.sld")), EFCreateError);
}
