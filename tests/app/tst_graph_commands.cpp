// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

// グラフ, 最小２乗法 and the scale buttons through the window.

#include "analysis/least_squares.h"
#include "converter/converter.h"
#include "converter/simulated_converter.h"
#include "fake_loop_host.h"
#include "form1.h"
#include "graph/draw_graph.h"
#include "graph/fit_overlay.h"
#include "message_box_watcher.h"
#include "messages.h"
#include "picture_box.h"
#include "recording_lines.h"
#include "window_test_support.h"

#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>

#include <memory>

using test_support::FakeLoopHost;
using test_support::MessageBoxWatcher;

namespace {

const QString kMeasureFirst = QStringLiteral("計測ボタンを押してからにしてください。");
const QString kGraphFirst = QStringLiteral("グラフボタンを押してからにしてください。");
const QString kHolesWanted = QStringLiteral("1区間の穴数には1から32767までの整数を入れてください。");

// The picture the renderer alone draws from a copy of the state.
QImage graph_alone(const common::MeasurementState &state, float x_zoom, float y_zoom)
{
    common::MeasurementState copy = state;
    graph::Surface surface(660, 480);
    graph::draw_graph(surface, copy, x_zoom, y_zoom);
    return surface.image().copy();
}

// A recording of `pulses` light pulses, one every `spacing` samples, at 1000 samples a second.
void fill_pulses(common::MeasurementState &state, int pulses, int spacing)
{
    state.period_ms = 1;
    state.sample_rate = 1000.0f;
    state.meas_time = 10.0f;
    state.last_sample = pulses * spacing + 10;
    std::fill(state.samples.begin(), state.samples.end(), std::int16_t{20});
    for (int p = 0; p < pulses; ++p)
        for (int i = 0; i < spacing / 2; ++i)
            state.samples[5 + p * spacing + i] = 230;
    state.measured = true;
}

}  // namespace

class TestGraphCommands : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void graph_before_any_measurement();
    void zoom_before_any_measurement_draws_no_distances();
    void unusable_holes_text_changes_nothing_data();
    void unusable_holes_text_changes_nothing();
    void typed_holes_are_accepted_data();
    void typed_holes_are_accepted();
    void fit_before_graph_data();
    void fit_before_graph();
    void measure_graph_fit_on_the_simulated_cart();
    void zoom_refits_the_visible_points();
    void zoom_without_fit_draws_the_graph_only();
    void restore_drops_the_fit();
    void zoom_factors_change_by_two();
    void zoom_factors_stay_bounded();
    void more_than_200_sections();
    void fit_of_a_single_point_draws_nothing();
    void new_measurement_leaves_no_stale_fit();
    void graph_without_edges_says_why();
    void strip_check_speaks_once_data();
    void strip_check_speaks_once();

private:
    void measure_simulated_cart();
    void click(QPushButton *button) { QTest::mouseClick(button, Qt::LeftButton); }

    std::unique_ptr<FakeLoopHost> host_;
    std::unique_ptr<converter::SimulatedConverter> simulated_;
    std::unique_ptr<test_support::TestWindow> form_;
};

void TestGraphCommands::init()
{
    host_ = std::make_unique<FakeLoopHost>();
    simulated_ = std::make_unique<converter::SimulatedConverter>(host_->fake_clock());
    form_ = test_support::show_form(*host_, *simulated_);
    QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
}

void TestGraphCommands::cleanup() { form_.reset(); }

void TestGraphCommands::measure_simulated_cart()
{
    form_->ui.HScroll1->setValue(1);
    form_->ui.HScroll2->setValue(1);
    click(form_->ui.Cmd_計測);
}

