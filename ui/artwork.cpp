#include "ui/artwork.h"

#include <QBuffer>
#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

namespace palmota::ui {

namespace {

// The house colours: a night-blue ground, the badge's orange band, the reader's graphite.
const QColor kNightTop{0x14, 0x2d, 0x4c};
const QColor kNightBottom{0x2f, 0x6a, 0x9c};
const QColor kBandLight{0xf5, 0xa6, 0x3c};
const QColor kBandDark{0xe0, 0x6a, 0x22};
const QColor kCardFace{0xfb, 0xfc, 0xfe};
const QColor kCardShade{0xdf, 0xe6, 0xef};
const QColor kCardEdge{0x7d, 0x8d, 0xa1};
const QColor kGoldLight{0xfa, 0xdf, 0x8a};
const QColor kGoldDark{0xb8, 0x8a, 0x2c};
const QColor kGraphiteLight{0x5b, 0x66, 0x74};
const QColor kGraphite{0x33, 0x3b, 0x46};
const QColor kGraphiteDark{0x1a, 0x1f, 0x26};
const QColor kDisplayGround{0x12, 0x2a, 0x1c};
const QColor kLedGreen{0x3d, 0xe0, 0x5c};
const QColor kLedAmber{0xff, 0xb3, 0x2e};

QFont sansFont(qreal pixelSize, int weight = QFont::Normal) {
    QFont font;
    font.setFamilies({"Nimbus Sans", "Liberation Sans", "Arial", "Helvetica", "DejaVu Sans"});
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(qMax(1, qRound(pixelSize)));
    font.setWeight(static_cast<QFont::Weight>(weight));
    return font;
}

QLinearGradient vertical(const QRectF& r, const QColor& top, const QColor& bottom) {
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, top);
    g.setColorAt(1, bottom);
    return g;
}

QColor withAlpha(QColor c, int alpha) {
    c.setAlpha(alpha);
    return c;
}

// Level of detail: what is still readable at a given scale.
enum class Detail { Tiny, Small, Full };

// A credit badge in its own coordinates: `card` is the unrotated card outline.
void drawBadge(QPainter& p, const QRectF& card, Detail detail) {
    const qreal w = card.width();
    const qreal h = card.height();
    const qreal radius = h * 0.1;
    QPainterPath outline;
    outline.addRoundedRect(card, radius, radius);

    // Soft shadow under the card, offset down and right.
    if (detail != Detail::Tiny) {
        for (int i = 3; i >= 1; --i) {
            QPainterPath shadow;
            const qreal grow = h * 0.025 * i;
            shadow.addRoundedRect(
                card.translated(h * 0.05, h * 0.09).adjusted(-grow, -grow, grow, grow),
                radius + grow, radius + grow);
            p.fillPath(shadow, QColor(0, 0, 0, 28));
        }
    }

    p.fillPath(outline, vertical(card, kCardFace, kCardShade));

    p.save();
    p.setClipPath(outline);
    // The maker's band across the top.
    const QRectF band(card.left(), card.top(), w, h * (detail == Detail::Tiny ? 0.34 : 0.27));
    QLinearGradient bandFill(band.topLeft(), band.topRight());
    bandFill.setColorAt(0, kBandDark);
    bandFill.setColorAt(1, kBandLight);
    p.fillRect(band, bandFill);
    if (detail != Detail::Tiny) {
        // A thin swoosh under the band, as printed badges carry.
        QPainterPath swoosh;
        swoosh.moveTo(band.bottomLeft());
        swoosh.cubicTo(card.left() + w * 0.35, band.bottom() + h * 0.12, card.left() + w * 0.7,
                       band.bottom() - h * 0.06, card.right(), band.bottom() + h * 0.04);
        swoosh.lineTo(card.right(), band.bottom());
        swoosh.lineTo(band.bottomLeft());
        p.fillPath(swoosh, withAlpha(kBandLight, 150));
    }
    p.restore();

    if (detail == Detail::Full) {
        p.setPen(QColor(255, 255, 255, 235));
        p.setFont(sansFont(h * 0.15, QFont::Bold));
        p.drawText(QRectF(card.left() + w * 0.06, band.top(), w * 0.6, band.height()),
                   Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("PALMOTA"));
    }

    // The contact chip.
    const QRectF chip(card.left() + w * 0.08,
                      card.top() + h * (detail == Detail::Tiny ? 0.48 : 0.4), w * 0.2,
                      h * (detail == Detail::Tiny ? 0.3 : 0.27));
    QLinearGradient gold(chip.topLeft(), chip.bottomRight());
    gold.setColorAt(0, kGoldLight);
    gold.setColorAt(1, kGoldDark);
    p.setPen(detail == Detail::Tiny ? Qt::NoPen
                                    : QPen(withAlpha(kGoldDark.darker(130), 200), h * 0.012));
    p.setBrush(gold);
    p.drawRoundedRect(chip, chip.height() * 0.18, chip.height() * 0.18);
    if (detail != Detail::Tiny) {
        p.setPen(QPen(withAlpha(kGoldDark.darker(140), 170), h * 0.012));
        p.drawLine(QPointF(chip.left(), chip.center().y()),
                   QPointF(chip.right(), chip.center().y()));
        p.drawLine(QPointF(chip.center().x(), chip.top()),
                   QPointF(chip.center().x(), chip.bottom()));
        p.drawRect(QRectF(chip.center().x() - chip.width() * 0.18,
                          chip.center().y() - chip.height() * 0.22, chip.width() * 0.36,
                          chip.height() * 0.44));
    }

    // The holder's photo and the printed lines.
    if (detail != Detail::Tiny) {
        const QRectF photo(card.right() - w * 0.3, card.top() + h * 0.36, w * 0.22, h * 0.5);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0xc9, 0xdc, 0xf0));
        p.drawRoundedRect(photo, h * 0.04, h * 0.04);
        p.save();
        QPainterPath photoClip;
        photoClip.addRoundedRect(photo, h * 0.04, h * 0.04);
        p.setClipPath(photoClip);
        p.setBrush(QColor(0x5d, 0x7f, 0xa6));
        const qreal headR = photo.width() * 0.22;
        p.drawEllipse(QPointF(photo.center().x(), photo.top() + photo.height() * 0.38), headR,
                      headR);
        p.drawEllipse(QPointF(photo.center().x(), photo.bottom() + photo.height() * 0.12),
                      photo.width() * 0.42, photo.height() * 0.34);
        p.restore();

