// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The lesson as the window edits it: every kind of edit through the table undone and done again,
// a run deleted just before the run on screen, another group's lesson file added twice, the copy
// for a spreadsheet with each run's 班, and the two graphs against the runs they show.

#include "converter/simulated_converter.h"
#include "fake_loop_host.h"
#include "lesson/lesson.h"
#include "lesson/lesson_store.h"
#include "lesson_desk.h"
#include "lesson_plots.h"
#include "lesson_runs.h"
#include "lesson_table_model.h"
#include "lesson_texts.h"
#include "lesson_view.h"
#include "message_box_watcher.h"
#include "window_test_support.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cmath>

using test_support::simulated_run;

namespace {

// The line's ends, to a part in 10^9 of their size: the plot works them out from the same numbers.
bool on_line(double y, double expected) { return std::fabs(y - expected) <= 1e-9 * std::max(1.0, std::fabs(expected)); }

// The law's graph against the runs: a point for each run in the law, at its value and its own
// acceleration, its bar the standard error of that acceleration; the line's ends at the smallest and
// the largest value, on y = intercept + slope x. Each run's point in its own colour while no run has
// a 班; once one has, a group's points share one: ours (no 班) the first, another group's the second.
void check_law_plot(LawPlot &plot, const Lesson &lesson)
{
    const LessonLaw law = lesson.law();
    const bool grouped = std::any_of(
        lesson.runs().begin(), lesson.runs().end(), [](const LessonRun &run) { return !run.group.isEmpty(); });
    std::vector<std::size_t> shown;
    int bar_sets = 0;
    for (int i = 0; i < plot.plottableCount(); ++i) {
        const auto *bars = qobject_cast<QCPErrorBars *>(plot.plottable(i));
        if (!bars)
            continue;
        ++bar_sets;
        const auto *points = qobject_cast<QCPGraph *>(bars->dataPlottable());
        QVERIFY(points);
        QCOMPARE(bars->dataCount(), points->dataCount());
        for (int j = 0; j < points->dataCount(); ++j) {
            const double x = points->data()->at(j)->key;
            const auto run = std::find_if(lesson.runs().begin(), lesson.runs().end(),
                [x](const LessonRun &candidate) { return candidate.value == x; });
            QVERIFY2(run != lesson.runs().end(), qPrintable(QStringLiteral("a point at %1").arg(x)));
            const auto k = static_cast<std::size_t>(run - lesson.runs().begin());
            const analysis::PositionFit &fit = *lesson.row(k).position_fit;
            QCOMPARE(points->data()->at(j)->value, fit.acceleration);
            QCOMPARE(bars->data()->at(j).errorMinus, *fit.acceleration_error);
            QCOMPARE(bars->data()->at(j).errorPlus, *fit.acceleration_error);
            const std::size_t colour = grouped ? (run->group.isEmpty() ? 0 : 1) : k;
            QCOMPARE(points->scatterStyle().brush().color(), run_colour(colour));
            shown.push_back(k);
        }
    }
    // Every graph of points has its bars.
    QCOMPARE(plot.graphCount(), bar_sets + (plot.line() ? 1 : 0));
    std::sort(shown.begin(), shown.end());
    QCOMPARE(shown, law.runs);
    QCOMPARE(plot.line() != nullptr, law.line.has_value());
    if (law.line) {
        const auto [low, high] = std::minmax_element(law.points.begin(), law.points.end(),
            [](const analysis::LessonPoint &a, const analysis::LessonPoint &b) { return a.x < b.x; });
        const QCPGraphDataContainer &ends = *plot.line()->data();
        QCOMPARE(ends.size(), 2);
        QCOMPARE(ends.at(0)->key, low->x);
        QCOMPARE(ends.at(1)->key, high->x);
        for (int e = 0; e < ends.size(); ++e)
            QVERIFY(on_line(ends.at(e)->value, law.line->intercept + law.line->slope * ends.at(e)->key));
    }
}

// The family's graph against the runs: each run's velocity points in its own colour, in the order
// of the runs, and its line over the times of its points.
void check_family_plot(FamilyPlot &plot, const Lesson &lesson)
{
    std::vector<const QCPGraph *> points, lines;
    for (int i = 0; i < plot.graphCount(); ++i)
        (plot.graph(i)->lineStyle() == QCPGraph::lsNone ? points : lines).push_back(plot.graph(i));
    QCOMPARE(points.size(), lesson.runs().size());
    std::size_t line = 0;
    for (std::size_t k = 0; k < lesson.runs().size(); ++k) {
        const LessonRow &row = lesson.row(k);
        QCOMPARE(points[k]->dataCount(), static_cast<int>(row.times.size()));
        for (int j = 0; j < points[k]->dataCount(); ++j)
            QCOMPARE(points[k]->data()->at(j)->value, double{row.velocities[static_cast<std::size_t>(j)]});
        QCOMPARE(points[k]->scatterStyle().brush().color(), run_colour(k));
        if (!row.line)
            continue;
        QVERIFY(line < lines.size());
        const QCPGraphDataContainer &ends = *lines[line++]->data();
        QCOMPARE(ends.size(), 2);
        QCOMPARE(ends.at(0)->key, double{row.times.front()});
        QCOMPARE(ends.at(1)->key, double{row.times.back()});
        for (int e = 0; e < ends.size(); ++e) {
            const double t = ends.at(e)->key;
            QVERIFY(on_line(ends.at(e)->value, row.line->initial_velocity + double{row.line->acceleration} * t));
        }
    }
    QCOMPARE(line, lines.size());
}

}  // namespace