void TestGraphCommands::graph_before_any_measurement()
{
    form_->picture().set_pixel(5, 5, common::kBrightRed);
    const QImage before = form_->picture().image().copy();
    form_->ui.Text3->setText(QStringLiteral("3"));
    MessageBoxWatcher watcher;
    click(form_->ui.Cmd_graph);

    QCOMPARE(watcher.seen.size(), 1);
    QCOMPARE(watcher.seen[0].text, kMeasureFirst);
    QVERIFY(!watcher.seen[0].has_icon);
    QVERIFY(form_->picture().image() == before);
    QVERIFY(!form_->document().strip_analysis);
    QCOMPARE(form_->document().state.holes_per_section, 3);
    QCOMPARE(form_->document().state.section_length, 3.803999900817871f);
    QVERIFY(form_->document().state.graphed);
    QVERIFY(!form_->document().state.fit_shown);
    QCOMPARE(form_->document().state.edge_count, 0);
    for (QPushButton *button : {form_->ui.Cmd_hukugen, form_->ui.Cmd_yoko_large, form_->ui.Cmd_yoko_small,
             form_->ui.Cmd_tate_large, form_->ui.Cmd_tate_small})
        QVERIFY(button->isEnabled());
}

void TestGraphCommands::zoom_before_any_measurement_draws_no_distances()
{
    MessageBoxWatcher watcher;
    click(form_->ui.Cmd_graph);
    click(form_->ui.Cmd_yoko_large);
    QCOMPARE(form_->document().state.sample_rate, 0.0f);
    QCOMPARE(form_->document().state.x_zoom, 2.0f);
    // No disc at the origin: the distance of boundary 0 has no time without a sample rate. A disc
    // there would paint the box's corner red.
    QCOMPARE(form_->picture().image().pixel(50, 388), qRgb(0, 0, 0));
    QCOMPARE(form_->picture().image().pixel(49, 389), qRgb(255, 255, 255));
    QCOMPARE(watcher.seen.size(), 1);
}

void TestGraphCommands::unusable_holes_text_changes_nothing_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << "";
    QTest::newRow("letters") << "abc";
    QTest::newRow("zero") << "0";
    QTest::newRow("negative") << "-2";
    QTest::newRow("too large") << "40000";
    QTest::newRow("rounds to zero") << "0.4";
}

void TestGraphCommands::unusable_holes_text_changes_nothing()
{
    QFETCH(QString, text);
    measure_simulated_cart();
    const QImage trace = form_->picture().image().copy();
    form_->ui.Text3->setText(text);
    MessageBoxWatcher watcher;
    click(form_->ui.Cmd_graph);

    QCOMPARE(watcher.seen.size(), 1);
    QCOMPARE(watcher.seen[0].text, kHolesWanted);
    QVERIFY(!form_->document().state.graphed);
    QCOMPARE(form_->document().state.holes_per_section, 0);
    QVERIFY(!form_->ui.Cmd_hukugen->isEnabled());
    QVERIFY(form_->picture().image() == trace);
}

void TestGraphCommands::typed_holes_are_accepted_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("holes");
    QTest::addColumn<int>("bar");  // HScroll3 afterwards: moved by a whole number it can hold
    QTest::newRow("full-width digit") << "３" << 3 << 3;
    QTest::newRow("blanks around") << " 2 " << 2 << 2;
    QTest::newRow("half rounds to even, the bar stays") << "2.5" << 2 << 1;
    QTest::newRow("a whole number the bar holds") << "5" << 5 << 5;
    QTest::newRow("the bar's maximum") << "10" << 10 << 10;
    QTest::newRow("beyond the bar, which stays") << "11" << 11 << 1;
}

void TestGraphCommands::typed_holes_are_accepted()
{
    QFETCH(QString, text);
    QFETCH(int, holes);
    QFETCH(int, bar);
    measure_simulated_cart();
    form_->ui.Text3->setText(text);
    click(form_->ui.Cmd_graph);
    QCOMPARE(form_->document().state.holes_per_section, holes);
    QVERIFY(form_->document().state.edge_count > 2);
    QCOMPARE(form_->ui.HScroll3->value(), bar);
    // The bar's next step starts from what it holds.
    form_->ui.HScroll3->triggerAction(QScrollBar::SliderSingleStepAdd);
    QCOMPARE(form_->ui.HScroll3->value(), std::min(bar + 1, 10));
}