        p.setBrush(QColor(0x9a, 0xa8, 0xb8));
        const qreal lineH = h * 0.055;
        const qreal lineX = chip.left();
        const qreal lineTop = chip.bottom() + h * 0.09;
        p.drawRoundedRect(QRectF(lineX, lineTop, w * 0.42, lineH), lineH / 2, lineH / 2);
        // Where a badge prints its holder's name and number: bars, no figures, so that
        // nothing in the picture reads like a serial number.
        p.drawRoundedRect(
            QRectF(chip.right() + w * 0.05, chip.center().y() - lineH / 2, w * 0.3, lineH),
            lineH / 2, lineH / 2);
        if (detail == Detail::Full) {
            p.drawRoundedRect(
                QRectF(chip.right() + w * 0.05, chip.center().y() + lineH, w * 0.2, lineH * 0.8),
                lineH * 0.4, lineH * 0.4);
        }
    }

    p.setPen(QPen(kCardEdge, detail == Detail::Tiny ? h * 0.06 : h * 0.018));
    p.setBrush(Qt::NoBrush);
    p.drawPath(outline);
}

// Contactless waves rising from `centre`, opening upwards.
void drawWaves(QPainter& p, QPointF centre, qreal firstRadius, qreal step, int count, qreal width,
               int alpha) {
    p.setBrush(Qt::NoBrush);
    for (int i = 0; i < count; ++i) {
        const qreal r = firstRadius + step * i;
        p.setPen(QPen(QColor(255, 255, 255, alpha - 45 * i), width, Qt::SolidLine, Qt::RoundCap));
        p.drawArc(QRectF(centre.x() - r, centre.y() - r, 2 * r, 2 * r), 50 * 16, 80 * 16);
    }
}

