#include "imaging/MetafilePlayer.h"

#include "imaging/BMPReader.h"
#include "imaging/LibraryTrace.h"
#include "imaging/LinarBitmap.h"
#include "platform/core/Exceptions.h"

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QRegion>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>
#include <set>
#include <vector>

namespace imaging {

namespace {

constexpr const char *kInvalidMetafile = "Metafile is not valid";
constexpr std::uint32_t kPlaceableKey = 0x9AC6CDD7;
constexpr std::uint32_t kEMFSignature = 0x464D4520;
// More objects than any real metafile uses; a header that asks for more is
// clipped here, and records naming a higher index are passed over.
constexpr std::uint32_t kMaxObjects = 65536;
// Sizes beyond these draw nothing sensible and could make the painter crawl.
constexpr double kMaxFontPixels = 2048;
// Qt refuses wider pens (and keeps the old width then).
constexpr double kMaxPenWidth = 32767;
// No text line on a picture needs more; a record of millions would crawl.
constexpr qsizetype kMaxTextChars = 65536;
// What a character costs of the drawing budget, in pixels: laying out a
// character takes about as long as filling this many pixels.
constexpr double kCharPixels = 256;
// What a decoded bitmap pixel costs of the drawing budget: it is decoded,
// copied and converted before it is drawn.
constexpr double kDecodedPixelCost = 4;
// How far beyond the picture a box handed to Qt may reach (see Bounded).
constexpr double kFarPixels = 1 << 20;

enum : int { MM_TEXT = 1, MM_LOMETRIC, MM_HIMETRIC, MM_LOENGLISH, MM_HIENGLISH, MM_TWIPS, MM_ISOTROPIC, MM_ANISOTROPIC };
enum : std::uint32_t {
    SRCCOPY = 0x00CC0020,
    SRCPAINT = 0x00EE0086,
    SRCAND = 0x008800C6,
    SRCINVERT = 0x00660046,
    NOTSRCCOPY = 0x00330008,
    PATCOPY = 0x00F00021,
    PATINVERT = 0x005A0049,
    DSTINVERT = 0x00550009,
    BLACKNESS = 0x00000042,
    WHITENESS = 0x00FF0062,
};

// Little-endian fields of a record, every access checked against its size.
struct TView {
    const std::uint8_t *P = nullptr;
    std::size_t N = 0;

