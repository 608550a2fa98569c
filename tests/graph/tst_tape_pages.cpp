// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The tape on paper: where each piece lands, as numbers, and its true size in a PDF's own
// coordinates.

#include "graph/tape_pages.h"
#include "pdf_rectangles.h"

#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

class TestTapePages : public QObject {
    Q_OBJECT

private slots:
    void layout_data();
    void layout();
    void pdf_at_true_size();
};

void TestTapePages::layout_data()
{
    QTest::addColumn<QList<double>>("lengths");  // cm
    QTest::addColumn<int>("pages");
    // Each part checked: piece, part, parts, page, left edge in mm, and the stretch's end in mm.
    QTest::addColumn<QList<double>>("checks");

    // A4 upright with 12 mm margins: strips 16 mm wide every 24 mm, eight to a page (the eighth at
    // 180..196 mm); a column holds 297 - 24 - 16 - 12 - 12 = 233 mm.
    QList<double> long_run;
    for (int k = 0; k < 20; ++k)
        long_run << 1.0 + 0.6 * k;
    QTest::newRow("a long run over three pages")
        << long_run << 3
        << QList<double>{0, 0, 1, 0, 12, 10, 7, 0, 1, 0, 180, 52, 8, 0, 1, 1, 12, 58, 19, 0, 1, 2, 84, 124};
    QTest::newRow("a piece as tall as a column, and one just taller") << QList<double>{
        23.3, 23.31} << 1 << QList<double>{0, 0, 1, 0, 12, 233, 1, 0, 2, 0, 36, 233, 1, 1, 2, 0, 60, 233.1};
    QTest::newRow("eight pieces fill a page") << QList<double>(8, 5.0) << 1 << QList<double>{7, 0, 1, 0, 180, 50};
    QTest::newRow("the ninth begins the next") << QList<double>(9, 5.0) << 2 << QList<double>{8, 0, 1, 1, 12, 50};
    QTest::newRow("a piece without length is left off")
        << QList<double>{5.0, -1.0, 5.0} << 1 << QList<double>{2, 0, 1, 0, 36, 50};
    QTest::newRow("nothing to print") << QList<double>{-1.0} << 0 << QList<double>{};
}

void TestTapePages::layout()
{
    QFETCH(QList<double>, lengths);
    QFETCH(int, pages);
    QFETCH(QList<double>, checks);

    const graph::TapeLayout layout = graph::lay_out_tape(std::vector<double>(lengths.begin(), lengths.end()));
    QCOMPARE(layout.pages, pages);
    for (qsizetype c = 0; c + 5 < checks.size(); c += 6) {
        const auto found = std::find_if(layout.parts.begin(), layout.parts.end(),
            [&](const graph::PlacedPart &part) { return part.piece == checks[c] && part.part == checks[c + 1]; });
        QVERIFY2(found != layout.parts.end(),
            qPrintable(QStringLiteral("piece %1 part %2").arg(checks[c]).arg(checks[c + 1])));
        QCOMPARE(found->parts, static_cast<int>(checks[c + 2]));
        QCOMPARE(found->page, static_cast<int>(checks[c + 3]));
        QCOMPARE(found->left_mm, checks[c + 4]);
        QVERIFY(std::fabs(found->to_mm - checks[c + 5]) < 1e-9);
        QVERIFY(std::fabs(found->from_mm - 233 * found->part) < 1e-9);
    }
}

void TestTapePages::pdf_at_true_size()
{
    // One piece of 12.68 cm written to a PDF of A4: its strip in the page's content, the page's
    // matrix times the strip's, is 126.8 mm tall and 16 mm wide.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("tape.pdf"));
    const graph::TapeLayout layout = graph::lay_out_tape({12.68});
    {
        QPdfWriter writer(path);
        writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF()));
        QPainter painter(&writer);
        graph::paint_tape_page(painter, layout, {{12.68, {1.268, 2.536}, QStringLiteral("1"), false}}, 0, QString());
    }
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll().contains("/MediaBox [0 0 595.000000 842.000000]"));
    bool found = false;
    for (const QSizeF &strip : support::pdf_filled_rectangles_mm(path)) {
        if (std::fabs(strip.width() - 16) > 0.01)
            continue;
        found = true;
        QVERIFY2(std::fabs(strip.height() - 126.8) <= 0.02, qPrintable(QString::number(strip.height())));
    }
    QVERIFY(found);
}

QTEST_MAIN(TestTapePages)
#include "tst_tape_pages.moc"