class TestLessonDesk : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void each_edit_undone_and_done_again_data();
    void each_edit_undone_and_done_again();
    void groups_pooled_data();
    void groups_pooled();

private:
    QTemporaryDir data_;
    std::unique_ptr<test_support::FakeLoopHost> host_;
    std::unique_ptr<converter::SimulatedConverter> simulated_;
    std::unique_ptr<test_support::TestWindow> form_;
    std::unique_ptr<Lesson> lesson_;
    std::unique_ptr<LessonStore> keeper_;
    std::unique_ptr<LessonDesk> desk_;
    std::unique_ptr<LessonView> view_;
};

void TestLessonDesk::init()
{
    host_ = std::make_unique<test_support::FakeLoopHost>();
    simulated_ = std::make_unique<converter::SimulatedConverter>(host_->fake_clock());
    form_ = test_support::show_form(*host_, *simulated_);
    lesson_ = std::make_unique<Lesson>();
    keeper_ = std::make_unique<LessonStore>(*lesson_, data_.path());
    keeper_->restore();
    desk_ = std::make_unique<LessonDesk>(*form_, *lesson_, *keeper_);
    view_ = std::make_unique<LessonView>(*desk_, form_.get());
    for (int k = 0; k < 3; ++k)
        lesson_->add(simulated_run(40.0 * (k + 1)));
    lesson_->set_shown(2);
}

void TestLessonDesk::cleanup()
{
    view_.reset();
    desk_.reset();
    keeper_->start_new();
    keeper_.reset();
    lesson_.reset();
    form_.reset();
}

void TestLessonDesk::each_edit_undone_and_done_again_data()
{
    QTest::addColumn<QString>("edit");  // a column typed into, or what else is done
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("accepted");  // false: the cell keeps what it had and nothing is done

    QTest::newRow("班") << "group"
                        << "2班" << true;
    QTest::newRow("メモ") << "memo"
                          << "速い" << true;
    QTest::newRow("条件の値") << "value"
                              << "１．５" << true;
    QTest::newRow("穴数") << "holes"
                          << "3" << true;
    QTest::newRow("範囲(s)") << "range"
                             << "０．１～０．６" << true;
    QTest::newRow("範囲(s) emptied") << "range"
                                     << "" << true;
    QTest::newRow("範囲(s) past the readings") << "range"
                                               << "0.1-1.001" << false;
    QTest::newRow("範囲(s) that is no range") << "range"
                                              << "0.1" << false;
    QTest::newRow("a range chosen in the window for the run on screen") << "window range" << QString() << true;
    // Not an edit: the current row's run goes on screen and グラフを調べる opens on it.
    QTest::newRow("グラフを調べる… on the current run") << "inspect" << QString() << false;
    QTest::newRow("the run just before the run on screen deleted") << "delete 1" << QString() << true;
    QTest::newRow("the run on screen deleted") << "delete 2" << QString() << true;
    QTest::newRow("the condition's name") << "condition"
                                          << "計測" << true;
    QTest::newRow("1/x") << "inverse" << QString() << true;
}

