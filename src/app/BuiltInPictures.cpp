#include "BuiltInPictures.h"

#include <QPainter>
#include <QPainterPath>

namespace BuiltInPictures {

namespace {

const QColor Housing(0x26, 0x2b, 0x33);
const QColor LitSegment(0xff, 0x3b, 0x1f);
const QColor DarkSegment(0x4a, 0x22, 0x1e);

// Segments a to g of a seven-segment digit, as bits 0 to 6.
int segmentsOf(QChar c)
{
    static const int digits[] = {0x3f, 0x06, 0x5b, 0x4f, 0x66, 0x6d, 0x7d, 0x07, 0x7f, 0x6f};
    if (c.isDigit())
        return digits[c.digitValue()];
    if (c == u'-')
        return 0x40;
    return 0;
}

// One digit in the box (x, y, w, h), with a decimal point when `point` is set.
void drawDigit(QPainter &p, QRectF box, QChar c, bool point)
{
    const double t = box.width() * 0.16; // segment thickness
    const double w = box.width() - t;
    const double h = (box.height() - t) / 2;
    const double x = box.x() + t / 2, y = box.y() + t / 2;
    auto horizontal = [&](double sx, double sy) {
        QPainterPath path;
        path.moveTo(sx + t * 0.6, sy);
        path.lineTo(sx + t * 1.1, sy - t / 2);
        path.lineTo(sx + w - t * 1.1, sy - t / 2);
        path.lineTo(sx + w - t * 0.6, sy);
        path.lineTo(sx + w - t * 1.1, sy + t / 2);
        path.lineTo(sx + t * 1.1, sy + t / 2);
        path.closeSubpath();
        return path;
    };
    auto vertical = [&](double sx, double sy) {
        QPainterPath path;
        path.moveTo(sx, sy + t * 0.6);
        path.lineTo(sx + t / 2, sy + t * 1.1);
        path.lineTo(sx + t / 2, sy + h - t * 1.1);
        path.lineTo(sx, sy + h - t * 0.6);
        path.lineTo(sx - t / 2, sy + h - t * 1.1);
        path.lineTo(sx - t / 2, sy + t * 1.1);
        path.closeSubpath();
        return path;
    };
    const QPainterPath segments[7] = {
        horizontal(x, y),   vertical(x + w, y), vertical(x + w, y + h), horizontal(x, y + 2 * h),
        vertical(x, y + h), vertical(x, y),     horizontal(x, y + h)};
    const int lit = segmentsOf(c);
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 7; ++i)
        p.fillPath(segments[i], (lit >> i) & 1 ? LitSegment : DarkSegment);
    p.setBrush(point ? LitSegment : DarkSegment);
    p.drawEllipse(QPointF(x + w + t * 1.2, y + 2 * h), t * 0.55, t * 0.55);
}

// A display housing with `text` in its digits ("." marks the point of the digit before).
void drawDisplay(QPainter &p, QRectF frame, const QString &text)
{
    p.setPen(QPen(QColor(0x10, 0x12, 0x16), frame.height() * 0.03));
    p.setBrush(Housing);
    p.drawRoundedRect(frame, frame.height() * 0.08, frame.height() * 0.08);
    QString digits;
    QList<bool> points;
    for (QChar c : text) {
        if (c == u'.' && !points.isEmpty())
            points.last() = true;
        else {
            digits += c;
            points << false;
        }
    }
    const QRectF inner = frame.adjusted(frame.height() * 0.18, frame.height() * 0.16,
                                        -frame.height() * 0.18, -frame.height() * 0.16);
    const double pitch = inner.width() / digits.size();
    for (int i = 0; i < digits.size(); ++i)
        drawDigit(p, QRectF(inner.x() + i * pitch, inner.y(), pitch * 0.72, inner.height()),
                  digits[i], points[i]);
}

QImage canvas(int width, int height, const QColor &background)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(background);
    return image;
}

} // namespace

QImage bottomLeft()
{
    QImage image = canvas(999, 333, Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QFont font(QStringLiteral("Sans Serif"));
    font.setPixelSize(150);
    font.setBold(true);
    font.setLetterSpacing(QFont::AbsoluteSpacing, 8);
    p.setFont(font);
    p.setPen(Housing);
    p.drawText(QRect(20, 10, 959, 220), Qt::AlignCenter, QStringLiteral("PANTRIX"));
    p.fillRect(QRect(60, 240, 879, 14), LitSegment);
    font.setPixelSize(44);
    font.setBold(false);
    font.setLetterSpacing(QFont::AbsoluteSpacing, 4);
    p.setFont(font);
    p.drawText(QRect(20, 262, 959, 60), Qt::AlignCenter, QStringLiteral("numeric displays"));
    return image;
}

QImage bottomRight()
{
    QImage image = canvas(720, 240, Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    drawDisplay(p, QRectF(16, 16, 688, 208), QStringLiteral("-123.45"));
    return image;
}

QImage info()
{
    QImage image = canvas(360, 360, QColor(0xf2, 0xf4, 0xf7));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    drawDisplay(p, QRectF(24, 110, 312, 140), QStringLiteral("3.0"));
    p.setPen(Housing);
    QFont font(QStringLiteral("Sans Serif"));
    font.setPixelSize(40);
    font.setBold(true);
    p.setFont(font);
    p.drawText(QRect(0, 30, 360, 60), Qt::AlignCenter, QStringLiteral("PANTRIX"));
    return image;
}

} // namespace BuiltInPictures