void TestGraphCommands::new_measurement_leaves_no_stale_fit()
{
    measure_simulated_cart();
    click(form_->ui.Cmd_graph);
    click(form_->ui.Cmd_最小2乗法);
    QVERIFY(form_->document().state.plotted_sections > 2);

    // A new measurement: the scale buttons are off while it runs and after it, until グラフ.
    bool zoom_enabled_during = true;
    host_->at_pump(host_->pumps() + 100, [&] { zoom_enabled_during = form_->ui.Cmd_yoko_large->isEnabled(); });
    measure_simulated_cart();
    QVERIFY(!zoom_enabled_during);
    for (QPushButton *button : {form_->ui.Cmd_hukugen, form_->ui.Cmd_yoko_large, form_->ui.Cmd_yoko_small,
             form_->ui.Cmd_tate_large, form_->ui.Cmd_tate_small})
        QVERIFY(!button->isEnabled());
    const QImage trace = form_->picture().image().copy();
    MessageBoxWatcher watcher;
    click(form_->ui.Cmd_最小2乗法);
    QCOMPARE(watcher.seen.size(), 1);
    QCOMPARE(watcher.seen[0].text, kGraphFirst);
    QVERIFY(form_->picture().image() == trace);

    // After グラフ the fit follows the zoom until no point is left in the box, and then says so.
    click(form_->ui.Cmd_graph);
    QVERIFY(form_->ui.Cmd_yoko_large->isEnabled());
    click(form_->ui.Cmd_最小2乗法);
    QCOMPARE(watcher.seen.size(), 1);
    for (int press = 0; press < 6 && form_->document().state.plotted_sections > 0; ++press)
        click(form_->ui.Cmd_tate_large);
    QCOMPARE(form_->document().state.plotted_sections, 0);
    QVERIFY(watcher.seen.size() >= 2);
    QCOMPARE(watcher.seen.last().text, messages::fit_needs_two_points());
}

void TestGraphCommands::graph_without_edges_says_why()
{
    fill_pulses(form_->document().state, 0, 20);
    MessageBoxWatcher watcher;
    click(form_->ui.Cmd_graph);
    QCOMPARE(watcher.seen.size(), 1);
    QCOMPARE(watcher.seen[0].text, messages::no_hole_edges());
    // The graph is drawn all the same, before the message.
    QCOMPARE(form_->picture().image().pixel(330, 60), qRgb(0, 0, 0));
    QCOMPARE(form_->document().state.plotted_sections, 0);
}

void TestGraphCommands::fit_before_graph_data()
{
    QTest::addColumn<bool>("measure");
    QTest::addColumn<bool>("graph");
    QTest::newRow("nothing yet") << false << false;
    QTest::newRow("measured only") << true << false;
    QTest::newRow("graphed only") << false << true;
}

void TestGraphCommands::fit_before_graph()
{
    QFETCH(bool, measure);
    QFETCH(bool, graph);
    MessageBoxWatcher watcher;
    if (measure)
        measure_simulated_cart();
    if (graph)
        click(form_->ui.Cmd_graph);
    const qsizetype messages_before = watcher.seen.size();
    const QImage before = form_->picture().image().copy();
    click(form_->ui.Cmd_最小2乗法);

    QCOMPARE(watcher.seen.size(), messages_before + 1);
    QCOMPARE(watcher.seen.last().text, kGraphFirst);
    QVERIFY(form_->picture().image() == before);
    QVERIFY(form_->document().state.fit_shown);
}

void TestGraphCommands::measure_graph_fit_on_the_simulated_cart()
{
    measure_simulated_cart();
    click(form_->ui.Cmd_graph);
    const common::MeasurementState &state = form_->document().state;
    QVERIFY(state.plotted_sections >= 15);
    const QImage graph = form_->picture().image().copy();
    QVERIFY(graph != graph_alone(state, 1, 1));  // the first drawing has its own labels

    click(form_->ui.Cmd_最小2乗法);
    const auto fit = analysis::fit_velocity_line(state.sect_time, state.sect_velocity, state.plotted_sections);
    QVERIFY(fit);
    QVERIFY(std::abs(fit->acceleration - 60.0f) < 0.02f * 60.0f);
    // The overlay's first velocity dot is set, and the picture gained the results and curves.
    const graph::OverlayDot first = graph::fit_overlay_dots(fit->initial_velocity, fit->acceleration, 1, 1).front();
    QCOMPARE(form_->picture().image().pixel(first.x, first.y), qRgb(0, 0, 255));
    QVERIFY(form_->picture().image() != graph);
    QVERIFY(state.fit_shown);
}