void TestLessonDesk::each_edit_undone_and_done_again()
{
    QFETCH(QString, edit);
    QFETCH(QString, text);
    QFETCH(bool, accepted);

    LessonTableModel &model = *view_->model();
    // What the lesson holds, as its copy gives it with the sections each run is fitted over, and
    // which run is on screen.
    auto state = [this] {
        QStringList rows;
        for (const QStringList &row : lesson_copy_rows(*lesson_))
            rows << row.join('\t');
        for (std::size_t k = 0; k < lesson_->runs().size(); ++k)
            rows << QStringLiteral("%1 sections").arg(lesson_->row(k).sections);
        rows << QStringLiteral("the window's range %1").arg(range_text(form_->document().range));
        rows << QStringLiteral("on screen %1").arg(lesson_->shown() ? int(*lesson_->shown()) : -1)
             << QString::number(lesson_->runs().size());
        return rows;
    };
    // The run's 範囲(s) has a range to change, to empty or to keep.
    if (edit == QStringLiteral("range"))
        lesson_->set_range(1, common::TimeRange{0.2, 0.5});
    // The current cell is on the 条件の値 of the run on screen from the start.
    QCOMPARE(view_->table()->currentIndex(), model.index(2, kValueColumn));
    const QStringList before = state();
    const std::int32_t sections_before = lesson_->row(1).sections;
    const QString on_screen_before = lesson_->runs()[2].origin.source.value(2);
    const std::map<QString, int> columns{{"group", kGroupColumn}, {"memo", kMemoColumn}, {"value", kValueColumn},
        {"holes", kHolesColumn}, {"range", kRangeColumn}};
    QUndoStack &undo = desk_->undo_stack();
    if (columns.count(edit)) {
        QCOMPARE(model.setData(model.index(1, columns.at(edit)), text), accepted);
        if (!accepted) {
            QCOMPARE(state(), before);
            QCOMPARE(model.index(1, kRangeColumn).data().toString(), QStringLiteral("0.200–0.500"));
            QCOMPARE(undo.count(), 0);
            return;
        }
    } else if (edit.startsWith(QStringLiteral("delete"))) {
        view_->table()->setCurrentIndex(model.index(edit.back().digitValue(), kValueColumn));
        QTest::keyClick(view_->table(), Qt::Key_Delete);
    } else if (edit == QStringLiteral("inspect")) {
        int opened = 0;
        view_->set_inspector([&] {
            QCOMPARE(lesson_->shown(), std::optional<std::size_t>(0));
            ++opened;
        });
        view_->table()->setCurrentIndex(model.index(0, kValueColumn));
        const QList<QAction *> actions = view_->actions();
        const auto inspect = std::find_if(actions.begin(), actions.end(),
            [](QAction *action) { return action->shortcut() == QKeySequence(Qt::CTRL | Qt::Key_G); });
        QVERIFY(inspect != actions.end());
        (*inspect)->trigger();
        QCOMPARE(opened, 1);
        QCOMPARE(undo.count(), 0);
        QCOMPARE(lesson_->runs().size(), std::size_t{3});
        return;
    } else if (edit == QStringLiteral("window range")) {
        form_->document().set_range(common::TimeRange{0.1, 0.6});
    } else if (edit == QStringLiteral("condition")) {
        view_->condition_box()->setText(text);
        emit view_->condition_box()->editingFinished();
    } else {
        view_->inverse_box()->setChecked(true);
    }
    const QStringList after = state();
    QVERIFY(after != before);
    // A range fits the run over other sections.
    if (edit == QStringLiteral("range"))
        QVERIFY(lesson_->row(1).sections != sections_before);
    // The run on screen is the same run, wherever the deletion moved it.
    if (lesson_->shown())
        QCOMPARE(lesson_->runs()[*lesson_->shown()].origin.source.value(2), on_screen_before);

    for (int round = 0; round < 2; ++round) {
        undo.undo();
        QCOMPARE(state(), before);
        undo.redo();
        QCOMPARE(state(), after);
    }
    // Kept as it is now: a new start brings back the edit.
    if (edit == QStringLiteral("holes") || edit == QStringLiteral("range")) {
        Lesson again;
        LessonStore next(again, data_.path());
        next.restore();
        QCOMPARE(again.runs()[1].holes, lesson_->runs()[1].holes);
        QCOMPARE(again.runs()[1].range, lesson_->runs()[1].range);
        QCOMPARE(again.row(1).sections, lesson_->row(1).sections);
    }
    if (edit == QStringLiteral("holes"))
        QCOMPARE(lesson_->runs()[1].holes, std::int16_t{3});
    // The run shown again brings its own range to the window.
    if (edit == QStringLiteral("window range")) {
        QCOMPARE(lesson_->runs()[2].range, (std::optional<common::TimeRange>{{0.1, 0.6}}));
        desk_->show_run(0);
        QCOMPARE(form_->document().range, std::nullopt);
        desk_->show_run(2);
        QCOMPARE(form_->document().range, lesson_->runs()[2].range);
    }
    if (edit == QStringLiteral("range"))
        QCOMPARE(model.index(1, kRangeColumn).data().toString(), text.isEmpty() ? QString() : "0.100–0.600");
}