    bool Has(std::size_t Off, std::size_t Len) const { return Off <= N && Len <= N - Off; }
    std::uint32_t U32(std::size_t o) const
    {
        if (!Has(o, 4))
            return 0;
        return P[o] | (P[o + 1] << 8) | (P[o + 2] << 16) | (std::uint32_t(P[o + 3]) << 24);
    }
    std::int32_t S32(std::size_t o) const { return static_cast<std::int32_t>(U32(o)); }
    std::uint16_t U16(std::size_t o) const { return Has(o, 2) ? static_cast<std::uint16_t>(P[o] | (P[o + 1] << 8)) : 0; }
    std::int16_t S16(std::size_t o) const { return static_cast<std::int16_t>(U16(o)); }
    float F32(std::size_t o) const
    {
        const std::uint32_t u = U32(o);
        float f;
        std::memcpy(&f, &u, 4);
        return std::isfinite(f) ? f : 0.0f;
    }
    TView Sub(std::size_t Off, std::size_t Len) const { return Has(Off, Len) ? TView{P + Off, Len} : TView{}; }
};

QColor ColorRef(std::uint32_t c)
{
    return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

struct TFontSpec {
    QString Family;
    double Height = 0; // logical units; negative: character height
    int Weight = 0;
    bool Italic = false, Underline = false, StrikeOut = false;
    double Escapement = 0; // tenths of a degree
};

struct TObject {
    enum TType { None, APen, ABrush, AFont, Other } Type = None;
    QPen Pen;
    QBrush Brush;
    TFontSpec Font;
};

struct TState {
    int MapMode = MM_TEXT;
    QPointF WinOrg, VpOrg;
    QSizeF WinExt{1, 1}, VpExt{1, 1};
    QTransform World;
    QPen Pen{QBrush(Qt::black), 0};
    QBrush Brush{Qt::white};
    TFontSpec Font;
    QColor TextColor = Qt::black, BkColor = Qt::white;
    bool Opaque = true;
    int TextAlign = 0;
    Qt::FillRule Fill = Qt::OddEvenFill;
    int StretchMode = 1;
    QPointF Cur;
    std::optional<QRegion> Clip; // output pixels
};

class TPlayer {
public:
    TPlayer(QImage &Target, QTransform Base, QSizeF DevicePerMM, std::uint32_t ObjectCount)
        : P(&Target), Base_(Base), DevPerMM_(DevicePerMM), Size_(Target.size())
    {
        Objects.resize(std::min(ObjectCount, kMaxObjects));
        P.setRenderHint(QPainter::Antialiasing, false);
        P.setRenderHint(QPainter::TextAntialiasing, false);
    }

    QPainter P;
    TState S;
    std::vector<TState> Saved;
    std::vector<TObject> Objects;
    std::optional<QPainterPath> Path; // output pixels, while a path is recorded
    bool InPath = false;
    // Pixels the records may still touch when drawn: a record of a few bytes
    // can fill the whole picture or decode a run-length DIB of 2^28 pixels,
    // and a thousand of them take minutes. Each record's share is estimated
    // before it draws or decodes (see Cost).
    std::int64_t DrawBudget = 0;
    bool Ended = false; // the drawing budget ran out: the play stops here

    // Takes a record's share of the drawing budget; false (and the play
    // ends, with one line in the trace) when the budget cannot cover it.
    bool Spend(double Pixels)
    {
        if (Ended)
            return false;
        if (!(Pixels <= double(DrawBudget))) {
            Ended = true;
            TraceLine("Metafile play ends: its drawing passes the metafile's limit");
            return false;
        }
        DrawBudget -= std::int64_t(Pixels);
        return true;
    }
    // Qt keeps pixels in int and wraps past 2^31: a clip from INT_MIN to
    // INT_MAX has a width no int holds, and a box reaching past INT_MAX is
    // filled from INT_MIN. So every box that becomes Qt's rectangle, region
    // or fill is held to the picture widened by kFarPixels on each side,
    // which changes no pixel on it. Box is in the coordinates T maps to
    // output pixels; a turned T is left alone (Qt fills such boxes as paths,
    // which cope). A NaN edge goes to the low end.
    QRectF Bounded(const QRectF &Box, const QTransform &T = {}) const
    {
        if (T.type() > QTransform::TxScale || !T.isInvertible())
            return Box;
        const QRectF d = T.mapRect(Box);
        auto hold = [](double v, int Side) { return v >= -kFarPixels ? std::min(v, Side + kFarPixels) : -kFarPixels; };
        const QRectF b(QPointF(hold(d.left(), Size_.width()), hold(d.top(), Size_.height())),
                       QPointF(hold(d.right(), Size_.width()), hold(d.bottom(), Size_.height())));
        return b == d ? Box : T.inverted().mapRect(b);
    }
    // The output pixels a drawing can reach: the picture, within the clip.
    QRectF Visible() const
    {
        QRectF r(QPointF(0, 0), QSizeF(Size_));
        return S.Clip ? r & QRectF(S.Clip->boundingRect()) : r;
    }
    static double Area(const QRectF &r) { return r.isEmpty() ? 0 : r.width() * r.height(); }
    std::int64_t Area() const { return std::int64_t(Size_.width()) * Size_.height(); }
    // The pixels a rectangle of output pixels covers on the picture.
    double Cost(const QRectF &Device) const { return Area(Device.normalized() & Visible()); }
    // The work of a path in output pixels. Filling costs its box on the
    // picture plus, for each pixel row, the square of the edges crossing it:
    // the rasteriser keeps a row's edges in order, and a polygon zigzagging
    // over the picture costs seconds where its area is nothing. A thin pen
    // costs 16 a pixel of length (it is drawn pixel by pixel), a wide one
    // its width a pixel of length, and the edges of its outline, twice the
    // path's. Each point costs one.
    double Cost(const QPainterPath &Device, bool FillShape, double PenWidth) const
    {
        const double margin = PenWidth + 1; // joins reach beyond half the width
        const QRectF box = Device.boundingRect().adjusted(-margin, -margin, margin, margin) & Visible();
        double cost = Device.elementCount();
        if (box.isEmpty())
            return cost;
        const int top = static_cast<int>(std::floor(box.top())), rows = static_cast<int>(std::ceil(box.bottom())) - top;
        std::vector<std::int32_t> edges(std::size_t(rows) + 1); // differences of the edges per row
        double length = 0;
        const double longest = box.width() + box.height();
        for (const QPolygonF &poly : Device.toSubpathPolygons())
            for (qsizetype i = 0; i < poly.size(); ++i) {
                // Filled subpaths close by themselves.
                const QPointF a = poly[i], b = poly[i + 1 < poly.size() ? i + 1 : 0];
                if (i + 1 == poly.size() && !FillShape)
                    break;
                length += std::min(std::hypot(b.x() - a.x(), b.y() - a.y()), longest);
                const double y0 = std::max(std::min(a.y(), b.y()) - top, 0.0),
                             y1 = std::min(std::max(a.y(), b.y()) - top, double(rows));
                if (y1 > y0) {
                    ++edges[std::size_t(y0)];
                    --edges[std::size_t(std::ceil(y1))];
                }
            }
        double squares = 0, k = 0;
        for (int r = 0; r < rows; ++r) {
            k += edges[std::size_t(r)];
            squares += k * k;
        }
        if (FillShape)
            cost += Area(box) + squares;
        if (PenWidth > 1)
            cost += length * PenWidth + 4 * squares;
        else if (PenWidth > 0)
            cost += 16 * length;
        return cost;
    }
    // A pen's width in output pixels (Scale: output pixels per unit of its
    // width); 0 for no pen.
    static double PenPixels(const QPen &Pen, double Scale)
    {
        if (Pen.style() == Qt::NoPen)
            return 0;
        const double w = Pen.isCosmetic() ? Pen.widthF() : Pen.widthF() * Scale;
        return std::isfinite(w) ? std::max(1.0, w) : kMaxPenWidth;
    }

    void NotPlayed(const std::string &Kind, std::uint32_t Type)
    {
        // Once per record type: a long metafile must not flood the trace.
        if (Skipped_.insert(Type).second)
            TraceLine(Kind + " record " + std::to_string(Type) + " not played");
    }

    // --- mapping
    QTransform Page() const
    {
        double sx = 1, sy = 1;
        switch (S.MapMode) {
        case MM_ISOTROPIC:
        case MM_ANISOTROPIC: {
            const double wx = S.WinExt.width() ? S.WinExt.width() : 1, wy = S.WinExt.height() ? S.WinExt.height() : 1;
            sx = S.VpExt.width() / wx;
            sy = S.VpExt.height() / wy;
            if (S.MapMode == MM_ISOTROPIC) {
                const double m = std::min(std::abs(sx), std::abs(sy));
                sx = sx < 0 ? -m : m;
                sy = sy < 0 ? -m : m;
            }
            break;
        }
        case MM_LOMETRIC: sx = 0.1, sy = -0.1; break;
        case MM_HIMETRIC: sx = 0.01, sy = -0.01; break;
        case MM_LOENGLISH: sx = 0.254, sy = -0.254; break;
        case MM_HIENGLISH: sx = 0.0254, sy = -0.0254; break;
        case MM_TWIPS: sx = 25.4 / 1440, sy = -25.4 / 1440; break;
        default: break;
        }
        if (S.MapMode >= MM_LOMETRIC && S.MapMode <= MM_TWIPS) {
            sx *= DevPerMM_.width();
            sy *= DevPerMM_.height();
        }
        return QTransform::fromTranslate(-S.WinOrg.x(), -S.WinOrg.y()) * QTransform::fromScale(sx, sy) *
               QTransform::fromTranslate(S.VpOrg.x(), S.VpOrg.y());
    }
    QTransform Full() const { return S.World * Page() * Base_; }

    // --- state
    void SaveDC() { Saved.push_back(S); }
    void RestoreDC(int n)
    {
        const long long count = static_cast<long long>(Saved.size());
        const long long target = n < 0 ? count + n : n - 1;
        if (target < 0 || target >= count)
            return;
        S = Saved[std::size_t(target)];
        Saved.resize(std::size_t(target));
    }
    void IntersectClip(const QRectF &r)
    {
        const QRegion add(Bounded(Full().mapRect(r.normalized())).toAlignedRect());
        S.Clip = S.Clip ? S.Clip->intersected(add) : add;
    }
    void ExcludeClip(const QRectF &r)
    {
        const QRegion cut(Bounded(Full().mapRect(r.normalized())).toAlignedRect());
        S.Clip = (S.Clip ? *S.Clip : QRegion(QRect(QPoint(0, 0), Size_))).subtracted(cut);
    }

    // --- objects
    TObject *Slot(std::uint32_t i) { return i < Objects.size() ? &Objects[i] : nullptr; }
    // The lowest free slot, as WMF places new objects; the free slots are
    // kept apart so that a long run of creations never rescans the table.
    TObject *FreeSlot()
    {
        if (!FreeKnown_) { // only WMF needs them: listed at its first object
            for (std::uint32_t i = 0; i < Objects.size(); ++i)
                Free_.insert(Free_.end(), i);
            FreeKnown_ = true;
        }
        if (Free_.empty())
            return nullptr;
        TObject *o = &Objects[*Free_.begin()];
        Free_.erase(Free_.begin());
        return o;
    }
    void FreeObject(std::uint32_t i)
    {
        if (i < Objects.size() && Objects[i].Type != TObject::None) {
            Objects[i] = TObject{};
            if (FreeKnown_)
                Free_.insert(i);
        }
    }
    void Select(const TObject &o)
    {
        switch (o.Type) {
        case TObject::APen: S.Pen = o.Pen; break;
        case TObject::ABrush: S.Brush = o.Brush; break;
        case TObject::AFont: S.Font = o.Font; break;
        default: break;
        }
    }
    void SelectStock(std::uint32_t i)
    {
        // The stock brushes' own greys (Qt's named greys differ).
        static const QRgb greys[] = {0xFFFFFF, 0xC0C0C0, 0x808080, 0x404040, 0x000000};
        if (i <= 4)
            S.Brush = QBrush(QColor(greys[i]));
        else if (i == 5)
            S.Brush = Qt::NoBrush;
        else if (i == 6 || i == 7)
            S.Pen = QPen(QBrush(i == 6 ? Qt::white : Qt::black), 0);
        else if (i == 8)
            S.Pen = Qt::NoPen;
        else if (i >= 10 && i <= 17 && i != 15)
            S.Font = TFontSpec{};
    }
    static QPen MakePen(std::uint32_t Style, double Width, std::uint32_t Color)
    {
        static const Qt::PenStyle styles[] = {Qt::SolidLine,      Qt::DashLine, Qt::DotLine, Qt::DashDotLine,
                                              Qt::DashDotDotLine, Qt::NoPen,    Qt::SolidLine};
        const std::uint32_t s = Style & 0xF;
        QPen pen(QBrush(ColorRef(Color)), std::min(std::abs(Width), kMaxPenWidth), s < 7 ? styles[s] : Qt::SolidLine);
        const std::uint32_t cap = Style & 0xF00, join = Style & 0xF000;
        pen.setCapStyle(cap == 0x100 ? Qt::SquareCap : cap == 0x200 ? Qt::FlatCap : Qt::RoundCap);
        pen.setJoinStyle(join == 0x1000 ? Qt::BevelJoin : join == 0x2000 ? Qt::MiterJoin : Qt::RoundJoin);
        return pen;
    }
    static QBrush MakeBrush(std::uint32_t Style, std::uint32_t Color, std::uint32_t Hatch)
    {
        static const Qt::BrushStyle hatches[] = {Qt::HorPattern, Qt::VerPattern, Qt::FDiagPattern,
                                                 Qt::BDiagPattern, Qt::CrossPattern, Qt::DiagCrossPattern};
        if (Style == 1)
            return Qt::NoBrush;
        if (Style == 2)
            return QBrush(ColorRef(Color), Hatch < 6 ? hatches[Hatch] : Qt::SolidPattern);
        return QBrush(ColorRef(Color));
    }

    // --- drawing
    void Prepare(bool Stroke, bool FillShape)
    {
        P.setTransform(Full());
        if (S.Clip)
            P.setClipRegion(*S.Clip, Qt::ReplaceClip);
        else
            P.setClipping(false);
        P.setPen(Stroke ? S.Pen : QPen(Qt::NoPen));
        P.setBrush(FillShape ? S.Brush : QBrush(Qt::NoBrush));
        P.setBackground(S.BkColor);
        P.setBackgroundMode(S.Opaque ? Qt::OpaqueMode : Qt::TransparentMode);
    }
    // Inside a path bracket shapes are collected (in output pixels) instead.
    bool Collect(const QPainterPath &Logical)
    {
        if (!InPath)
            return false;
        if (!Path)
            Path.emplace();
        Path->addPath(Full().map(Logical));
        return true;
    }
    void Shape(const QPainterPath &path, bool FillShape)
    {
        if (Collect(path))
            return;
        if (!Spend(Cost(Full().map(path), FillShape && S.Brush.style() != Qt::NoBrush, PenPixels(S.Pen, std::sqrt(std::abs(Full().determinant()))))))
            return;
        Prepare(true, FillShape);
        P.drawPath(path);
    }
    void Polyline(const QPolygonF &pts)
    {
        QPainterPath path;
        path.addPolygon(pts);
        Shape(path, false);
    }
    void Polygon(const std::vector<QPolygonF> &polys)
    {
        QPainterPath path;
        path.setFillRule(S.Fill);
        for (const auto &p : polys) {
            path.addPolygon(p);
            path.closeSubpath();
        }
        Shape(path, true);
    }
    void Bezier(const QPolygonF &pts, bool FromCurrent)
    {
        if (pts.size() < (FromCurrent ? 3 : 4))
            return;
        QPainterPath path(FromCurrent ? S.Cur : pts[0]);
        for (qsizetype i = FromCurrent ? 0 : 1; i + 2 < pts.size(); i += 3)
            path.cubicTo(pts[i], pts[i + 1], pts[i + 2]);
        S.Cur = path.currentPosition();
        Shape(path, false);
    }
    void LineTo(const QPointF &p)
    {
        QPainterPath path(S.Cur);
        path.lineTo(p);
        S.Cur = p;
        Shape(path, false);
    }
    void Rect(const QRectF &r, double Rx = 0, double Ry = 0)
    {
        QPainterPath path;
        if (Rx > 0 || Ry > 0)
            path.addRoundedRect(r.normalized(), Rx / 2, Ry / 2);
        else
            path.addRect(r.normalized());
        Shape(path, true);
    }
    void Ellipse(const QRectF &r)
    {
        QPainterPath path;
        path.addEllipse(r.normalized());
        Shape(path, true);
    }
    // 0 arc, 1 chord, 2 pie: counter-clockwise from the start radial to the end radial.
    void Arc(const QRectF &box, const QPointF &start, const QPointF &end, int Kind)
    {
        const QRectF r = box.normalized();
        if (r.width() <= 0 || r.height() <= 0)
            return;
        const QPointF c = r.center();
        // Arcs run counter-clockwise on the output: where the mapping mirrors
        // (a y axis pointing up), that is clockwise here, so the ends swap.
        const bool mirrored = Full().determinant() < 0;
        const QPointF &from = mirrored ? end : start, &to = mirrored ? start : end;
        auto angle = [&](const QPointF &p) {
            return std::atan2(-(p.y() - c.y()) / r.height(), (p.x() - c.x()) / r.width()) * 180 / M_PI;
        };
        const double a0 = angle(from);
        double span = std::fmod(angle(to) - a0 + 720, 360);
        if (span == 0)
            span = 360;
        QPainterPath path;
        if (Kind == 2)
            path.moveTo(c);
        else
            path.arcMoveTo(r, a0);
        path.arcTo(r, a0, span);
        if (Kind)
            path.closeSubpath();
        Shape(path, Kind != 0);
    }
    // Drawing in device pixels under the current clip: the mapping is applied by hand.
    void DeviceSpace()
    {
        P.setTransform(QTransform());
        if (S.Clip)
            P.setClipRegion(*S.Clip);
        else
            P.setClipping(false);
    }
    void Pixel(const QPointF &p, std::uint32_t Color)
    {
        if (!Spend(1))
            return;
        DeviceSpace();
        const QPointF d = Full().map(p);
        P.fillRect(Bounded(QRectF(std::floor(d.x()), std::floor(d.y()), 1, 1)), ColorRef(Color));
    }
    // Text is never mirrored by the mapping: only its position and size are
    // mapped, then it is drawn in output pixels.
    void Text(const QPointF &Ref, const QString &Whole, const std::optional<QRectF> &Opaque, bool Clipped)
    {
        const QString Text = Whole.left(kMaxTextChars);
        // Fonts need the application object; a tool without one gets no text.
        if (!QGuiApplication::instance()) {
            NotPlayed("Text without fonts:", 0);
            return;
        }
        const QTransform t = Full();
        // Characters are paid for before they are laid out, the box they
        // fill once it is known.
        const QRectF opaqueBox = Opaque ? t.mapRect(Opaque->normalized()) : QRectF();
        if (!Spend(double(Text.size()) * kCharPixels + (Opaque ? Cost(opaqueBox) : 0)))
            return;
        const bool update = S.TextAlign & 1;
        const QPointF at = t.map(update ? S.Cur : Ref);
        const double scale = std::hypot(t.m21(), t.m22());
        double px = std::abs(S.Font.Height) * scale;
        px = std::clamp(px ? px : 16.0, 1.0, kMaxFontPixels);
        QFont font(S.Font.Family.isEmpty() ? QStringLiteral("Sans Serif") : S.Font.Family);
        font.setPixelSize(std::max(1, int(std::lround(px))));
        if (S.Font.Weight > 0)
            font.setWeight(QFont::Weight(std::clamp(S.Font.Weight, 100, 900)));
        font.setItalic(S.Font.Italic);
        font.setUnderline(S.Font.Underline);
        font.setStrikeOut(S.Font.StrikeOut);
        font.setStyleStrategy(QFont::NoAntialias);
        // A positive height is the character cell (ascent plus descent), a
        // negative one the character itself, the size Qt's pixel size means.
        if (S.Font.Height > 0) {
            const double cell = QFontMetricsF(font).height();
            if (cell > 0)
                font.setPixelSize(std::max(1, int(std::lround(px * font.pixelSize() / cell))));
        }
        DeviceSpace();
        const QRectF box = Opaque ? Bounded(opaqueBox) : QRectF();
        if (Opaque)
            P.fillRect(box, S.BkColor);
        if (Clipped && Opaque)
            P.setClipRect(box, Qt::IntersectClip);
        const QFontMetricsF fm(font, P.device());
        const double w = fm.horizontalAdvance(Text);
        double x = 0, y = 0;
        switch (S.TextAlign & 6) {
        case 6: x = -w / 2; break;
        case 2: x = -w; break;
        default: break;
        }
        switch (S.TextAlign & 24) {
        case 24: y = 0; break;
        case 8: y = -fm.descent(); break;
        default: y = fm.ascent(); break;
        }
        P.translate(at);
        if (S.Font.Escapement)
            P.rotate(-S.Font.Escapement / 10);
        if (!Spend(Cost(P.transform().mapRect(QRectF(x, y - fm.ascent(), w, fm.height())))))
            return;
        if (S.Opaque && !Opaque)
            P.fillRect(Bounded(QRectF(x, y - fm.ascent(), w, fm.height()), P.transform()), S.BkColor);
        P.setFont(font);
        P.setPen(S.TextColor);
        P.setBackgroundMode(Qt::TransparentMode);
        P.drawText(QPointF(x, y), Text);
        if (update)
            S.Cur = t.inverted().map(at + QPointF(w, 0));
    }
    // A bitmap blit: Source's rectangle Src (top-based pixels) into Dest
    // (logical units) with one of the common raster operations.
    void Blit(const QImage &Source, QRectF Src, QRectF Dest, std::uint32_t Rop)
    {
        if (Src.width() == 0 || Src.height() == 0)
            Src = QRectF(0, 0, Source.width(), Source.height());
        // The source was paid for when it was decoded.
        if (!Spend(Cost(Full().mapRect(Dest))))
            return;
        // Far edges are cut (see Bounded), the source with them in
        // proportion; each edge keeps its side, so a mirrored blit stays so.
        const QRectF held = Bounded(Dest, Full());
        if (held != Dest && Dest.width() && Dest.height()) {
            const QTransform toSrc = QTransform::fromTranslate(-Dest.left(), -Dest.top()) *
                                     QTransform::fromScale(Src.width() / Dest.width(), Src.height() / Dest.height()) *
                                     QTransform::fromTranslate(Src.left(), Src.top());
            auto in = [&](const QPointF &p) {
                return QPointF(std::clamp(p.x(), held.left(), held.right()),
                               std::clamp(p.y(), held.top(), held.bottom()));
            };
            Dest = QRectF(in(Dest.topLeft()), in(Dest.bottomRight()));
            Src = QRectF(toSrc.map(Dest.topLeft()), toSrc.map(Dest.bottomRight()));
        }
        QPainter::CompositionMode mode = QPainter::CompositionMode_SourceOver;
        switch (Rop) {
        case SRCCOPY: break;
        case SRCPAINT: mode = QPainter::RasterOp_SourceOrDestination; break;
        case SRCAND: mode = QPainter::RasterOp_SourceAndDestination; break;
        case SRCINVERT: mode = QPainter::RasterOp_SourceXorDestination; break;
        case NOTSRCCOPY: mode = QPainter::RasterOp_NotSource; break;
        default: NotPlayed("Raster operation", Rop); break;
        }
        Prepare(false, false);
        P.setRenderHint(QPainter::SmoothPixmapTransform, S.StretchMode == 4);
        P.setCompositionMode(mode);
        P.drawImage(Dest, Source.format() == QImage::Format_RGB32 ? Source : Source.convertToFormat(QImage::Format_RGB32),
                    Src);
        P.setCompositionMode(QPainter::CompositionMode_SourceOver);
    }
    // A blit without a source: the brush, black, white or an inversion.
    void PatBlt(const QRectF &Logical, std::uint32_t Rop)
    {
        if (!Spend(Cost(Full().mapRect(Logical))))
            return;
        const QRectF Dest = Bounded(Logical, Full());
        Prepare(false, false);
        switch (Rop) {
        case BLACKNESS: P.fillRect(Dest, Qt::black); break;
        case WHITENESS: P.fillRect(Dest, Qt::white); break;
        case DSTINVERT:
            P.setCompositionMode(QPainter::RasterOp_NotDestination);
            P.fillRect(Dest, Qt::black);
            break;
        case PATINVERT:
            P.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
            P.fillRect(Dest, S.Brush);
            break;
        default:
            if (Rop != PATCOPY)
                NotPlayed("Raster operation", Rop);
            P.fillRect(Dest, S.Brush);
            break;
        }
        P.setCompositionMode(QPainter::CompositionMode_SourceOver);
    }
    void FillPath(bool Stroke, bool FillShape)
    {
        if (!Path)
            return;
        QPen pen = S.Pen;
        if (pen.style() != Qt::NoPen && !pen.isCosmetic()) {
            const double w = pen.widthF() * std::hypot(Full().m11(), Full().m12());
            pen.setWidthF(std::isfinite(w) ? std::min(w, kMaxPenWidth) : kMaxPenWidth);
        }
        if (!Spend(Cost(*Path, FillShape && S.Brush.style() != Qt::NoBrush, Stroke ? PenPixels(pen, 1) : 0)))
            return;
        DeviceSpace();
        P.setPen(Stroke ? pen : QPen(Qt::NoPen));
        P.setBrush(FillShape ? S.Brush : QBrush(Qt::NoBrush));
        Path->setFillRule(S.Fill);
        P.drawPath(*Path);
        Path.reset();
    }

private:
    QTransform Base_;
    QSizeF DevPerMM_;
    QSize Size_;
    std::set<std::uint32_t> Skipped_;
    std::set<std::uint32_t> Free_;
    bool FreeKnown_ = false;
};

// A packed DIB (header, colour table, pixels) or the two apart, as a picture;
// empty when the reader refuses it (the record is then passed over).
QImage DIBImage(TPlayer &Pl, const TView &Info, const TView &Bits, std::uint32_t Usage)
{
    const bool core = Info.U32(0) == 12;
    const std::int64_t pixels = core ? std::int64_t(Info.U16(4)) * Info.U16(6)
                                     : std::abs(std::int64_t(Info.S32(4))) * std::abs(std::int64_t(Info.S32(8)));
    // One bitmap with more pixels than both the picture and 2^24 shows no
    // more than a smaller one would (it is drawn reduced), while a run-length
    // DIB of two bytes could make a single record decode 2^28 pixels.
    const std::int64_t most = std::max(std::int64_t(1) << 24, Pl.Area());
    if (pixels > most) {
        TraceLine("Metafile bitmap not drawn: its pixels pass the metafile's limit");
        return {};
    }
    if (!Pl.Spend(double(pixels) * kDecodedPixelCost))
        return {};
    if (Usage == 1)
        Pl.NotPlayed("Palette-index bitmap usage", 1);
    try {
        TLinearBitmap b;
        if (Bits.P)
            ReadDIB(Info.P, Info.N, Bits.P, Bits.N, b);
        else
            ReadDIB(Info.P, Info.N, b);
        QImage img;
        b.AssignTo(img);
        return img;
    } catch (const std::exception &e) {
        TraceLine(std::string("Metafile bitmap not drawn: ") + e.what());
        return {};
    }
}

// The source rectangle of a blit in top-based rows: bottom-up DIBs count
// their source rows from the bottom.
QRectF SourceRect(const TView &Info, const QImage &Img, double X, double Y, double W, double H)
{
    const std::uint32_t header = Info.U32(0);
    const bool bottomUp = header == 12 || Info.S32(8) > 0;
    if (bottomUp && H > 0)
        Y = Img.height() - Y - H;
    return QRectF(X, Y, W, H);
}

// ----------------------------------------------------------------- WMF

struct TWMFParams {
    TView V; // the record's parameters (after size and function)
    std::size_t Words() const { return V.N / 2; }
    double W(std::size_t i) const { return V.S16(2 * i); }
    std::uint16_t U(std::size_t i) const { return V.U16(2 * i); }
    std::uint32_t U32(std::size_t i) const { return V.U32(2 * i); }
    // A point stored as (y, x) at word i.
    QPointF YX(std::size_t i) const { return QPointF(W(i + 1), W(i)); }
    // A rectangle stored as bottom, right, top, left from word i.
    QRectF BRTL(std::size_t i) const { return QRectF(QPointF(W(i + 3), W(i + 2)), QPointF(W(i + 1), W(i))); }
};

QPolygonF WMFPoints(const TView &V, std::size_t Off, std::size_t Count)
{
    QPolygonF pts;
    if (!V.Has(Off, Count * 4))
        return pts;
    pts.reserve(qsizetype(Count));
    for (std::size_t i = 0; i < Count; ++i)
        pts << QPointF(V.S16(Off + 4 * i), V.S16(Off + 4 * i + 2));
    return pts;
}

QString AnsiText(const TView &V, std::size_t Off, std::size_t Len)
{
    if (!V.Has(Off, Len))
        return {};
    return QString::fromLatin1(reinterpret_cast<const char *>(V.P + Off), qsizetype(Len));
}

TFontSpec WMFFont(const TWMFParams &p)
{
    TFontSpec f;
    f.Height = p.W(0);
    f.Escapement = p.W(2);
    f.Weight = p.W(4);
    f.Italic = p.V.Has(10, 1) && p.V.P[10];
    f.Underline = p.V.Has(11, 1) && p.V.P[11];
    f.StrikeOut = p.V.Has(12, 1) && p.V.P[12];
    if (p.V.N > 18) {
        const std::size_t n = std::min<std::size_t>(p.V.N - 18, 32);
        const char *name = reinterpret_cast<const char *>(p.V.P + 18);
        f.Family = QString::fromLatin1(name, qsizetype(strnlen(name, n)));
    }
    return f;
}

void PlayWMFRecord(TPlayer &Pl, std::uint16_t Func, const TWMFParams &p)
{
    TState &S = Pl.S;
    const std::size_t n = p.Words();
    auto need = [&](std::size_t words) {
        if (n >= words)
            return true;
        Pl.NotPlayed("Short WMF", Func);
        return false;
    };
    auto add = [&](TObject o) {
        if (TObject *slot = Pl.FreeSlot())
            *slot = std::move(o);
        else
            Pl.NotPlayed("WMF object beyond the table", Func);
    };
    switch (Func) {
    case 0x0103: if (need(1)) S.MapMode = p.U(0); break;
    case 0x020B: if (need(2)) S.WinOrg = p.YX(0); break;
    case 0x020C: if (need(2)) S.WinExt = QSizeF(p.W(1), p.W(0)); break;
    case 0x020D: if (need(2)) S.VpOrg = p.YX(0); break;
    case 0x020E: if (need(2)) S.VpExt = QSizeF(p.W(1), p.W(0)); break;
    case 0x020F: if (need(2)) S.WinOrg += p.YX(0); break;
    case 0x0211: if (need(2)) S.VpOrg += p.YX(0); break;
    case 0x0410:
        if (need(4) && p.W(2) && p.W(0))
            S.WinExt = QSizeF(S.WinExt.width() * p.W(3) / p.W(2), S.WinExt.height() * p.W(1) / p.W(0));
        break;
    case 0x0412:
        if (need(4) && p.W(2) && p.W(0))
            S.VpExt = QSizeF(S.VpExt.width() * p.W(3) / p.W(2), S.VpExt.height() * p.W(1) / p.W(0));
        break;
    case 0x001E: Pl.SaveDC(); break;
    case 0x0127: if (need(1)) Pl.RestoreDC(static_cast<std::int16_t>(p.U(0))); break;
    case 0x0201: if (need(2)) S.BkColor = ColorRef(p.U32(0)); break;
    case 0x0209: if (need(2)) S.TextColor = ColorRef(p.U32(0)); break;
    case 0x0102: if (need(1)) S.Opaque = p.U(0) == 2; break;
    case 0x0106: if (need(1)) S.Fill = p.U(0) == 2 ? Qt::WindingFill : Qt::OddEvenFill; break;
    case 0x0107: if (need(1)) S.StretchMode = p.U(0); break;
    case 0x012E: if (need(1)) S.TextAlign = p.U(0); break;
    case 0x0104: break; // the mix mode: drawing is always a copy here
    case 0x0416: if (need(4)) Pl.IntersectClip(p.BRTL(0)); break;
    case 0x0415: if (need(4)) Pl.ExcludeClip(p.BRTL(0)); break;
    case 0x02FA:
        if (need(5)) {
            TObject o;
            o.Type = TObject::APen;
            o.Pen = TPlayer::MakePen(p.U(0), p.W(1), p.U32(3));
            add(o);
        }
        break;
    case 0x02FC:
        if (need(4)) {
            TObject o;
            o.Type = TObject::ABrush;
            o.Brush = TPlayer::MakeBrush(p.U(0), p.U32(1), p.U(3));
            add(o);
        }
        break;
    case 0x02FB:
        if (need(9)) {
            TObject o;
            o.Type = TObject::AFont;
            o.Font = WMFFont(p);
            add(o);
        }
        break;
    case 0x0142: { // DIB pattern brush
        TObject o;
        o.Type = TObject::ABrush;
        if (n >= 2) {
            const QImage img = DIBImage(Pl, p.V.Sub(4, p.V.N - 4), {}, p.U(1));
            o.Brush = img.isNull() ? QBrush(Qt::black) : QBrush(img);
        }
        add(o);
        break;
    }
    case 0x00F7: // palette, pattern brush and region: their slot is taken
    case 0x01F9:
    case 0x06FF: {
        TObject o;
        o.Type = TObject::Other;
        add(o);
        if (Func != 0x00F7)
            Pl.NotPlayed("WMF", Func);
        break;
    }
    case 0x012D:
        if (need(1)) {
            if (TObject *o = Pl.Slot(p.U(0)))
                Pl.Select(*o);
            else
                Pl.NotPlayed("WMF object index out of range in", Func);
        }
        break;
    case 0x01F0:
        if (need(1))
            Pl.FreeObject(p.U(0));
        break;
    case 0x0234: // select and realise a palette: true colour needs neither
    case 0x0035:
        break;
    case 0x0214: if (need(2)) S.Cur = p.YX(0); break;
    case 0x0213: if (need(2)) Pl.LineTo(p.YX(0)); break;
    case 0x041B: if (need(4)) Pl.Rect(p.BRTL(0)); break;
    case 0x061C: if (need(6)) Pl.Rect(p.BRTL(2), p.W(1), p.W(0)); break;
    case 0x0418: if (need(4)) Pl.Ellipse(p.BRTL(0)); break;
    case 0x0817:
    case 0x0830:
    case 0x081A:
        if (need(8))
            Pl.Arc(p.BRTL(4), p.YX(2), p.YX(0), Func == 0x0817 ? 0 : Func == 0x0830 ? 1 : 2);
        break;
    case 0x0324:
    case 0x0325:
        if (need(1)) {
            const QPolygonF pts = WMFPoints(p.V, 2, p.U(0));
            if (pts.isEmpty())
                Pl.NotPlayed("Short WMF", Func);
            else if (Func == 0x0324)
                Pl.Polygon({pts});
            else
                Pl.Polyline(pts);
        }
        break;
    case 0x0538:
        if (need(1)) {
            const std::size_t polys = p.U(0);
            std::vector<QPolygonF> all;
            std::size_t off = 2 + 2 * polys;
            for (std::size_t i = 0; i < polys && p.V.Has(off, 0); ++i) {
                const std::size_t count = p.V.U16(2 + 2 * i);
                QPolygonF pts = WMFPoints(p.V, off, count);
                if (pts.size() != qsizetype(count))
                    break;
                all.push_back(pts);
                off += 4 * count;
            }
            Pl.Polygon(all);
        }
        break;
    case 0x041F: if (need(4)) Pl.Pixel(p.YX(2), p.U32(0)); break;
    case 0x0521:
        if (need(1)) {
            const std::size_t len = p.U(0), padded = (len + 1) & ~std::size_t(1);
            if (n >= 1 + padded / 2 + 2)
                Pl.Text(p.YX(1 + padded / 2), AnsiText(p.V, 2, len), std::nullopt, false);
        }
        break;
    case 0x0A32:
        if (need(4)) {
            const std::size_t len = p.U(2), opts = p.U(3);
            const bool rect = opts & 6;
            const std::size_t textOff = rect ? 16 : 8;
            std::optional<QRectF> r;
            if (rect && n >= 8)
                r = QRectF(QPointF(p.W(4), p.W(5)), QPointF(p.W(6), p.W(7)));
            if (p.V.Has(textOff, len))
                Pl.Text(p.YX(0), AnsiText(p.V, textOff, len), (opts & 2) ? r : std::nullopt, (opts & 4) && r);
        }
        break;
    case 0x061D:
        if (need(6)) Pl.PatBlt(QRectF(p.W(5), p.W(4), p.W(3), p.W(2)), p.U32(0));
        break;
    case 0x0F43: // StretchDIB
        if (need(11)) {
            const TView info = p.V.Sub(22, p.V.N - 22);
            const QImage img = DIBImage(Pl, info, {}, p.U(2));
            if (!img.isNull())
                Pl.Blit(img, SourceRect(info, img, p.W(6), p.W(5), p.W(4), p.W(3)),
                        QRectF(p.W(10), p.W(9), p.W(8), p.W(7)), p.U32(0));
        }
        break;
    case 0x0B41: // DIBStretchBlt
    case 0x0940: // DIBBitBlt
    {
        const bool stretch = Func == 0x0B41;
        const std::size_t head = stretch ? 10 : 8; // words before the bitmap
        if (!need(head))
            break;
        if (n == std::size_t(Func >> 8)) { // no bitmap, a reserved word: a pattern blit
            if (stretch)
                Pl.PatBlt(QRectF(p.W(10), p.W(9), p.W(8), p.W(7)), p.U32(0));
            else
                Pl.PatBlt(QRectF(p.W(8), p.W(7), p.W(6), p.W(5)), p.U32(0));
            break;
        }
        const TView info = p.V.Sub(2 * head, p.V.N - 2 * head);
        const QImage img = DIBImage(Pl, info, {}, 0);
        if (img.isNull())
            break;
        if (stretch)
            Pl.Blit(img, SourceRect(info, img, p.W(5), p.W(4), p.W(3), p.W(2)),
                    QRectF(p.W(9), p.W(8), p.W(7), p.W(6)), p.U32(0));
        else
            Pl.Blit(img, SourceRect(info, img, p.W(3), p.W(2), p.W(5), p.W(4)),
                    QRectF(p.W(7), p.W(6), p.W(5), p.W(4)), p.U32(0));
        break;
    }
    case 0x0D33: // SetDIBitsToDevice
        if (need(9)) {
            const TView info = p.V.Sub(18, p.V.N - 18);
            const QImage img = DIBImage(Pl, info, {}, p.U(0));
            if (!img.isNull())
                Pl.Blit(img, SourceRect(info, img, p.W(4), p.W(3), p.W(6), p.W(5)),
                        QRectF(p.W(8), p.W(7), p.W(6), p.W(5)), SRCCOPY);
        }
        break;
    default:
        Pl.NotPlayed("WMF", Func);
        break;
    }
}

// ----------------------------------------------------------------- EMF

QRectF RectL(const TView &V, std::size_t o)
{
    return QRectF(QPointF(V.S32(o), V.S32(o + 4)), QPointF(V.S32(o + 8), V.S32(o + 12)));
}
QPointF PointL(const TView &V, std::size_t o) { return QPointF(V.S32(o), V.S32(o + 4)); }

QPolygonF EMFPoints(const TView &V, std::size_t Off, std::size_t Count, bool Short)
{
    const std::size_t size = Short ? 4 : 8;
    QPolygonF pts;
    if (Count > V.N / size || !V.Has(Off, Count * size))
        return pts;
    pts.reserve(qsizetype(Count));
    for (std::size_t i = 0; i < Count; ++i)
        pts << (Short ? QPointF(V.S16(Off + 4 * i), V.S16(Off + 4 * i + 2)) : PointL(V, Off + 8 * i));
    return pts;
}

QTransform XForm(const TView &V, std::size_t o)
{
    return QTransform(V.F32(o), V.F32(o + 4), V.F32(o + 8), V.F32(o + 12), V.F32(o + 16), V.F32(o + 20));
}

// The bitmap of a record: header and pixels at offsets from the record's start.
QImage EMFBitmap(TPlayer &Pl, const TView &R, std::size_t OffInfo, std::uint32_t Usage, TView &Info)
{
    const std::uint32_t offBmi = R.U32(OffInfo), cbBmi = R.U32(OffInfo + 4);
    const std::uint32_t offBits = R.U32(OffInfo + 8), cbBits = R.U32(OffInfo + 12);
    Info = R.Sub(offBmi, cbBmi);
    const TView bits = R.Sub(offBits, cbBits);
    if (!Info.P || !bits.P) {
        Pl.NotPlayed("EMF bitmap outside its record in", R.U32(0));
        return {};
    }
    return DIBImage(Pl, Info, bits, Usage);
}

void PlayEMFRecord(TPlayer &Pl, std::uint32_t Type, const TView &R)
{
    TState &S = Pl.S;
    auto need = [&](std::size_t bytes) {
        if (R.N >= bytes)
            return true;
        Pl.NotPlayed("Short EMF", Type);
        return false;
    };
    auto slot = [&](std::uint32_t i) -> TObject * {
        TObject *o = i ? Pl.Slot(i) : nullptr;
        if (!o)
            Pl.NotPlayed("EMF object index out of range in", Type);
        return o;
    };
    auto polys = [&](bool Short) {
        if (!need(32))
            return std::vector<QPolygonF>{};
        const std::uint32_t count = R.U32(24), total = R.U32(28);
        std::vector<QPolygonF> all;
        if (count > R.N / 4)
            return all;
        std::size_t off = 32 + std::size_t(count) * 4;
        std::uint64_t used = 0;
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::uint32_t c = R.U32(32 + 4 * i);
            used += c;
            QPolygonF pts = EMFPoints(R, off, c, Short);
            if (used > total || pts.size() != qsizetype(c))
                break;
            all.push_back(pts);
            off += std::size_t(c) * (Short ? 4 : 8);
        }
        return all;
    };
    switch (Type) {
    case 9: if (need(16)) S.WinExt = QSizeF(R.S32(8), R.S32(12)); break;
    case 10: if (need(16)) S.WinOrg = PointL(R, 8); break;
    case 11: if (need(16)) S.VpExt = QSizeF(R.S32(8), R.S32(12)); break;
    case 12: if (need(16)) S.VpOrg = PointL(R, 8); break;
    case 31: case 32: // ScaleViewportExtEx, ScaleWindowExtEx: x num, x denom, y num, y denom
        if (need(24) && R.S32(12) && R.S32(20)) {
            QSizeF &ext = Type == 31 ? S.VpExt : S.WinExt;
            ext = QSizeF(ext.width() * R.S32(8) / R.S32(12), ext.height() * R.S32(16) / R.S32(20));
        }
        break;
    case 17: if (need(12)) S.MapMode = R.S32(8); break;
    case 18: if (need(12)) S.Opaque = R.U32(8) == 2; break;
    case 19: if (need(12)) S.Fill = R.U32(8) == 2 ? Qt::WindingFill : Qt::OddEvenFill; break;
    case 21: if (need(12)) S.StretchMode = R.S32(8); break;
    case 22: if (need(12)) S.TextAlign = R.S32(8); break;
    case 24: if (need(12)) S.TextColor = ColorRef(R.U32(8)); break;
    case 25: if (need(12)) S.BkColor = ColorRef(R.U32(8)); break;
    case 27: if (need(16)) S.Cur = PointL(R, 8); break;
    case 33: Pl.SaveDC(); break;
    case 34: if (need(12)) Pl.RestoreDC(R.S32(8)); break;
    case 35: if (need(32)) S.World = XForm(R, 8); break;
    case 36:
        if (need(36)) {
            const QTransform x = XForm(R, 8);
            switch (R.U32(32)) {
            case 1: S.World = QTransform(); break;
            case 2: S.World = x * S.World; break;
            case 3: S.World = S.World * x; break;
            case 4: S.World = x; break;
            default: break;
            }
        }
        break;
    case 30: if (need(24)) Pl.IntersectClip(RectL(R, 8)); break;
    case 29: if (need(24)) Pl.ExcludeClip(RectL(R, 8)); break;
    case 75: // only "no clip region" is understood
        if (need(16) && R.U32(8) == 0 && R.U32(12) == 5)
            S.Clip.reset();
        else
            Pl.NotPlayed("EMF", Type);
        break;
    case 37:
        if (need(12)) {
            const std::uint32_t i = R.U32(8);
            if (i & 0x80000000u)
                Pl.SelectStock(i & 0x7FFFFFFF);
            else if (TObject *o = slot(i))
                Pl.Select(*o);
        }
        break;
    case 40:
        if (need(12))
            if (TObject *o = slot(R.U32(8)))
                *o = TObject{};
        break;
    case 38:
        if (need(28))
            if (TObject *o = slot(R.U32(8))) {
                o->Type = TObject::APen;
                o->Pen = TPlayer::MakePen(R.U32(12), R.S32(16), R.U32(24));
            }
        break;
    case 95:
        if (need(52))
            if (TObject *o = slot(R.U32(8))) {
                o->Type = TObject::APen;
                // A cosmetic pen is one pixel wide whatever its width says.
                const bool geometric = R.U32(28) & 0x10000;
                o->Pen = R.U32(36) == 1 ? QPen(Qt::NoPen)
                                        : TPlayer::MakePen(R.U32(28), geometric ? R.U32(32) : 0, R.U32(40));
            }
        break;
    case 39:
        if (need(24))
            if (TObject *o = slot(R.U32(8))) {
                o->Type = TObject::ABrush;
                o->Brush = TPlayer::MakeBrush(R.U32(12), R.U32(16), R.U32(20));
            }
        break;
    case 94:
        if (need(32))
            if (TObject *o = slot(R.U32(8))) {
                TView info;
                const QImage img = EMFBitmap(Pl, R, 16, R.U32(12), info);
                o->Type = TObject::ABrush;
                o->Brush = img.isNull() ? QBrush(Qt::black) : QBrush(img);
            }
        break;
    case 82:
        if (need(104))
            if (TObject *o = slot(R.U32(8))) {
                o->Type = TObject::AFont;
                TFontSpec &f = o->Font;
                f = TFontSpec{};
                f.Height = R.S32(12);
                f.Escapement = R.S32(20);
                f.Weight = R.S32(28);
                f.Italic = R.P[32], f.Underline = R.P[33], f.StrikeOut = R.P[34];
                for (std::size_t i = 0; i < 32 && R.U16(40 + 2 * i); ++i)
                    f.Family += QChar(R.U16(40 + 2 * i));
            }
        break;
    case 49: // a palette takes its slot; true colour does not use it
        if (need(12))
            if (TObject *o = slot(R.U32(8)))
                o->Type = TObject::Other;
        break;
    case 48: case 52: case 70: break; // palette selection, realisation, comments
    case 54: if (need(16)) Pl.LineTo(PointL(R, 8)); break;
    case 42: if (need(24)) Pl.Ellipse(RectL(R, 8)); break;
    case 43: if (need(24)) Pl.Rect(RectL(R, 8)); break;
    case 44: if (need(32)) Pl.Rect(RectL(R, 8), R.S32(24), R.S32(28)); break;
    case 45: case 46: case 47:
        if (need(40)) Pl.Arc(RectL(R, 8), PointL(R, 24), PointL(R, 32), Type == 45 ? 0 : Type == 46 ? 1 : 2);
        break;
    case 15: if (need(20)) Pl.Pixel(PointL(R, 8), R.U32(16)); break;
    case 2: case 3: case 4: case 5: case 6:
    case 85: case 86: case 87: case 88: case 89:
        if (need(28)) {
            const bool shortPts = Type >= 85;
            const std::uint32_t kind = shortPts ? Type - 83 : Type;
            const QPolygonF pts = EMFPoints(R, 28, R.U32(24), shortPts);
            if (pts.isEmpty())
                break;
            if (kind == 3)
                Pl.Polygon({pts});
            else if (kind == 4)
                Pl.Polyline(pts);
            else if (kind == 2 || kind == 5)
                Pl.Bezier(pts, kind == 5);
            else { // PolylineTo: from the current position
                QPolygonF all;
                all << S.Cur << pts;
                Pl.Polyline(all);
                S.Cur = pts.back();
            }
        }
        break;
    case 7: case 90:
        for (const auto &p : polys(Type == 90))
            Pl.Polyline(p);
        break;
    case 8: case 91: Pl.Polygon(polys(Type == 91)); break;
    case 59: Pl.InPath = true, Pl.Path.reset(); break;
    case 60: Pl.InPath = false; break;
    case 61: if (Pl.Path) Pl.Path->closeSubpath(); break;
    case 68: Pl.InPath = false, Pl.Path.reset(); break;
    case 62: Pl.FillPath(false, true); break;
    case 63: Pl.FillPath(true, true); break;
    case 64: Pl.FillPath(true, false); break;
    case 83: case 84: // ExtTextOutA / ExtTextOutW
        if (need(76)) {
            const std::uint32_t chars = R.U32(44), off = R.U32(48), opts = R.U32(52);
            const bool wide = Type == 84;
            const TView text = R.Sub(off, std::size_t(chars) * (wide ? 2 : 1));
            if (!text.P && chars) {
                Pl.NotPlayed("Short EMF", Type);
                break;
            }
            const std::size_t used = std::min<std::size_t>(chars, kMaxTextChars);
            QString s;
            if (wide)
                for (std::size_t i = 0; i < used; ++i)
                    s += QChar(text.U16(2 * i));
            else
                s = AnsiText(text, 0, used);
            const QRectF r = RectL(R, 56);
            Pl.Text(PointL(R, 36), s, (opts & 2) ? std::optional<QRectF>(r) : std::nullopt, opts & 4);
        }
        break;
    case 81: // StretchDIBits
        if (need(80)) {
            TView info;
            const QImage img = EMFBitmap(Pl, R, 48, R.U32(64), info);
            if (!img.isNull())
                Pl.Blit(img, SourceRect(info, img, R.S32(32), R.S32(36), R.S32(40), R.S32(44)),
                        QRectF(R.S32(24), R.S32(28), R.S32(72), R.S32(76)), R.U32(68));
        }
        break;
    case 76: case 77: // BitBlt, StretchBlt
        if (need(Type == 76 ? 100 : 108)) {
            const QRectF dest(R.S32(24), R.S32(28), R.S32(32), R.S32(36));
            if (R.U32(88) == 0) { // no source: the brush
                Pl.PatBlt(dest, R.U32(40));
                break;
            }
            TView info;
            const QImage img = EMFBitmap(Pl, R, 84, R.U32(80), info);
            const double sw = Type == 77 ? R.S32(100) : dest.width(), sh = Type == 77 ? R.S32(104) : dest.height();
            // The source is a device context holding the bitmap: its rows
            // count from the top whatever the DIB's row order.
            if (!img.isNull())
                Pl.Blit(img, QRectF(R.S32(44), R.S32(48), sw, sh), dest, R.U32(40));
        }
        break;
    case 80: // SetDIBitsToDevice
        if (need(76)) {
            TView info = R.Sub(R.U32(48), R.U32(52));
            const TView bits = R.Sub(R.U32(56), R.U32(60));
            if (!info.P || !bits.P) {
                Pl.NotPlayed("EMF bitmap outside its record in", Type);
                break;
            }
            // A band of a bottom-up DIB holds only its scans (counted from
            // the bottom): the header's height is cut to them and the source
            // moves down by the first one.
            const std::uint32_t start = R.U32(68), scans = R.U32(72);
            const bool core = info.U32(0) == 12;
            const std::int64_t height = core ? info.U16(6) : info.S32(8);
            std::string header;
            double ySrc = R.S32(36);
            if (height > 0 && scans > 0 && scans < height && info.N >= 12) {
                header.assign(reinterpret_cast<const char *>(info.P), info.N);
                for (int k = 0; k < (core ? 2 : 4); ++k)
                    header[(core ? 6 : 8) + k] = static_cast<char>(scans >> (8 * k));
                info = TView{reinterpret_cast<const std::uint8_t *>(header.data()), header.size()};
                ySrc -= start;
            }
            const QImage img = DIBImage(Pl, info, bits, R.U32(64));
            if (!img.isNull())
                Pl.Blit(img, SourceRect(info, img, R.S32(32), ySrc, R.S32(40), R.S32(44)),
                        QRectF(R.S32(24), R.S32(28), R.S32(40), R.S32(44)), SRCCOPY);
        }
        break;
    default:
        Pl.NotPlayed("EMF", Type);
        break;
    }
}

// ----------------------------------------------------------------- sizes

struct TLayout {
    TMetafileInfo Info;
    std::size_t Records = 0;     // offset of the first record
    QRectF Window;               // WMF: the logical box drawn; EMF: the frame in device units
    QSizeF DevicePerMM{96 / 25.4, 96 / 25.4};
    std::uint32_t Objects = 0;
};

void CheckSize(TLayout &L, double W, double H, const TMetafileLimits &Limits)
{
    if (!(W >= 1 && H >= 1 && W < 1e9 && H < 1e9))
        throw platform::EInvalidGraphic(kInvalidMetafile);
    L.Info.Width = static_cast<int>(std::lround(W));
    L.Info.Height = static_cast<int>(std::lround(H));
    if (std::int64_t(L.Info.Width) * L.Info.Height > Limits.MaxPixels)
        throw ELinearBitmap("Invalid bitmap size");
}

TLayout Layout(const std::uint8_t *Data, std::size_t Size, const TMetafileLimits &Limits)
{
    const TView v{Data, Size};
    TLayout L;
    if (v.U32(0) == 1 && v.U32(40) == kEMFSignature && v.U32(4) >= 88 && v.U32(4) <= Size) {
        L.Info.Kind = TMetafileKind::EMF;
        L.Objects = v.U16(56);
        const QRectF frame = RectL(v, 24); // hundredths of a millimetre
        const double devX = v.S32(72), devY = v.S32(76), mmX = v.S32(80), mmY = v.S32(84);
        if (devX > 0 && devY > 0 && mmX > 0 && mmY > 0)
            L.DevicePerMM = QSizeF(devX / mmX, devY / mmY);
        double w = frame.width() * 96 / 2540, h = frame.height() * 96 / 2540;
        L.Window = QRectF(frame.left() / 100 * L.DevicePerMM.width(), frame.top() / 100 * L.DevicePerMM.height(),
                          frame.width() / 100 * L.DevicePerMM.width(), frame.height() / 100 * L.DevicePerMM.height());
        if (!(w >= 1 && h >= 1)) { // no frame: the bounds, in device units
            const QRectF b = RectL(v, 8);
            L.Window = QRectF(b.left(), b.top(), b.width() + 1, b.height() + 1);
            w = L.Window.width() / L.DevicePerMM.width() * 96 / 25.4;
            h = L.Window.height() / L.DevicePerMM.height() * 96 / 25.4;
        }
        CheckSize(L, w, h, Limits);
        L.Records = 0;
        return L;
    }
    std::size_t at = 0;
    double w = 0, h = 0;
    if (v.U32(0) == kPlaceableKey) {
        if (Size < 22)
            throw platform::EInvalidGraphic(kInvalidMetafile);
        L.Info.Kind = TMetafileKind::PlaceableWMF;
        const double inch = v.U16(14) ? v.U16(14) : 1440;
        L.Window = QRectF(QPointF(v.S16(6), v.S16(8)), QPointF(v.S16(10), v.S16(12))).normalized();
        w = L.Window.width() * 96 / inch;
        h = L.Window.height() * 96 / inch;
        at = 22;
    }
    const std::uint16_t type = v.U16(at), headerWords = v.U16(at + 2);
    if ((type != 1 && type != 2) || headerWords != 9 || !v.Has(at, 18))
        throw platform::EInvalidGraphic(kInvalidMetafile);
    L.Objects = v.U16(at + 10);
    L.Records = at + 18;
    if (L.Info.Kind == TMetafileKind::WMF) {
        // No placeable header: the first window the records set is the picture.
        QPointF org;
        for (std::size_t pos = L.Records; v.Has(pos, 6);) {
            const std::uint64_t bytes = std::uint64_t(v.U32(pos)) * 2;
            const std::uint16_t func = v.U16(pos + 4);
            if (bytes < 6 || bytes > Size - pos || func == 0)
                break;
            if (func == 0x020B && bytes >= 10)
                org = QPointF(v.S16(pos + 8), v.S16(pos + 6));
            if (func == 0x020C && bytes >= 10) {
                L.Window = QRectF(org, QSizeF(v.S16(pos + 8), v.S16(pos + 6)));
                w = std::abs(L.Window.width());
                h = std::abs(L.Window.height());
                break;
            }
            pos += bytes;
        }
    }
    CheckSize(L, w, h, Limits);
    return L;
}

void PlayWMF(const TView &v, const TLayout &L, QImage &Img, std::int64_t Budget)
{
    TPlayer Pl(Img, QTransform(), QSizeF(96 / 25.4, 96 / 25.4), L.Objects);
    Pl.DrawBudget = Budget;
    // The picture's box fills the image, as a player of the metafile does.
    Pl.S.MapMode = MM_ANISOTROPIC;
    Pl.S.WinOrg = L.Window.topLeft();
    Pl.S.WinExt = L.Window.size();
    Pl.S.VpExt = QSizeF(Img.width(), Img.height());
    for (std::size_t pos = L.Records; v.Has(pos, 6);) {
        const std::uint64_t bytes = std::uint64_t(v.U32(pos)) * 2;
        const std::uint16_t func = v.U16(pos + 4);
        if (bytes == 0 || func == 0)
            break;
        if (bytes < 6 || bytes > v.N - pos) {
            TraceLine("WMF record " + std::to_string(func) + " reaches beyond the file: play ends");
            break;
        }
        PlayWMFRecord(Pl, func, TWMFParams{v.Sub(pos + 6, std::size_t(bytes) - 6)});
        if (Pl.Ended)
            break;
        pos += std::size_t(bytes);
    }
}

void PlayEMF(const TView &v, const TLayout &L, QImage &Img, std::int64_t Budget)
{
    const QTransform base = QTransform::fromTranslate(-L.Window.left(), -L.Window.top()) *
                            QTransform::fromScale(Img.width() / L.Window.width(), Img.height() / L.Window.height());
    TPlayer Pl(Img, base, L.DevicePerMM, L.Objects);
    Pl.DrawBudget = Budget;
    for (std::size_t pos = 0; v.Has(pos, 8);) {
        const std::uint32_t type = v.U32(pos), size = v.U32(pos + 4);
        if (size == 0 || type == 14)
            break;
        if (size < 8 || size > v.N - pos) {
            TraceLine("EMF record " + std::to_string(type) + " reaches beyond the file: play ends");
            break;
        }
        if (type != 1)
            PlayEMFRecord(Pl, type, v.Sub(pos, size));
        if (Pl.Ended)
            break;
        pos += size;
    }
}

} // namespace

TMetafileInfo ReadMetafileInfo(const std::uint8_t *Data, std::size_t Size, const TMetafileLimits &Limits)
{
    return Layout(Data, Size, Limits).Info;
}

void PlayMetafile(const std::uint8_t *Data, std::size_t Size, QImage &Target, const TMetafileLimits &Limits)
{
    const TLayout L = Layout(Data, Size, Limits);
    if (Target.isNull())
        throw ELinearBitmap("Invalid bitmap size");
    const TView v{Data, Size};
    // The pixels all records may touch when drawn (decoded bitmap pixels
    // count four times): 64 times the picture, at least 2^24 (a small picture
    // may hold a fine scan or many layers) and at most the picture limit.
    // Drawing that many takes a fraction of a second even as stretched
    // bitmaps, the slowest kind, while an ordinary picture covers its area a
    // few times. Without it a thousand rectangle records over a large picture
    // fill 2^36 pixels.
    const std::int64_t budget =
        std::min(Limits.MaxPixels, std::max(std::int64_t(1) << 24, 64 * std::int64_t(Target.width()) * Target.height()));
    if (L.Info.Kind == TMetafileKind::EMF)
        PlayEMF(v, L, Target, budget);
    else
        PlayWMF(v, L, Target, budget);
}

QImage PlayMetafile(const std::uint8_t *Data, std::size_t Size, const TMetafileLimits &Limits)
{
    const TMetafileInfo info = ReadMetafileInfo(Data, Size, Limits);
    QImage img(info.Width, info.Height, QImage::Format_RGB32);
    if (img.isNull())
        throw ELinearBitmap("Invalid bitmap size");
    img.fill(Qt::white);
    PlayMetafile(Data, Size, img, Limits);
    return img;
}

} // namespace imaging
