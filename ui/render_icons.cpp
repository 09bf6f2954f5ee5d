// render-icons: a build step. Writes the program's icon, drawn in code, as one PNG per
// size of the hicolor icon theme, so that no picture is kept in the sources twice.
//   render-icons OUTPUT_DIR NAME  ->  OUTPUT_DIR/<N>x<N>/apps/NAME.png for each size
//   render-icons --ico FILE       ->  FILE, a Windows icon holding every size
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <iostream>

#include "ui/artwork.h"
#include "ui/ico_file.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: render-icons OUTPUT_DIR NAME | render-icons --ico FILE\n";
        return 2;
    }
    // Drawing text needs a GUI application; a build machine has no display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    const QString outputDir = QString::fromLocal8Bit(argv[1]);
    const QString name = QString::fromLocal8Bit(argv[2]);

    const bool ico = QString::fromLocal8Bit(argv[1]) == QStringLiteral("--ico");
    QList<QByteArray> pngs;
    for (int size : palmota::ui::kThemeIconSizes) {
        const QByteArray png = palmota::ui::appIconPng(size);
        // A blank or misdrawn icon must fail the build, not be installed.
        const QImage check = QImage::fromData(png, "PNG");
        if (png.isEmpty() || check.size() != QSize(size, size)) {
            std::cerr << "render-icons: the " << size << " px icon could not be drawn\n";
            return 1;
        }
        pngs.append(png);
        if (ico) continue;
        const QString dir = QStringLiteral("%1/%2x%2/apps").arg(outputDir).arg(size);
        QFile file(QStringLiteral("%1/%2.png").arg(dir, name));
        if (!QDir().mkpath(dir) || !file.open(QIODevice::WriteOnly) ||
            file.write(png) != png.size()) {
            std::cerr << "render-icons: cannot write " << file.fileName().toStdString() << '\n';
            return 1;
        }
    }
    if (ico) {
        const QByteArray icon = palmota::ui::icoFile(pngs);
        QFile file(name);
        if (icon.isEmpty() || !file.open(QIODevice::WriteOnly) || file.write(icon) != icon.size()) {
            std::cerr << "render-icons: cannot write " << name.toStdString() << '\n';
            return 1;
        }
    }
    return 0;
}
