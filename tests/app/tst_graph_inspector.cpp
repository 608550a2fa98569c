// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

// グラフを調べる on a simulated run: ranges typed, dragged and stepped, the tangent, the copy and the
// keys.

#include "common/measurement_plan.h"
#include "converter/simulated_cart.h"
#include "graph_inspector.h"
#include "measurement_document.h"
#include "pdf_rectangles.h"
#include "tape_page.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <memory>

namespace {

// 計測 of 2 s at 1 ms of the cart from 20 cm/s at 60 cm/s², stopped dead after 60 cm (at about
// 1.14 s), its readings at exact instants.
void measure(common::MeasurementState &state)
{
    converter::CartMotion motion{20, 60, 0.05};
    motion.end_stop_cm = 60;
    converter::SimulatedCart cart(motion);
    common::start_measurement(state, 1, 2);
    for (std::int32_t i = 0; i <= state.last_sample; ++i)
        state.samples[static_cast<std::size_t>(i)] = static_cast<std::int16_t>(cart.sensor_reading(i * 1e-3));
    state.measured = true;
}

// The copy's row `name`: its cells after the name.
QStringList copied(const QString &copy, const QString &name)
{
    for (const QString &row : copy.split(QLatin1Char('\n'))) {
        const QStringList cells = row.split(QLatin1Char('\t'));
        if (cells.value(0) == name)
            return cells.mid(1);
    }
    return {};
}

struct Inspector {
    Inspector()
    {
        measure(document.state);
        window = std::make_unique<GraphInspector>(
            document, [] { return std::int16_t{1}; }, [] { return false; }, nullptr);
        window->show();
    }
    void type_range(const QString &start, const QString &end)
    {
        window->start_box()->setText(start);
        window->end_box()->setText(end);
        QTest::keyClick(window->end_box(), Qt::Key_Return);
    }
    MeasurementDocument document;
    std::unique_ptr<GraphInspector> window;
};

}  // namespace

class TestGraphInspector : public QObject {
    Q_OBJECT

private slots:
    void typed_range_data();
    void typed_range();
    void range_to_the_stop();
    void keys_data();
    void keys();
    void tape_data();
    void tape();
};

void TestGraphInspector::typed_range_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("end");
    QTest::addColumn<bool>("taken");
    QTest::addColumn<double>("end_taken");      // s; NaN: as typed
    QTest::addColumn<bool>("late_on_an_edge");  // a reading came late on the edge after 0.4 s

    QTest::newRow("0.1 to 0.8") << "0.1"
                                << "0.8" << true << std::nan("") << false;
    QTest::newRow("full-width digits") << "０．１"
                                       << "０．８" << true << 0.8 << false;
    QTest::newRow("the wrong way round") << "0.8"
                                         << "0.1" << false << 0.0 << false;
    QTest::newRow("no width") << "0.5"
                              << "0.5" << false << 0.0 << false;
    QTest::newRow("not a number") << "0.1"
                                  << "1e0" << false << 0.0 << false;
    QTest::newRow("a negative start is the first edge") << "-1"
                                                        << "0.8" << true << 0.8 << false;
    QTest::newRow("wholly after the data") << "5"
                                           << "6" << false << 0.0 << false;
    // The two sections that share the edge are left out of the line, and the window says so.
    QTest::newRow("a reading late on an edge") << "0.1"
                                               << "0.8" << true << std::nan("") << true;
}

void TestGraphInspector::typed_range()
{
    QFETCH(QString, start);
    QFETCH(QString, end);
    QFETCH(bool, taken);
    QFETCH(double, end_taken);
    QFETCH(bool, late_on_an_edge);

    Inspector inspector;
    const analysis::AnalysedRun run = analysis::analyse_run(inspector.document.state, 1);
    std::int32_t closed = 1;  // the section that the edge closes
    while (closed < run.state->edge_count && run.state->sect_time[static_cast<std::size_t>(closed)] < 0.4f)
        ++closed;
    if (late_on_an_edge) {
        const std::int32_t edge = run.state->edge_index[static_cast<std::size_t>(closed)];
        inspector.document.late_readings = {{edge, edge}};
    }
    inspector.type_range(QStringLiteral("0.2"), QStringLiteral("0.6"));
    const std::optional<common::TimeRange> before = inspector.document.range;
    QVERIFY(before && before->start_s == 0.2 && before->end_s == 0.6);

    inspector.type_range(start, end);
    QCOMPARE(inspector.document.range != before, taken);
    QCOMPARE(inspector.window->message_label()->text().isEmpty(), taken);
    if (!taken)
        return;
    if (!std::isnan(end_taken))
        QCOMPARE(inspector.document.range->end_s, end_taken);
    QVERIFY(inspector.document.range->start_s >= 0);
    // The sections fitted are those whose mid-times lie in the range.
    const QStringList points = copied(inspector.window->copy_text(), QStringLiteral("点の数"));
    std::int32_t within = 0;
    for (std::int32_t k = 1; k <= run.state->edge_count; ++k) {
        const float mid = run.state->sect_time[static_cast<std::size_t>(k)];
        within += mid >= inspector.document.range->start_s && mid <= inspector.document.range->end_s;
    }
    QCOMPARE(points.value(0).toInt(), within - (late_on_an_edge ? 2 : 0));
    const QString left_out
        = QStringLiteral("区間 %1, %2 は計測中にコンピューターが止まって").arg(closed).arg(closed + 1);
    QCOMPARE(inspector.window->results_label()->text().contains(left_out), late_on_an_edge);
}