void drawLed(QPainter& p, QPointF centre, qreal radius, const QColor& colour) {
    QRadialGradient bulb(centre - QPointF(radius * 0.3, radius * 0.3), radius * 1.2);
    bulb.setColorAt(0, colour.lighter(170));
    bulb.setColorAt(1, colour.darker(115));
    p.setPen(QPen(kGraphiteDark, radius * 0.3));
    p.setBrush(bulb);
    p.drawEllipse(centre, radius, radius);
}

// The desktop reader/encoder, front view: a graphite case with a sloped top where the
// badge is presented, a display and two lamps.
void drawReader(QPainter& p, const QRectF& body, Detail detail) {
    const qreal w = body.width();
    const qreal h = body.height();

    // Shadow on the desk.
    if (detail != Detail::Tiny) {
        QRadialGradient floor(QPointF(body.center().x(), body.bottom()), w * 0.6);
        floor.setColorAt(0, QColor(0, 0, 0, 110));
        floor.setColorAt(1, QColor(0, 0, 0, 0));
        p.save();
        p.translate(body.center().x(), body.bottom());
        p.scale(1.0, 0.12);
        p.translate(-body.center().x(), -body.bottom());
        p.setPen(Qt::NoPen);
        p.setBrush(floor);
        p.drawEllipse(QPointF(body.center().x(), body.bottom()), w * 0.6, w * 0.6);
        p.restore();
    }

    // Sloped top face: narrower at the back.
    const qreal topDepth = h * 0.28;
    QPainterPath top;
    top.moveTo(body.left() + w * 0.02, body.top() + topDepth);
    top.lineTo(body.left() + w * 0.1, body.top());
    top.lineTo(body.right() - w * 0.1, body.top());
    top.lineTo(body.right() - w * 0.02, body.top() + topDepth);
    top.closeSubpath();
    p.setPen(Qt::NoPen);
    p.fillPath(top, vertical(QRectF(body.topLeft(), QSizeF(w, topDepth)),
                             kGraphiteLight.lighter(115), kGraphiteLight));

    // The presenting area on the top face, with its target mark.
    if (detail != Detail::Tiny) {
        QPainterPath pad;
        const qreal inset = w * 0.2;
        pad.moveTo(body.left() + inset, body.top() + topDepth * 0.8);
        pad.lineTo(body.left() + inset + w * 0.05, body.top() + topDepth * 0.2);
        pad.lineTo(body.right() - inset - w * 0.05, body.top() + topDepth * 0.2);
        pad.lineTo(body.right() - inset, body.top() + topDepth * 0.8);
        pad.closeSubpath();
        p.fillPath(pad, QColor(0x2a, 0x31, 0x3b));
        p.setPen(QPen(withAlpha(kBandLight, 210), h * 0.025, Qt::SolidLine, Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        const QPointF mark(body.center().x(), body.top() + topDepth * 0.5);
        for (int i = 1; i <= 2; ++i) {
            const qreal rx = w * 0.045 * i;
            const qreal ry = topDepth * 0.13 * i;
            p.drawEllipse(mark, rx, ry);
        }
    }

    // Front face.
    const QRectF front(body.left() + w * 0.02, body.top() + topDepth, w * 0.96, h - topDepth);
    QPainterPath frontPath;
    frontPath.addRoundedRect(front, h * 0.06, h * 0.06);
    p.fillPath(frontPath, vertical(front, kGraphite, kGraphiteDark));
    // Light catching the front edge.
    p.setPen(QPen(QColor(255, 255, 255, 70), qMax(1.0, h * 0.015)));
    p.drawLine(QPointF(front.left() + h * 0.05, front.top() + h * 0.008),
               QPointF(front.right() - h * 0.05, front.top() + h * 0.008));

    // The display, unlit: a lit one would read as a credit or a state.
    const QRectF display(front.left() + w * 0.08, front.top() + front.height() * 0.2, w * 0.46,
                         front.height() * 0.42);
    p.setPen(QPen(kGraphiteDark.darker(150), qMax(1.0, h * 0.02)));
    p.setBrush(vertical(display, kDisplayGround.lighter(115), kDisplayGround.darker(120)));
    p.drawRoundedRect(display, h * 0.03, h * 0.03);
    if (detail != Detail::Tiny) {
        // Light on the glass: a diagonal sheen across its upper left.
        p.save();
        QPainterPath glass;
        glass.addRoundedRect(display, h * 0.03, h * 0.03);
        p.setClipPath(glass);
        QPainterPath sheen;
        sheen.moveTo(display.topLeft());
        sheen.lineTo(display.left() + display.width() * 0.55, display.top());
        sheen.lineTo(display.left() + display.width() * 0.3, display.bottom());
        sheen.lineTo(display.left(), display.bottom());
        sheen.closeSubpath();
        p.fillPath(sheen, QColor(255, 255, 255, 22));
        p.restore();
    }

    // Lamps, both dark: power (green) and write (amber).
    const qreal ledR = qMax(1.0, h * (detail == Detail::Tiny ? 0.09 : 0.055));
    const qreal ledY = display.center().y();
    drawLed(p, QPointF(front.right() - w * 0.25, ledY), ledR, kLedGreen.darker(300));
    if (detail != Detail::Tiny) {
        drawLed(p, QPointF(front.right() - w * 0.12, ledY), ledR, kLedAmber.darker(300));
    }

    // A speaker grille under the lamps.
    if (detail == Detail::Full) {
        p.setPen(QPen(QColor(0, 0, 0, 140), qMax(1.0, h * 0.018), Qt::SolidLine, Qt::RoundCap));
        for (int i = 0; i < 4; ++i) {
            const qreal y = front.top() + front.height() * (0.7 + 0.07 * i);
            p.drawLine(QPointF(front.right() - w * 0.3, y), QPointF(front.right() - w * 0.08, y));
        }
        p.setFont(sansFont(front.height() * 0.11, QFont::Bold));
        p.setPen(QColor(255, 255, 255, 120));
        p.drawText(QRectF(display.left(), display.bottom() + front.height() * 0.06, display.width(),
                          front.height() * 0.2),
                   Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("TARVINELO"));
    }
}

}  // namespace

QImage backgroundPicture(qreal devicePixelRatio) {
    const qreal ratio = devicePixelRatio > 0 ? devicePixelRatio : 1.0;
    QImage image(QSizeF(kBackgroundSize * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
    // Painted in logical pixels; the painter scales to the device's.
    image.setDevicePixelRatio(ratio);
    const QRectF area(QPointF(0, 0), QSizeF(kBackgroundSize));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);

    // Night-blue ground with a soft light behind the badge.
    p.fillRect(area, vertical(area, kNightTop, kNightBottom));
    QRadialGradient glow(QPointF(115, 105), 120);
    glow.setColorAt(0, QColor(0x9c, 0xc8, 0xf0, 110));
    glow.setColorAt(1, QColor(0x9c, 0xc8, 0xf0, 0));
    p.fillRect(area, glow);
    // Faint rings, as the field around a reader is drawn in brochures.
    p.setBrush(Qt::NoBrush);
    for (int i = 0; i < 5; ++i) {
        p.setPen(QPen(QColor(255, 255, 255, 16), 1));
        const qreal r = 70.0 + 26.0 * i;
        p.drawEllipse(QPointF(115, 168), r, r * 0.55);
    }

    // Name of the program.
    QFont title = sansFont(21, QFont::Bold);
    title.setLetterSpacing(QFont::AbsoluteSpacing, 3);
    p.setFont(title);
    p.setPen(QColor(0, 0, 0, 90));
    p.drawText(QRectF(1, 11, area.width(), 28), Qt::AlignHCenter | Qt::AlignVCenter,
               QStringLiteral("PALMOTA"));
    p.setPen(Qt::white);
    p.drawText(QRectF(0, 10, area.width(), 28), Qt::AlignHCenter | Qt::AlignVCenter,
               QStringLiteral("PALMOTA"));
    p.setFont(sansFont(10));
    p.setPen(QColor(0xbf, 0xd8, 0xef));
    p.drawText(QRectF(0, 38, area.width(), 14), Qt::AlignHCenter | Qt::AlignVCenter,
               QString::fromUtf8("lecture \u00b7 encodage de badges"));
    p.setPen(QPen(withAlpha(kBandLight, 200), 2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(97, 57), QPointF(133, 57));

    // The reader on the desk, the waves above it, and the badge presented to it.
    drawReader(p, QRectF(38, 150, 154, 72), Detail::Full);
    drawWaves(p, QPointF(115, 156), 10, 8, 3, 2.2, 200);
    p.save();
    p.translate(118, 94);
    p.rotate(-10);
    drawBadge(p, QRectF(-47, -29, 94, 58), Detail::Full);
    p.restore();

    // A fine line to close the picture off from the controls below it.
    p.setPen(QPen(QColor(0, 0, 0, 70), 1));
    p.drawLine(QPointF(0, area.height() - 0.5), QPointF(area.width(), area.height() - 0.5));
    p.end();
    return image;
}

QImage appIcon(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    if (size <= 0) return image;
    const Detail detail = size <= 24 ? Detail::Tiny : size < 64 ? Detail::Small : Detail::Full;

    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    // Designed on a 256 grid.
    p.scale(size / 256.0, size / 256.0);

    const QRectF tile = detail == Detail::Tiny ? QRectF(4, 4, 248, 248) : QRectF(12, 12, 232, 232);
    QPainterPath tilePath;
    tilePath.addRoundedRect(tile, 44, 44);
    p.fillPath(tilePath, vertical(tile, kNightBottom.lighter(110), kNightTop));
    if (detail != Detail::Tiny) {
        p.save();
        p.setClipPath(tilePath);
        QRadialGradient glow(QPointF(128, 90), 140);
        glow.setColorAt(0, QColor(0x9c, 0xc8, 0xf0, 120));
        glow.setColorAt(1, QColor(0x9c, 0xc8, 0xf0, 0));
        p.fillRect(tile, glow);
        p.restore();
        p.setPen(QPen(QColor(255, 255, 255, 40), 3));
        p.setBrush(Qt::NoBrush);
        p.drawPath(tilePath);
    }

    if (detail == Detail::Tiny) {
        drawReader(p, QRectF(28, 150, 200, 92), Detail::Tiny);
        p.save();
        p.translate(128, 88);
        p.rotate(-12);
        drawBadge(p, QRectF(-96, -60, 192, 120), Detail::Tiny);
        p.restore();
    } else {
        drawReader(p, QRectF(36, 156, 184, 80), detail);
        drawWaves(p, QPointF(128, 162), 12, 14, detail == Detail::Full ? 3 : 2,
                  detail == Detail::Full ? 6 : 9, 220);
        p.save();
        p.translate(126, 82);
        p.rotate(-12);
        drawBadge(p, QRectF(-80, -50, 160, 100), detail);
        p.restore();
    }
    p.end();
    return image;
}

QByteArray appIconPng(int size) {
    QByteArray png;
    QBuffer buffer(&png);
    if (!buffer.open(QIODevice::WriteOnly) || !appIcon(size).save(&buffer, "PNG")) return {};
    return png;
}

QIcon appWindowIcon() {
    QIcon icon;
    for (int size : kThemeIconSizes) icon.addPixmap(QPixmap::fromImage(appIcon(size)));
    return icon;
}

}  // namespace palmota::ui