void TestGraphCommands::zoom_refits_the_visible_points()
{
    measure_simulated_cart();
    click(form_->ui.Cmd_graph);
    click(form_->ui.Cmd_最小2乗法);
    const std::int32_t all_points = form_->document().state.plotted_sections;

    click(form_->ui.Cmd_yoko_large);
    const common::MeasurementState &state = form_->document().state;
    QVERIFY(state.fit_shown);
    QVERIFY2(state.plotted_sections < all_points && state.plotted_sections > 3,
        qPrintable(QStringLiteral("%1 of %2").arg(state.plotted_sections).arg(all_points)));
    // The line drawn over the new picture is the fit of the points that stayed on the graph.
    const auto fit = analysis::fit_velocity_line(state.sect_time, state.sect_velocity, state.plotted_sections);
    QVERIFY(fit);
    const auto dots = graph::fit_overlay_dots(fit->initial_velocity, fit->acceleration, 2, 1);
    const QImage &picture = form_->picture().image();
    int blue_dots_set = 0;
    for (const graph::OverlayDot &dot : dots)
        blue_dots_set += dot.colour == common::kBrightBlue && picture.pixel(dot.x, dot.y) == qRgb(0, 0, 255);
    QVERIFY(blue_dots_set > 600);
}

void TestGraphCommands::zoom_without_fit_draws_the_graph_only()
{
    measure_simulated_cart();
    click(form_->ui.Cmd_graph);
    click(form_->ui.Cmd_tate_small);
    QVERIFY(form_->picture().image() == graph_alone(form_->document().state, 1, 0.5f));
}

void TestGraphCommands::restore_drops_the_fit()
{
    measure_simulated_cart();
    click(form_->ui.Cmd_graph);
    click(form_->ui.Cmd_最小2乗法);
    click(form_->ui.Cmd_yoko_large);
    click(form_->ui.Cmd_hukugen);
    QCOMPARE(form_->document().state.x_zoom, 1.0f);
    QCOMPARE(form_->document().state.y_zoom, 1.0f);
    QVERIFY(!form_->document().state.fit_shown);
    QVERIFY(form_->picture().image() == graph_alone(form_->document().state, 1, 1));

    // A later zoom does not bring the line back.
    click(form_->ui.Cmd_yoko_large);
    QVERIFY(form_->picture().image() == graph_alone(form_->document().state, 2, 1));
}

void TestGraphCommands::zoom_factors_change_by_two()
{
    measure_simulated_cart();
    click(form_->ui.Cmd_graph);
    click(form_->ui.Cmd_tate_large);
    click(form_->ui.Cmd_tate_large);
    click(form_->ui.Cmd_tate_small);
    QCOMPARE(form_->document().state.y_zoom, 2.0f);
    QCOMPARE(form_->document().state.x_zoom, 1.0f);
    click(form_->ui.Cmd_yoko_small);
    QCOMPARE(form_->document().state.x_zoom, 0.5f);
}

void TestGraphCommands::zoom_factors_stay_bounded()
{
    measure_simulated_cart();
    click(form_->ui.Cmd_graph);
    for (int press = 0; press < 8; ++press)
        click(form_->ui.Cmd_tate_large);
    QCOMPARE(form_->document().state.y_zoom, 256.0f);
    const QImage at_bound = form_->picture().image().copy();
    click(form_->ui.Cmd_tate_large);
    QCOMPARE(form_->document().state.y_zoom, 256.0f);
    QVERIFY(form_->picture().image() == at_bound);

    for (int press = 0; press < 40; ++press)
        click(form_->ui.Cmd_yoko_small);
    QCOMPARE(form_->document().state.x_zoom, 1.0f / 1024.0f);
    for (int press = 0; press < 40; ++press)
        click(form_->ui.Cmd_yoko_large);
    QCOMPARE(form_->document().state.x_zoom, 64.0f);
    for (int press = 0; press < 40; ++press)
        click(form_->ui.Cmd_tate_small);
    QCOMPARE(form_->document().state.y_zoom, 0.25f);
}