void TestGraphInspector::range_to_the_stop()
{
    // From 0.1 s to just before the stop: 60 cm/s² within 1 % and within two standard errors, the
    // area under the line within 0.1 cm of the rise of x–t.
    Inspector inspector;
    QApplication::setActiveWindow(inspector.window.get());
    QVERIFY(QTest::qWaitForWindowActive(inspector.window.get()));
    inspector.type_range(QStringLiteral("0.1"), QStringLiteral("0.8"));
    // Ctrl+C in the field that has the focus, with nothing selected there.
    QGuiApplication::clipboard()->clear();
    QTest::keyClick(inspector.window->end_box(), Qt::Key_C, Qt::ControlModifier);
    const QString copy = QGuiApplication::clipboard()->text();
    QCOMPARE(copy, inspector.window->copy_text());
    const QStringList acceleration = copied(copy, QStringLiteral("加速度(cm/s²)"));
    const double a = acceleration.value(0).toDouble();
    QVERIFY2(std::fabs(a - 60) <= 0.6 && std::fabs(a - 60) <= 2 * acceleration.value(1).toDouble(), qPrintable(copy));
    const double area = copied(copy, QStringLiteral("面積(cm)")).value(0).toDouble();
    const double rise = copied(copy, QStringLiteral("距離の差(cm)")).value(0).toDouble();
    QVERIFY2(area > 10 && std::fabs(area - rise) <= 0.1, qPrintable(copy));

    // The tangent at 0.5 s: the velocity then, 20 + 60 × (0.5 + the time from the release to the
    // first edge), within its error.
    inspector.window->tangent_box()->setText(QStringLiteral("0.5"));
    QTest::keyClick(inspector.window->tangent_box(), Qt::Key_Return);
    const QStringList slope = copied(inspector.window->copy_text(), QStringLiteral("接線の傾き(cm/s)"));
    const QStringList line = copied(inspector.window->copy_text(), QStringLiteral("初速度(cm/s)"));
    QVERIFY2(std::fabs(slope.value(0).toDouble() - (line.value(0).toDouble() + a * 0.5)) <= 1.0,
        qPrintable(inspector.window->copy_text()));
    QVERIFY(slope.value(1).toDouble() > 0);
    // The README's picture of the window, when asked for.
    if (const QByteArray path = qgetenv("UNDOU_INSPECTOR_SCREENSHOT"); !path.isEmpty()) {
        inspector.window->resize(760, 760);
        QTest::keyClick(inspector.window->plot(), Qt::Key_Right);
        QVERIFY(inspector.window->grab().save(QString::fromLocal8Bit(path)));
    }
}

void TestGraphInspector::keys_data()
{
    QTest::addColumn<int>("steps");     // Right presses on the plot
    QTest::addColumn<int>("extended");  // then Shift+Right presses
    QTest::addColumn<int>("examined");  // the section examined after them
    QTest::addColumn<bool>("ranged");

    QTest::newRow("Right from nothing: the first section") << 1 << 0 << 1 << false;
    QTest::newRow("Left at the first stays") << 1 << 0 << 1 << false;
    QTest::newRow("Shift+Right twice: three sections") << 3 << 2 << 5 << true;
}