void TestLessonDesk::groups_pooled_data()
{
    QTest::addColumn<int>("times");  // how often the other group's file is added
    QTest::addColumn<int>("runs");
    QTest::addColumn<int>("unvalued");  // the run whose 条件の値 is then emptied; -1 for none
    QTest::addColumn<int>("in_law");

    QTest::newRow("another group's file") << 1 << 5 << -1 << 5;
    QTest::newRow("the same file twice") << 2 << 5 << -1 << 5;
    QTest::newRow("a run of ours left out of the law") << 1 << 5 << 1 << 4;
    QTest::newRow("a run of the other group's left out of the law") << 1 << 5 << 4 << 4;
}

void TestLessonDesk::groups_pooled()
{
    QFETCH(int, times);
    QFETCH(int, runs);
    QFETCH(int, unvalued);
    QFETCH(int, in_law);
    // Shown, the window follows each change as it comes.
    view_->show();
    // The other group measured the second cart again (the same readings) and two of its own, the
    // larger value first.
    Lesson other;
    other.set_settings({QStringLiteral("おもりの数"), QStringLiteral("個"), false, false});
    for (const double accel : {80.0, 100.0, 60.0}) {
        const std::size_t k = *other.add(simulated_run(accel));
        other.set_value(k, accel / 40);
    }
    const QString path = QDir(data_.path()).filePath(QStringLiteral("2班.csv"));
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(storage::write_lesson_csv(other.to_record(QDateTime::currentDateTime(), {})));
    }
    for (std::size_t k = 0; k < 3; ++k)
        lesson_->set_value(k, static_cast<double>(k + 1));
    // A new run on screen takes the current cell with it at once.
    lesson_->set_shown(lesson_->add(simulated_run(20)));
    QCOMPARE(view_->table()->currentIndex().row(), 3);
    lesson_->take(3);
    for (int n = 0; n < times; ++n)
        QVERIFY(desk_->pool_lesson(path));
    QCOMPARE(static_cast<int>(lesson_->runs().size()), runs);
    QCOMPARE(lesson_->runs()[3].group, QStringLiteral("2班"));
    QVERIFY(lesson_->runs()[0].group.isEmpty());
    if (unvalued >= 0)
        lesson_->set_value(static_cast<std::size_t>(unvalued), std::nullopt);
    // The law through both groups' runs: a = 40 x.
    const LessonLaw law = lesson_->law();
    QVERIFY(law.line);
    QCOMPARE(law.line->points, in_law);
    check_law_plot(*view_->law_plot(), *lesson_);
    check_family_plot(*view_->family_plot(), *lesson_);
    if (QTest::currentTestFailed())
        return;
    QVERIFY(std::fabs(law.line->slope - 40) <= 2 * law.line->slope_error);
    QVERIFY(view_->copy_text().contains(QStringLiteral("\n4\t2班\t")));
    // One undo takes the whole file's runs out again; a file that added nothing left no command.
    desk_->undo_stack().undo();
    QCOMPARE(lesson_->runs().size(), std::size_t{3});
    check_law_plot(*view_->law_plot(), *lesson_);
}

QTEST_MAIN(TestLessonDesk)
#include "tst_lesson_desk.moc"