void TestGraphCommands::more_than_200_sections()
{
    fill_pulses(form_->document().state, 400, 20);
    click(form_->ui.Cmd_graph);
    QCOMPARE(form_->document().state.edge_count, 399);
    QVERIFY(form_->document().state.sect_velocity.size() >= 400);
    // Every section is 20 ms long: 1.268 cm / 0.02 s.
    QCOMPARE(form_->document().state.sect_velocity[399], form_->document().state.sect_velocity[1]);
    QVERIFY(std::abs(form_->document().state.sect_velocity[250] - 63.4f) < 1e-3f);
    click(form_->ui.Cmd_yoko_small);
    click(form_->ui.Cmd_yoko_small);
    click(form_->ui.Cmd_yoko_small);
    click(form_->ui.Cmd_最小2乗法);
    QVERIFY(form_->document().state.plotted_sections > 200);
}

void TestGraphCommands::fit_of_a_single_point_draws_nothing()
{
    fill_pulses(form_->document().state, 2, 100);
    click(form_->ui.Cmd_graph);
    QCOMPARE(form_->document().state.plotted_sections, 1);
    const QImage before = form_->picture().image().copy();
    MessageBoxWatcher watcher;
    click(form_->ui.Cmd_最小2乗法);
    // Nothing is drawn, and the user is told why.
    QCOMPARE(watcher.seen.size(), 1);
    QCOMPARE(watcher.seen[0].text, messages::fit_needs_two_points());
    QVERIFY(form_->picture().image() == before);
}

void TestGraphCommands::strip_check_speaks_once_data()
{
    QTest::addColumn<int>("period_ms");
    QTest::addColumn<bool>("speaks");
    // A 5 mm hole passes between two readings above 100 cm/s at 5 ms, above 500 cm/s at 1 ms.
    QTest::newRow("120 cm/s at 5 ms") << 5 << true;
    QTest::newRow("120 cm/s at 1 ms") << 1 << false;
}

void TestGraphCommands::strip_check_speaks_once()
{
    QFETCH(int, period_ms);
    QFETCH(bool, speaks);
    simulated_
        = std::make_unique<converter::SimulatedConverter>(host_->fake_clock(), converter::CartMotion{120, 80, 0.05});
    form_->link.use_lines(*simulated_);
    form_->ui.HScroll1->setValue(period_ms);
    form_->ui.HScroll2->setValue(1);
    // A graph of the readings so far, drawn while 計測 records, is not checked.
    MessageBoxWatcher watcher;
    bool checked_while_recording = true;
    host_->at_time_ns(host_->fake_clock().now_ns() + 500'000'000, [&] {
        click(form_->ui.Cmd_graph);
        checked_while_recording = form_->document().strip_analysis.has_value();
    });
    click(form_->ui.Cmd_計測);
    QVERIFY(!checked_while_recording && !form_->document().strip_analysis);
    QCOMPARE(watcher.seen.size(), 0);

    click(form_->ui.Cmd_graph);
    QVERIFY(form_->document().strip_analysis);
    QCOMPARE(form_->document().strip_analysis->check.found_something(), speaks);
    QStringList expected;
    if (speaks)
        expected << messages::strip_check_found(form_->document().strip_analysis->check);
    // Once after グラフ, and never again on the fit, a zoom or 元のグラフ.
    for (QPushButton *button :
        {form_->ui.Cmd_最小2乗法, form_->ui.Cmd_yoko_large, form_->ui.Cmd_tate_small, form_->ui.Cmd_hukugen})
        click(button);
    QStringList seen;
    for (const test_support::SeenMessageBox &box : watcher.seen)
        seen << box.text;
    QCOMPARE(seen, expected);
    QVERIFY(form_->document().strip_analysis);
    measure_simulated_cart();
    QVERIFY(!form_->document().strip_analysis);
}

QTEST_MAIN(TestGraphCommands)
#include "tst_graph_commands.moc"