void TestGraphInspector::keys()
{
    QFETCH(int, steps);
    QFETCH(int, extended);
    QFETCH(int, examined);
    QFETCH(bool, ranged);

    Inspector inspector;
    // The window opens with the focus on 開始(s); Tab goes on to 終了(s), then to 接線の時刻(s).
    QApplication::setActiveWindow(inspector.window.get());
    QVERIFY(QTest::qWaitForWindowActive(inspector.window.get()));
    QCOMPARE(QApplication::focusWidget(), inspector.window->start_box());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), inspector.window->end_box());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), inspector.window->tangent_box());

    QWidget *plot = inspector.window->plot();
    for (int i = 0; i < steps; ++i)
        QTest::keyClick(plot, Qt::Key_Right);
    if (QString::fromUtf8(QTest::currentDataTag()).startsWith(QStringLiteral("Left")))
        QTest::keyClick(plot, Qt::Key_Left);
    for (int i = 0; i < extended; ++i)
        QTest::keyClick(plot, Qt::Key_Right, Qt::ShiftModifier);
    QVERIFY2(inspector.window->examined_label()->text().startsWith(QStringLiteral("区間 %1　").arg(examined)),
        qPrintable(inspector.window->examined_label()->text()));
    QCOMPARE(inspector.document.range.has_value(), ranged);
    if (ranged)
        QCOMPARE(copied(inspector.window->copy_text(), QStringLiteral("点の数")).value(0).toInt(), extended + 1);
}

void TestGraphInspector::tape_data()
{
    QTest::addColumn<double>("piece_s");
    QTest::addColumn<QList<double>>("range");  // empty: none
    QTest::addColumn<int>("on_line");          // pieces the line goes through
    QTest::addColumn<int>("whole");            // whole pieces, a shorter one after them

    // The strip has passed by 1.05 s from the first edge, where the run ends with a shorter piece.
    QTest::newRow("0.1 s pieces") << 0.1 << QList<double>{} << 10 << 10;
    // Middles 0.35, 0.45, 0.55 and 0.65 s lie in the range; 0.25 and 0.75 s do not.
    QTest::newRow("a range") << 0.1 << QList<double>{0.3, 0.7} << 4 << 10;
}

void TestGraphInspector::tape()
{
    QFETCH(double, piece_s);
    QFETCH(QList<double>, range);
    QFETCH(int, on_line);
    QFETCH(int, whole);

    Inspector inspector;
    if (!range.isEmpty())
        inspector.window->choose_range({range[0], range[1]});
    QApplication::setActiveWindow(inspector.window.get());
    QVERIFY(QTest::qWaitForWindowActive(inspector.window.get()));
    // Ctrl+Tab from a field of the first tab brings テープ, its focus on the piece time.
    QTest::keyClick(inspector.window->end_box(), Qt::Key_Tab, Qt::ControlModifier);
    QCOMPARE(inspector.window->tabs()->currentWidget(), inspector.window->tape_page());
    QComboBox *pieces = inspector.window->tape_page()->piece_box();
    QCOMPARE(QApplication::focusWidget(), pieces);
    pieces->setCurrentIndex(pieces->findData(piece_s));
    QGuiApplication::clipboard()->clear();
    QTest::keyClick(pieces, Qt::Key_C, Qt::ControlModifier);
    const QStringList rows = QGuiApplication::clipboard()->text().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    const analysis::Tape &tape = inspector.window->tape_page()->tape();
    QCOMPARE(rows.size(), static_cast<qsizetype>(tape.pieces.size()) + 1);
    QVERIFY(tape.line && tape.line->points == on_line);
    QVERIFY2(std::fabs(tape.line->slope - 60) <= 0.6, qPrintable(QString::number(tape.line->slope)));
    // The PDF holds every piece with a length at its true size, in order.
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("tape.pdf"));
    QVERIFY(inspector.window->tape_page()->save_pdf_to(pdf));
    QList<double> printed;
    for (const QSizeF &strip : support::pdf_filled_rectangles_mm(pdf)) {
        if (std::fabs(strip.width() - 16) < 0.01)
            printed << strip.height();
    }
    QCOMPARE(printed.size(), rows.size() - 1);
    for (qsizetype k = 0; k < printed.size(); ++k)
        QVERIFY2(std::fabs(printed[k] - 10 * *tape.pieces[static_cast<std::size_t>(k)].length_cm) <= 0.02,
            qPrintable(QString::number(printed[k])));
    for (int piece = 2; piece < static_cast<int>(rows.size()); ++piece) {
        const QStringList cells = rows[piece].split(QLatin1Char('\t'));
        QCOMPARE(cells.value(0).toInt(), piece);
        // Each whole piece is 60 cm/s² × piece time² longer than the one before.
        QCOMPARE(cells.value(2).toDouble() - cells.value(1).toDouble() < piece_s - 1e-3, piece > whole);
        if (piece <= whole) {
            const double rise
                = cells.value(3).toDouble() - rows[piece - 1].split(QLatin1Char('\t')).value(3).toDouble();
            QVERIFY2(std::fabs(rise - 60 * piece_s * piece_s) <= 0.02, qPrintable(rows.join(QLatin1Char('\n'))));
        }
    }
}

QTEST_MAIN(TestGraphInspector)
#include "tst_graph_inspector.moc"
