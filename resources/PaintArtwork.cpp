// Paints Tamvi's logo and application icon at build time, so the program carries pictures of its
// own and no drawing program is needed.
//   tamvi_artwork <output folder>
// writes logo.png (591 x 260), icon.png (256 x 256) and hicolor/<n>x<n>/apps/tamvi.png.

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <array>
#include <cstdio>

namespace
{

const QColor kNavy(24, 52, 96);
const QColor kSignal(72, 214, 130);
const QColor kAmber(255, 176, 48);
const QColor kGrey(110, 118, 130);

// The byte 0x3C as it crosses an RS-232 line: idle, start bit, eight data bits with the lowest
// first, stop bit, idle. High is drawn up.
constexpr std::array<int, 12> kLineLevels = {1, 0, 0, 0, 1, 1, 1, 1, 0, 0, 1, 1};

QPainterPath SignalTrace(const QRectF &box)
{
    const qreal step = box.width() / kLineLevels.size();
    const auto levelY = [&box](int level) { return level ? box.top() : box.bottom(); };
    QPainterPath trace(QPointF(box.left(), levelY(kLineLevels[0])));
    for (std::size_t i = 1; i < kLineLevels.size(); ++i) {
        if (kLineLevels[i] == kLineLevels[i - 1])
            continue;
        const qreal x = box.left() + step * i;
        trace.lineTo(x, levelY(kLineLevels[i - 1]));
        trace.lineTo(x, levelY(kLineLevels[i]));
    }
    trace.lineTo(box.right(), levelY(kLineLevels.back()));
    return trace;
}

// The icon on a 256 x 256 grid: a dark tile, the signal trace and an activity lamp.
void PaintIcon(QPainter &painter, int size)
{
    painter.save();
    painter.scale(size / 256.0, size / 256.0);
    painter.setPen(Qt::NoPen);
    painter.setBrush(kNavy);
    painter.drawRoundedRect(QRectF(8, 8, 240, 240), 40, 40);
    painter.setPen(QPen(kSignal, 20, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(SignalTrace(QRectF(28, 100, 200, 96)));
    painter.setPen(Qt::NoPen);
    painter.setBrush(kAmber);
    painter.drawEllipse(QPointF(196, 56), 18, 18);
    painter.restore();
}

// "tamvi" in plain strokes rather than a font, so the picture is the same on every machine.
// `x` is the left edge, `base` the baseline; returns the right edge.
qreal PaintWordmark(QPainter &painter, qreal x, qreal base)
{
    const qreal stroke = 14;
    const qreal xHeight = 64;
    const qreal gap = 20;
    const qreal top = base - xHeight;
    const qreal r = 22; // radius of the arches of m
    painter.setPen(QPen(kNavy, stroke, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
    painter.setBrush(Qt::NoBrush);

    // t
    painter.drawLine(QPointF(x + 18, top - 28), QPointF(x + 18, base));
    painter.drawLine(QPointF(x, top + 7), QPointF(x + 40, top + 7));
    x += 40 + gap;
    // a: a bowl and its stem
    const qreal bowl = xHeight / 2 - stroke / 2 + 2;
    painter.drawEllipse(QPointF(x + bowl + stroke / 2, base - xHeight / 2), bowl, bowl);
    const qreal stem = x + 2 * bowl + stroke / 2;
    painter.drawLine(QPointF(stem, top), QPointF(stem, base));
    x = stem + stroke / 2 + gap;
    // m: two arches on three stems
    QPainterPath m;
    for (int arch = 0; arch < 2; ++arch) {
        const qreal left = x + arch * 2 * r;
        m.moveTo(left, base);
        m.lineTo(left, top + stroke / 2 + r);
        m.arcTo(QRectF(left, top + stroke / 2, 2 * r, 2 * r), 180, -180);
        m.lineTo(left + 2 * r, base);
    }
    painter.drawPath(m);
    x += 4 * r + stroke / 2 + gap;
    // v
    QPainterPath v(QPointF(x, top));
    v.lineTo(x + 28, base);
    v.lineTo(x + 56, top);
    painter.drawPath(v);
    x += 56 + gap;
    // i with its dot
    painter.drawLine(QPointF(x, top), QPointF(x, base));
    painter.setPen(Qt::NoPen);
    painter.setBrush(kAmber);
    painter.drawEllipse(QPointF(x, top - 24), 10, 10);
    return x + stroke / 2;
}

QImage Logo()
{
    QImage image(591, 260, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(30, 50);
    PaintIcon(painter, 160);
    painter.resetTransform();

    const qreal right = PaintWordmark(painter, 228, 158);
    painter.setPen(QPen(kSignal, 6));
    painter.drawLine(QPointF(228, 186), QPointF(right, 186));

    QFont font = painter.font();
    font.setPixelSize(22);
    painter.setFont(font);
    painter.setPen(kGrey);
    painter.drawText(QRectF(228, 196, 340, 32), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("Dranel"));
    return image;
}

QImage Icon(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    PaintIcon(painter, size);
    return image;
}

bool Save(const QImage &image, const QString &path)
{
    if (!QDir().mkpath(QFileInfo(path).path()) || !image.save(path, "PNG")) {
        std::fprintf(stderr, "tamvi_artwork: cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: tamvi_artwork <output folder>\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    bool ok = Save(Logo(), out + "/logo.png") && Save(Icon(256), out + "/icon.png");
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
        ok = ok &&
             Save(Icon(size), QStringLiteral("%1/hicolor/%2x%2/apps/tamvi.png").arg(out).arg(size));
    return ok ? 0 : 1;
}
