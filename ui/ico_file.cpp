#include "ui/ico_file.h"

#include <QImage>
#include <QtEndian>

namespace palmota::ui {

namespace {
constexpr int kHeaderSize = 6;
constexpr int kEntrySize = 16;
constexpr int kLargestSize = 256;

void appendLittle16(QByteArray& out, quint16 value) {
    char bytes[2];
    qToLittleEndian(value, bytes);
    out.append(bytes, 2);
}

void appendLittle32(QByteArray& out, quint32 value) {
    char bytes[4];
    qToLittleEndian(value, bytes);
    out.append(bytes, 4);
}
}  // namespace

// The layout: a 6-byte header (0, type 1 = icon, image count), one 16-byte entry per
// image (width and height, 0 meaning 256; colour count 0; reserved 0; planes 1; 32 bits a
// pixel; the image's byte count; its offset from the start of the file), then the images.
// Windows Vista and later take PNG images as they are.
QByteArray icoFile(const QList<QByteArray>& pngs) {
    QByteArray out;
    appendLittle16(out, 0);
    appendLittle16(out, 1);
    appendLittle16(out, static_cast<quint16>(pngs.size()));
    auto offset = static_cast<quint32>(kHeaderSize + kEntrySize * pngs.size());
    for (const QByteArray& png : pngs) {
        const QImage image = QImage::fromData(png, "PNG");
        if (image.isNull() || image.width() != image.height() || image.width() > kLargestSize)
            return {};
        const auto side = static_cast<char>(image.width() == kLargestSize ? 0 : image.width());
        out.append(side);
        out.append(side);
        out.append('\0');
        out.append('\0');
        appendLittle16(out, 1);
        appendLittle16(out, 32);
        appendLittle32(out, static_cast<quint32>(png.size()));
        appendLittle32(out, offset);
        offset += static_cast<quint32>(png.size());
    }
    for (const QByteArray& png : pngs) out.append(png);
    return out;
}

}  // namespace palmota::ui
