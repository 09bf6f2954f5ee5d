#pragma once

#include <QByteArray>
#include <QIcon>
#include <QImage>
#include <QSize>
#include <array>

namespace palmota::ui {

// The window's pictures, drawn here rather than shipped as files: a credit badge held
// over a desktop reader/encoder. Drawing text needs a QGuiApplication in the process.

// The picture at the top of the window's client area, above every control.
inline constexpr QSize kBackgroundSize{230, 240};
// The icon sizes the window shows (title bar 16, task switcher 32) and the sizes a
// desktop icon theme installs.
inline constexpr std::array<int, 2> kWindowIconSizes{16, 32};
inline constexpr std::array<int, 6> kThemeIconSizes{16, 32, 48, 64, 128, 256};

// Drawn for a screen with `devicePixelRatio` device pixels to a logical pixel, and
// kBackgroundSize logical pixels either way. It shows no reading and no state: the
// display is unlit, the badge bears no number, the lamps are dark.
QImage backgroundPicture(qreal devicePixelRatio = 1.0);

// The application icon, size by size pixels, on a transparent ground. Small sizes drop
// the details that would only blur.
QImage appIcon(int size);
// The same, encoded as PNG (empty on failure), for installing into an icon theme.
QByteArray appIconPng(int size);
QIcon appWindowIcon();

}  // namespace palmota::ui
