#include "cli/cashup_pdf.h"

#include <QCoreApplication>
#include <QFile>
#include <QFontDatabase>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QStringList>
#include <QtMath>
#include <algorithm>

#include "cli/cashup_text.h"
#include "reader/byte_text.h"

namespace palmota::cli {

namespace {

constexpr int kDotsPerInch = 300;
constexpr qreal kMarginMillimetres = 15;
constexpr qreal kTitlePoints = 15;
constexpr qreal kTextPoints = 9.5;
// Smaller than this a printed figure is no longer read without a glass.
constexpr qreal kSmallestPoints = 6;
constexpr qreal kPointsPerInch = 72;
// Room left under the closure's text for the signature: its heading and two lines' height
// of space above the line to sign on.
constexpr int kSignatureLines = 6;
constexpr int kLineColumns = 80;

// Dots of the page for `points`.
qreal dots(qreal points) {
    return points * kDotsPerInch / kPointsPerInch;
}

QFont monospace(qreal points) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setFamilies({QStringLiteral("DejaVu Sans Mono"), QStringLiteral("Consolas"),
                      QStringLiteral("Courier New"), font.family()});
    font.setStyleHint(QFont::Monospace);
    font.setPointSizeF(points);
    return font;
}

QFont titleFont() {
    QFont font;
    font.setFamilies({QStringLiteral("DejaVu Sans"), QStringLiteral("Arial")});
    font.setPointSizeF(kTitlePoints);
    font.setBold(true);
    return font;
}

// A writer that made its file, or the reason it could not.
bool startWriter(QPdfWriter& writer, QPainter& painter, const QString& title, const QString& file,
                 std::string& error) {
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(
        QMarginsF(kMarginMillimetres, kMarginMillimetres, kMarginMillimetres, kMarginMillimetres),
        QPageLayout::Millimeter);
    writer.setResolution(kDotsPerInch);
    writer.setTitle(title);
    writer.setCreator(QStringLiteral("palmota-cli"));
    if (painter.begin(&writer)) return true;
    QFile probe(file);
    const bool opened = probe.open(QIODevice::WriteOnly);
    error = "cannot write " + printable(file.toStdString()) +
            (opened ? std::string() : ": " + printable(probe.errorString().toStdString()));
    return false;
}

// The largest size up to `points` at which `lines` fit `width` by `height` dots.
qreal fittingPoints(const QPaintDevice* page, const QStringList& lines, qreal width, qreal height,
                    qreal points) {
    qsizetype columns = kLineColumns;
    for (const QString& line : lines) columns = std::max(columns, line.size());
    // Tried down in steps of a quarter point, counted as whole quarters.
    const int smallest = qCeil(kSmallestPoints * 4);
    int quarters = qFloor(points * 4);
    for (; quarters > smallest; --quarters) {
        const QFontMetricsF metrics(monospace(quarters / 4.0), page);
        const qreal across = metrics.horizontalAdvance(QString(columns, u'0'));
        const qreal down = metrics.lineSpacing() * static_cast<qreal>(lines.size());
        if (across <= width && down <= height) break;
    }
    return quarters / 4.0;
}

// Draws `lines` one under the other from `top`; returns where the next line would go.
qreal drawLines(QPainter& painter, const QStringList& lines, qreal top, qreal width) {
    const qreal spacing = painter.fontMetrics().lineSpacing();
    for (const QString& line : lines) {
        painter.drawText(QRectF(0, top, width, spacing), Qt::AlignLeft | Qt::AlignTop, line);
        top += spacing;
    }
    return top;
}

qreal drawTitle(QPainter& painter, const QString& title, qreal width) {
    painter.setFont(titleFont());
    const qreal height = painter.fontMetrics().lineSpacing();
    painter.drawText(QRectF(0, 0, width, height), Qt::AlignLeft | Qt::AlignTop, title);
    return height * 1.5;
}

}  // namespace

