// A printed closure and a printed report, read back as a person would: rendered by pdftoppm
// and their text taken by pdftotext.
#include "cli/cashup_pdf.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QTemporaryDir>
#include <QTranslator>
#include <filesystem>
#include <memory>

#include "tests/cli/cashup_shapes.h"
#include "tests/support/child_process.h"

namespace palmota::cli {
namespace {

class CashupPdf : public ::testing::Test {
  protected:
    // The page is drawn with Qt GUI's fonts: an application on the offscreen platform, as
    // palmota-cli makes for --pdf.
    static void SetUpTestSuite() {
        if (QCoreApplication::instance()) return;
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "cashup_pdf_test";
        static char* argv[] = {name, nullptr};
        static QGuiApplication application(argc, argv);
    }

    std::string file(const char* name) const { return folder_.filePath(name).toStdString(); }

    // The text pdftotext reads on the page, its lines as laid out.
    std::string textOf(const std::string& pdf) {
        const testing::RunResult run =
            testing::runProgram("/usr/bin/pdftotext", {"-layout", pdf, "-"});
        EXPECT_EQ(run.status, 0) << run.err;
        return run.out;
    }

    std::string pdfInfo(const std::string& pdf) {
        const testing::RunResult run = testing::runProgram("/usr/bin/pdfinfo", {pdf});
        EXPECT_EQ(run.status, 0) << run.err;
        return run.out;
    }

    QTemporaryDir folder_;
};

// Everything a cashier signs for is on one A4 page, the page renders, and it carries the
// chain head's first characters but not the whole of it.
TEST_F(CashupPdf, AClosureIsOneA4PageWithEverythingToSign) {
    const std::string pdf = file("closure.pdf");
    std::string error;
    ASSERT_TRUE(writeClosurePdf(testing::sampleClosure(), QString::fromStdString(pdf), error))
        << error;
    const std::string info = pdfInfo(pdf);
    EXPECT_NE(info.find("Pages:           1\n"), std::string::npos) << info;
    EXPECT_NE(info.find("(A4)"), std::string::npos) << info;
    const std::string text = textOf(pdf);
    for (const char* seen :
         {"Closure 12", "caisse-1", "Made 2026-12-09 19:05:12 +01:00 by mlefevre",
          "Period from 2026-12-09 08:58:03 +01:00 to 2026-12-09 18:49:40 +01:00", "grand total",
          "1284300", "20500", "jdurand", "mlefevre", "Doubtful writes still open: 1",
          "badge 4012551", "Chain head 9f2c4e61b07a3d58", "Closed and checked by"})
        EXPECT_NE(text.find(seen), std::string::npos) << seen << "\n" << text;
    EXPECT_EQ(text.find("9f2c4e61b07a3d58e1"), std::string::npos) << text;

    const testing::RunResult rendered = testing::runProgram(
        "/usr/bin/pdftoppm", {"-png", "-r", "40", "-singlefile", pdf, file("closure")});
    ASSERT_EQ(rendered.status, 0) << rendered.err;
    const QImage page(QString::fromStdString(file("closure.png")));
    ASSERT_FALSE(page.isNull());
    // A4 at 40 dots an inch, and ink on it: text and the line to sign.
    EXPECT_EQ(page.width(), 331);
    EXPECT_EQ(page.height(), 468);
    int inked = 0;
    for (int y = 0; y < page.height(); ++y)
        for (int x = 0; x < page.width(); ++x) inked += qGray(page.pixel(x, y)) < 128;
    EXPECT_GT(inked, 1000);
}

// However many doubtful writes are still open, the closure stays one page: its text is made
// smaller, and those past what the page holds are counted; its chain head and the line to
// sign are still on it.
TEST_F(CashupPdf, AClosureWithManyOpenWritesStaysOnePage) {
    journal::Closure closure = testing::sampleClosure();
    for (int i = 0; i < 60; ++i) {
        closure.open.push_back(closure.open.front());
        closure.open.back().id = "row-" + std::to_string(i);
    }
    const std::string pdf = file("long.pdf");
    std::string error;
    ASSERT_TRUE(writeClosurePdf(closure, QString::fromStdString(pdf), error)) << error;
    EXPECT_NE(pdfInfo(pdf).find("Pages:           1\n"), std::string::npos);
    const std::string text = textOf(pdf);
    EXPECT_NE(text.find("row row-1\n"), std::string::npos) << text;
    EXPECT_NE(text.find("more lines: journal closure 12"), std::string::npos) << text;
    EXPECT_NE(text.find("Chain head 9f2c4e61b07a3d58"), std::string::npos) << text;
    EXPECT_NE(text.find("Closed and checked by"), std::string::npos) << text;
}

// A long report runs over numbered pages, no line lost.
TEST_F(CashupPdf, AReportTakesAsManyPagesAsItsLines) {
    std::string report;
    for (int i = 1; i <= 150; ++i) report += "line " + std::to_string(i) + "\n";
    const std::string pdf = file("report.pdf");
    std::string error;
    ASSERT_TRUE(writeTextPdf("Journal report", report, QString::fromStdString(pdf), error))
        << error;
    const std::string info = pdfInfo(pdf);
    EXPECT_EQ(info.find("Pages:           1\n"), std::string::npos) << info;
    const std::string text = textOf(pdf);
    for (const char* seen : {"line 1\n", "line 150", "Page 1 of ", "Journal report"})
        EXPECT_NE(text.find(seen), std::string::npos) << seen;
}

TEST_F(CashupPdf, AFileThatCannotBeWrittenIsSaid) {
    std::string error;
    EXPECT_FALSE(writeClosurePdf(testing::sampleClosure(), "/no/such/folder/c.pdf", error));
    EXPECT_NE(error.find("cannot write /no/such/folder/c.pdf"), std::string::npos) << error;
}

// The closure in French, as a French desk prints it (PALMOTA_PRINTED_CLOSURE keeps a copy,
// from which the documentation's picture is made).
TEST_F(CashupPdf, AClosurePrintsInFrench) {
    QTranslator french;
    ASSERT_TRUE(french.load(QStringLiteral(PALMOTA_FRENCH_QM)));
    QCoreApplication::installTranslator(&french);
    const QByteArray kept = qgetenv("PALMOTA_PRINTED_CLOSURE");
    const std::string pdf = kept.isEmpty() ? file("cloture.pdf") : kept.toStdString();
    std::string error;
    const bool written =
        writeClosurePdf(testing::sampleClosure(), QString::fromStdString(pdf), error);
    QCoreApplication::removeTranslator(&french);
    ASSERT_TRUE(written) << error;
    const std::string text = textOf(pdf);
    for (const char* seen : {"Cl\u00f4ture n\u00b0 12", "Poste caisse-1", "total perp\u00e9tuel",
                             "T\u00eate de cha\u00eene 9f2c4e61b07a3d58",
                             "Cl\u00f4tur\u00e9e et v\u00e9rifi\u00e9e par"})
        EXPECT_NE(text.find(seen), std::string::npos) << seen << "\n" << text;
}

}  // namespace
}  // namespace palmota::cli
