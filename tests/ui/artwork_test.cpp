#include "ui/artwork.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QImageReader>
#include <QSet>
#include <algorithm>

#include "ui/ico_file.h"

namespace palmota::ui {
namespace {

int distinctColours(const QImage& image) {
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) colours.insert(image.pixel(x, y));
    return static_cast<int>(colours.size());
}

TEST(Artwork, BackgroundIsAnOpaquePictureOfTheStoredSize) {
    const QImage picture = backgroundPicture();
    EXPECT_EQ(picture.size(), QSize(230, 240));
    for (QPoint corner : {QPoint(0, 0), QPoint(229, 0), QPoint(0, 239), QPoint(229, 239)})
        EXPECT_EQ(qAlpha(picture.pixel(corner)), 255);
    EXPECT_GT(distinctColours(picture), 500);  // drawn, not a flat fill
}

TEST(Artwork, AtTwiceTheDensityThePictureIsDrawnWithTwiceThePixels) {
    const QImage one = backgroundPicture();
    const QImage two = backgroundPicture(2.0);
    EXPECT_EQ(two.size(), QSize(460, 480));
    EXPECT_DOUBLE_EQ(two.devicePixelRatio(), 2.0);
    EXPECT_EQ(two.deviceIndependentSize(), QSizeF(230, 240));
    // Drawn anew, not enlarged: edges fall between the pixels of the single-density one.
    EXPECT_GT(distinctColours(two), distinctColours(one) * 3 / 2);
}

TEST(Artwork, TheReadersDisplayIsUnlitSoThatNothingReadsAsACredit) {
    const QImage picture = backgroundPicture();
    // The display's glass on the reader's front face.
    const QRect display(56, 183, 66, 16);
    int lit = 0;
    for (int y = display.top(); y <= display.bottom(); ++y) {
        for (int x = display.left(); x <= display.right(); ++x) {
            const QRgb c = picture.pixel(x, y);
            if (std::max({qRed(c), qGreen(c), qBlue(c)}) > 110) ++lit;
        }
    }
    EXPECT_EQ(lit, 0);
}

TEST(Artwork, IconComesAtEveryThemeSizeAsImageAndPng) {
    for (int size : kThemeIconSizes) {
        const QImage icon = appIcon(size);
        ASSERT_EQ(icon.size(), QSize(size, size));
        // Transparent outside its rounded tile, drawn inside.
        EXPECT_EQ(qAlpha(icon.pixel(0, 0)), 0) << size;
        EXPECT_EQ(qAlpha(icon.pixel(size / 2, size / 2)), 255) << size;
        EXPECT_GT(distinctColours(icon), size / 2) << size;
        const QImage decoded = QImage::fromData(appIconPng(size), "PNG");
        EXPECT_EQ(decoded.size(), QSize(size, size)) << size;
    }
}

// The Windows icon, read back by Qt's own icon reader: every theme size, in order.
TEST(Artwork, WindowsIconHoldsEveryThemeSize) {
    QList<QByteArray> pngs;
    for (int size : kThemeIconSizes) pngs.append(appIconPng(size));
    QByteArray ico = icoFile(pngs);
    ASSERT_FALSE(ico.isEmpty());
    QBuffer buffer(&ico);
    QImageReader reader(&buffer, "ico");
    ASSERT_EQ(reader.imageCount(), static_cast<int>(kThemeIconSizes.size()));
    for (int i = 0; i < static_cast<int>(kThemeIconSizes.size()); ++i) {
        ASSERT_TRUE(reader.jumpToImage(i));
        const QImage image = reader.read();
        const int size = kThemeIconSizes[static_cast<std::size_t>(i)];
        EXPECT_EQ(image.size(), QSize(size, size)) << reader.errorString().toStdString();
    }
    EXPECT_TRUE(icoFile({QByteArray("not a picture")}).isEmpty());
}

}  // namespace
}  // namespace palmota::ui