bool writeClosurePdf(const journal::Closure& closure, const QString& file, std::string& error) {
    const QString title = QCoreApplication::translate("Cashup", "Closure %1").arg(closure.number) +
                          QStringLiteral(" \u2014 ") +
                          QString::fromStdString(printable(closure.station));
    QPdfWriter writer(file);
    QPainter painter;
    if (!startWriter(writer, painter, title, file, error)) return false;
    const QRect page = painter.viewport();
    const qreal width = page.width();
    qreal top = drawTitle(painter, title, width);

    // The closure's text, after its first line (the title says it), as large as fits above
    // the signature.
    QStringList lines = QString::fromStdString(closureText(closure)).split(u'\n');
    if (!lines.isEmpty()) lines.removeFirst();
    while (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
    const qreal reserved = dots(kTextPoints) * 1.2 * kSignatureLines;
    const qreal room = page.height() - top - reserved;
    const qreal points = fittingPoints(&writer, lines, width, room, kTextPoints);
    // Doubtful writes past what the page holds at the smallest size are counted, not
    // listed: the page keeps its chain head (the last line) and the line to sign.
    const auto held =
        static_cast<qsizetype>(room / QFontMetricsF(monospace(points), &writer).lineSpacing());
    if (lines.size() > held && held > 3) {
        const QString head = lines.takeLast();
        const qsizetype cut = lines.size() - (held - 3);
        lines = lines.mid(0, held - 3);
        lines << QCoreApplication::translate("Cashup", "(%1 more lines: journal closure %2)")
                     .arg(cut)
                     .arg(closure.number)
              << QString() << head;
    }
    painter.setFont(monospace(points));
    top = drawLines(painter, lines, top, width);

    // The line to sign on, at the foot of the text.
    painter.setFont(monospace(kTextPoints));
    const qreal spacing = painter.fontMetrics().lineSpacing();
    top += spacing;
    top = drawLines(
        painter,
        {QCoreApplication::translate("Cashup", "Closed and checked by (name and signature):")}, top,
        width);
    top += spacing * 2.5;
    painter.setPen(QPen(Qt::black, dots(0.6)));
    painter.drawLine(QPointF(0, top), QPointF(width * 0.6, top));
    if (!painter.end()) {
        error = "cannot write " + printable(file.toStdString());
        return false;
    }
    return true;
}

bool writeTextPdf(const QString& title, const std::string& text, const QString& file,
                  std::string& error) {
    QPdfWriter writer(file);
    QPainter painter;
    if (!startWriter(writer, painter, title, file, error)) return false;
    const QRect page = painter.viewport();
    const qreal width = page.width();
    QStringList lines = QString::fromStdString(text).split(u'\n');
    while (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
    painter.setFont(monospace(kTextPoints));
    const qreal spacing = painter.fontMetrics().lineSpacing();
    const qreal titleHeight = dots(kTitlePoints) * 1.5 * 1.2;
    // The lines a page holds under its title, with a line for its number at its foot.
    const auto perPage =
        std::max<qsizetype>(1, static_cast<qsizetype>((page.height() - titleHeight) / spacing) - 2);
    const qsizetype pages = std::max<qsizetype>(1, (lines.size() + perPage - 1) / perPage);
    for (qsizetype p = 0; p < pages; ++p) {
        if (p > 0) writer.newPage();
        const qreal top = drawTitle(painter, title, width);
        painter.setFont(monospace(kTextPoints));
        drawLines(painter, lines.mid(p * perPage, perPage), top, width);
        painter.drawText(
            QRectF(0, page.height() - spacing, width, spacing), Qt::AlignRight | Qt::AlignTop,
            QCoreApplication::translate("Cashup", "Page %1 of %2").arg(p + 1).arg(pages));
    }
    if (!painter.end()) {
        error = "cannot write " + printable(file.toStdString());
        return false;
    }
    return true;
}

}  // namespace palmota::cli
