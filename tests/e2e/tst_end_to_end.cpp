// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The whole program as a teacher uses it: started on the simulated converter and cart, shown on a
// private X display with a window manager, driven by pointer clicks on its buttons, and judged by
// screenshots of its window: the message box, the raw trace, the discs of the graph where the
// cart's motion puts them, the fitted line and its printed results, the measurement saved through
// the picture's context menu and the file dialog, zoom and restore, the live view, the close box,
// and a 10 s measurement that keeps its schedule while every control and shortcut is used.

#include "cart_model.h"
#include "graph_checks.h"
#include "message_box.h"
#include "picture_analysis.h"
#include "program_window.h"
#include "storage/file_io.h"
#include "storage/lesson_csv.h"
#include "x_session.h"

#include <QClipboard>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLockFile>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <utility>

using namespace e2e;

// Fails, saying with what values, unless `actual` is within `tolerance` of `expected`.
#define VERIFY_NEAR(actual, expected, tolerance)                                                                       \
    QVERIFY2(std::fabs((actual) - (expected)) <= (tolerance),                                                          \
        qPrintable(QStringLiteral("%1 is %2, not within %3 of %4")                                                     \
                       .arg(QStringLiteral(#actual))                                                                   \
                       .arg(actual)                                                                                    \
                       .arg(tolerance)                                                                                 \
                       .arg(expected)))

namespace {

const QString kCaption = QStringLiteral("ケルノアによる運動の解析");

// The simulated cart of this test, and the measurement it is recorded with: the window's default
// settings, a reading every 1 ms for 1 s (1001 readings) and one hole per section.
const CartMotion kMotion{20, 60, 0.05};
constexpr double kPeriodS = 0.001;
constexpr int kReadings = 1001;

// The program holds its 1 ms schedule by polling the clock; a reading held up because other work
// had the processor lands on the wrong side of a hole edge. Where the system allows it, the program
// under test gets the processor ahead of other work, so that the recording shows the cart.
constexpr int kProgramNiceness = -10;
// How long a run waits for another one on the same machine to end.
constexpr int kOtherRunWaitMs = 300'000;

// A recording that the machine disturbed (it stole time from the program, or left it or its
// servers ready to run without a processor, just when a reading came late) is taken again, up to
// this many times in all; past that, the step goes on with the last one and says so. A recording
// spoilt while the machine did nothing of the kind fails the step at once: that is the program's.
constexpr int kMeasureAttempts = 8;
// Under Wine, whose timers and event pump are far coarser than Windows's own, a reading comes a
// period late a few times in a thousand, and now and then at a hole edge: more attempts there.
// The chain measures through the simulated board (the firmware under simavr), not the converter.
bool board_mode() { return qEnvironmentVariableIsSet("UNDOU_E2E_BOARD"); }

// Starts the simulated board with the chain's cart; gives the link to its pseudo-terminal, or
// nothing and why.
QString start_board_sim(QProcess &board, const QTemporaryDir &folder, QString &why)
{
#if defined(UNDOU_BOARD_SIM) && defined(UNDOU_BOARD_ELF)
    const QString link = folder.filePath(QStringLiteral("board"));
    board.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    board.start(QStringLiteral(UNDOU_BOARD_SIM),
        {QStringLiteral("--elf"), QStringLiteral(UNDOU_BOARD_ELF), QStringLiteral("--link"), link,
            QStringLiteral("--v0"), QString::number(kMotion.v0_cm_s), QStringLiteral("--accel"),
            QString::number(kMotion.accel_cm_s2), QStringLiteral("--delay"), QString::number(kMotion.release_delay_s),
            QStringLiteral("--eeprom"), folder.filePath(QStringLiteral("eeprom"))});
    QDeadlineTimer deadline(kWaitMs);
    while (!QFileInfo::exists(link) && board.state() != QProcess::NotRunning && !deadline.hasExpired())
        QTest::qWait(50);
    if (QFileInfo::exists(link))
        return link;
    why = QStringLiteral("the simulated board did not start: ") + board.errorString();
#else
    Q_UNUSED(board);
    Q_UNUSED(folder);
    why = QStringLiteral("built without the simulated board (simavr or avr-gcc missing)");
#endif
    return QString();
}

int measure_attempts() { return program_has_launcher() ? 24 : kMeasureAttempts; }

// Buttons, in window coordinates.
const QRect kMeasureButton(16, 40, 81, 33);
const QRect kGraphButton(16, 72, 81, 33);
const QRect kLeastSquaresButton(16, 104, 81, 33);
const QRect kLiveButton(16, 184, 81, 33);
const QRect kStopButton(16, 216, 81, 33);
const QRect kWiderButton(344, 536, 97, 33);
const QRect kLowerButton(624, 536, 89, 33);
const QRect kRestoreButton(184, 536, 121, 33);

// Where the fit prints 初速度 and 加速度 (at (8, 435) and (8, 450)) with their values (at x = 50),
// in picture coordinates.
const QRect kInitialVelocityText(8, 435, 110, 13);
const QRect kAccelerationText(8, 450, 110, 13);
const QRect kInitialVelocityValue(44, 430, 120, 22);
const QRect kAccelerationValue(44, 445, 120, 22);

// The raw trace: a reading of about 230 (a hole) at y = 240 - 0.8 x 230 = 56, about 20 (no hole)
// at y = 224; the simulated sensor varies by 4 either way, 3.2 pixels.
constexpr int kHighTop = 50;
constexpr int kHighBottom = 62;
constexpr int kLowTop = 218;
constexpr int kLowBottom = 230;

Disc unmoved(const Disc &disc) { return disc; }

// compare_moved for the velocity and the distance discs of a graph; says what is wrong with each.
QString compare_moved_discs(const std::vector<Disc> &velocity_before, const std::vector<Disc> &velocity_after,
    const std::vector<Disc> &distance_before, const std::vector<Disc> &distance_after,
    const std::function<Disc(const Disc &)> &move)
{
    QStringList problems;
    if (const QString velocity = compare_moved(velocity_before, velocity_after, move); !velocity.isEmpty())
        problems << QStringLiteral("velocity discs: ") + velocity;
    if (const QString distance = compare_moved(distance_before, distance_after, move); !distance.isEmpty())
        problems << QStringLiteral("distance discs: ") + distance;
    return problems.join(QStringLiteral("; "));
}

}  // namespace

class TestEndToEnd : public QObject {
    Q_OBJECT

public:
    TestEndToEnd(XSession &session, XSession::Outcome display, QString why)
        : session_(&session), display_(display), why_(std::move(why))
    { }

private slots:
    void initTestCase();
    void cleanupTestCase();

    void graph_before_measuring_asks_for_a_measurement();
    void measure_draws_the_raw_trace();
    void graph_puts_the_discs_where_the_cart_moved();
    void least_squares_draws_the_fitted_line();
    void context_menu_saves_the_measurement();
    void wider_time_scale_doubles_the_distances_from_the_origin();
    void lower_vertical_scale_halves_the_heights();
    void restore_brings_back_the_first_graph_without_the_fit();
    void opening_the_saved_file_brings_the_measurement_back();
    void live_view_moves_and_stop_clears_it();
    void board_keeps_every_reading_at_1_and_5_ms();
    void board_is_ready_at_once_after_its_first_greeting();
    void scroll_bar_answers_the_keys();
    void close_box_ends_the_program();
    void slow_lines_give_the_schedule_message();
    void missing_converter_gives_its_message();
    void lesson_outlives_a_killed_program();
    void inspector_fits_a_typed_range();
    void everything_used_during_measure_keeps_the_schedule();
    void measure_beside_a_screen_capture();

private:
    // ByWine: under Wine, late readings that neither the machine nor Wine's server accounts for;
    // Wine's own timers and event pump hold up a reading now and then.
    enum class Attempt { Clean, ByMachine, ByWine, ByProgram };
    // Judges a recording of `report` by its `problems` and whether it ended with a message about
    // the schedule: clean, disturbed by the machine (or by Wine), or spoilt by the program. `why`
    // says how.
    Attempt judge_attempt(
        const std::optional<ScheduleReport> &report, const QString &problems, bool message, QString &why) const;
    // Tells of an attempt the machine disturbed; past the last one, that the step goes on with it.
    void warn_disturbed(const char *what, int attempt, int attempts, const QString &why);
    bool measure(const std::function<void()> &clicked = {});
    // Closes the message that グラフ may show about the strip of a recording held up at a hole
    // edge; false when it stays open.
    bool dismiss_strip_message();
    // The recording kept had readings that came late enough to make the strip look odd.
    bool may_show_strip_message() const { return disturbed_ || (last_report_ && !last_report_->late.empty()); }
    QString judge_trace(const QImage &picture);
    // Presses 計測 in `program` and waits for a raw trace to replace its picture; a message about
    // the schedule, which a busy machine may bring, is closed, and `message` (when given) says
    // whether one came. False when no trace came or the box would not close.
    bool measure_in(ProgramWindow &program, bool *message = nullptr);
    // Starts another instance of the program with `arguments` and waits for its window.
    std::unique_ptr<ProgramWindow> start_another(const QStringList &arguments, const QString &log_name);
    // Types `path` into the file dialog titled `title` that is opening and confirms it. Says what
    // went wrong, or nothing.
    QString answer_file_dialog(const ProgramWindow &program, const QString &title, const QString &path);
    // Types `path` into the file dialog titled データを保存 that is opening, and waits for the file.
    // Says what went wrong, or nothing.
    QString save_in_file_dialog(const ProgramWindow &program, const QString &path);
    // One 10 s 計測 during which every control is used; says what went wrong, or nothing, and
    // whether a message followed it.
    QString measure_while_using_everything(ProgramWindow &program, bool &dialog_opened, bool &message);

    // The last measure() ended with a message about the schedule, and what the program reported of
    // that recording's schedule.
    bool schedule_message_ = false;
    std::optional<ScheduleReport> last_report_;
    // The recording the chain keeps was disturbed by the machine in every attempt, and the last is
    // kept all the same: its graph is judged by the sections that the program saved of it (step
    // 4a) instead of by the cart's motion.
    bool disturbed_ = false;
    MachineWatch machine_;
    // With UNDOU_E2E_BOARD set, the chain measures through the board's firmware under simulation
    // instead of the simulated converter.
    QProcess board_;
    QTemporaryDir board_folder_;
    QString wine_com_link_;

    XSession *session_;
    XSession::Outcome display_;
    QString why_;
    std::unique_ptr<ProgramWindow> program_;
    QTemporaryDir saved_files_;
    // Where the program keeps its lesson, away from the user's own data folder.
    QTemporaryDir lesson_data_;
    // Each step of the first seven builds on the state that the one before left.
    bool chain_ok_ = false;

    // The raw trace of the last measurement taken, and the first graph drawn of the one kept.
    QImage last_trace_;
    QImage first_graph_;
    // The least-squares line of the velocity discs on the screen, when 最小２乗法 showed the fit.
    Fit discs_fit_;
    // The fitted line as 横拡大 drew it.
    Fit wide_line_;
    std::vector<Disc> first_velocity_;
    std::vector<Disc> first_distance_;
    std::vector<Disc> wide_velocity_;
    std::vector<Disc> wide_distance_;
};

void TestEndToEnd::initTestCase()
{
    if (display_ == XSession::Outcome::ToolMissing)
        QSKIP(qPrintable(QStringLiteral("no virtual display: %1").arg(why_)));
    QVERIFY2(display_ == XSession::Outcome::Ready, qPrintable(QStringLiteral("no virtual display: %1").arg(why_)));

    program_ = std::make_unique<ProgramWindow>(*session_);
    QString why;
    QStringList source = {QStringLiteral("--simulate"), QStringLiteral("--sim-v0"), QString::number(kMotion.v0_cm_s),
        QStringLiteral("--sim-accel"), QString::number(kMotion.accel_cm_s2), QStringLiteral("--sim-delay"),
        QString::number(kMotion.release_delay_s)};
    if (board_mode()) {
        const QString link = start_board_sim(board_, board_folder_, why);
        QVERIFY2(!link.isEmpty(), qPrintable(why));
        source = {QStringLiteral("--board"), link};
        if (program_has_launcher()) {
            // Under Wine the board is a COM port: a name in the test's own prefix, linked to the
            // simulated board's pseudo-terminal and to nothing else.
            const QString prefix = qEnvironmentVariable("WINEPREFIX");
            QVERIFY2(!prefix.isEmpty(), "WINEPREFIX is not set for the program under Wine");
            wine_com_link_ = QDir(prefix).filePath(QStringLiteral("dosdevices/com9"));
            QFile::remove(wine_com_link_);
            QVERIFY(QFile::link(QFileInfo(link).symLinkTarget(), wine_com_link_));
            source = {QStringLiteral("--board"), QStringLiteral("COM9")};
        }
    }
    QVERIFY2(program_->start(program_under_test(),
                 source + QStringList{QStringLiteral("--data-dir"), path_for_program(lesson_data_.path())},
                 kProgramNiceness, kCaption, output_path(QStringLiteral("e2e-program.log")), why),
        qPrintable(why));
    machine_.watch_process(program_->process_id());
    // The inside of the window is as large as its controls need.
    QCOMPARE(program_->place().client.size(), QSize(831, 582));
    chain_ok_ = true;
}

void TestEndToEnd::cleanupTestCase()
{
    if (program_)
        program_->kill();
    if (board_.state() != QProcess::NotRunning) {
        board_.terminate();
        board_.waitForFinished(5000);
    }
    if (!wine_com_link_.isEmpty())
        QFile::remove(wine_com_link_);
}

// --- 1. グラフ before any measurement -------------------------------------------------------

void TestEndToEnd::graph_before_measuring_asks_for_a_measurement()
{
    QVERIFY(chain_ok_);
    chain_ok_ = false;
    QVERIFY(program_->click(kGraphButton));

    // A second window of the program appears under its title: the message box. It is read once
    // it has been framed and shows the same text in two screenshots.
    const std::optional<SeenMessageBox> box = wait_for_message_box(*session_, *program_, kCaption);
    QVERIFY2(box, "no readable message box appeared after グラフ without a measurement");

    // Its text is the request to measure first: the box shows the ink of that sentence in the
    // interface font, and matches the program's other request (to press グラフ first) clearly
    // worse.
    const double likeness
        = text_likeness(box->shot, render_text(QStringLiteral("計測ボタンを押してからにしてください。")));
    const double other
        = text_likeness(box->shot, render_text(QStringLiteral("グラフボタンを押してからにしてください。")));
    qInfo("message box text likeness %.3f (the other message: %.3f)", likeness, other);
    if (likeness < 0.8)
        program_->keep_screenshot(box->shot, QStringLiteral("message-box"));
    QVERIFY2(likeness >= 0.8,
        qPrintable(QStringLiteral("the message box does not show the expected text (likeness %1)").arg(likeness)));
    QVERIFY(likeness > other + 0.1);

    // Return presses OK, the default button; the box goes, and the picture is still empty.
    QVERIFY2(dismiss_message_box(*session_, *program_, kCaption, *box), "the message box did not close");
    QVERIFY2(program_->wait_for_picture([](const QImage &picture) { return all_white(picture); }),
        "the picture is not the empty white one after the message");
    chain_ok_ = true;
}

// --- 2. 計測 --------------------------------------------------------------------------------

QString TestEndToEnd::judge_trace(const QImage &picture)
{
    const TraceShape trace = trace_shape(picture, kHighTop, kHighBottom, kLowTop, kLowBottom);
    QStringList problems;
    if (trace.top < kHighTop || trace.top > kHighBottom)
        problems << QStringLiteral("highest point at y %1").arg(trace.top);
    if (trace.bottom < kLowTop || trace.bottom > kLowBottom)
        problems << QStringLiteral("lowest point at y %1").arg(trace.bottom);
    // Readings 0 to 1000 stand at x = 0 to 660, beyond the visible 656.
    if (trace.left > 1 || trace.right < kPictureVisibleWidth - 2)
        problems << QStringLiteral("trace spans x %1..%2").arg(trace.left).arg(trace.right);
    if (trace.low_pixels < 100)
        problems << QStringLiteral("little trace at the dark level");
    // Every hole whose leading edge passed within the second is one pulse; the last may have
    // passed just before or just after the last reading.
    const int holes = holes_begun_by(kMotion, kReadings * kPeriodS);
    if (trace.pulses < holes - 1 || trace.pulses > holes)
        problems << QStringLiteral("%1 pulses for %2 holes").arg(trace.pulses).arg(holes);
    return problems.join(QStringLiteral("; "));
}

bool TestEndToEnd::measure(const std::function<void()> &clicked)
{
    const QImage before = program_->grab_picture();
    if (!program_->click(kMeasureButton))
        return false;
    if (clicked)
        clicked();
    // The trace replaces whatever was there once the second is over: an empty picture, a graph
    // with blue discs, or the trace of an earlier measurement (whose noise differs).
    const bool traced = program_
                            ->wait_for_picture([&before](const QImage &picture) {
                                return picture != before && count_pixels(picture, kBlue, picture.rect()) == 0
                                    && count_pixels(picture, kRed, picture.rect()) > 500;
                            })
                            .has_value();
    if (traced)
        last_trace_ = program_->grab_picture();
    // A board keeps the schedule by its own clock: the program reports none for its runs.
    last_report_ = board_mode() ? std::nullopt : program_->next_schedule_report();
    // The program says so when this machine held up a reading at a hole edge; the box goes, and
    // the recording counts as disturbed.
    schedule_message_ = false;
    if (const std::optional<SeenMessageBox> box = wait_for_message_box(*session_, *program_, kCaption, 500)) {
        schedule_message_ = true;
        dismiss_message_box(*session_, *program_, kCaption, *box);
        // The box may have covered the picture when it was taken: again, once only the trace shows.
        if (const std::optional<QImage> trace = program_->wait_for_picture([](const QImage &picture) {
                return count_pixels(picture, kWhite, picture.rect()) + count_pixels(picture, kRed, picture.rect())
                    == picture.width() * picture.height();
            }))
            last_trace_ = *trace;
    }
    return traced;
}

bool TestEndToEnd::dismiss_strip_message()
{
    const std::optional<SeenMessageBox> box = wait_for_message_box(*session_, *program_, kCaption, 2000);
    return !box || dismiss_message_box(*session_, *program_, kCaption, *box);
}

TestEndToEnd::Attempt TestEndToEnd::judge_attempt(
    const std::optional<ScheduleReport> &report, const QString &problems, bool message, QString &why) const
{
    if (problems.isEmpty() && !message)
        return Attempt::Clean;
    QStringList seen;
    if (!problems.isEmpty())
        seen << problems;
    if (message)
        seen << QStringLiteral("a message about the schedule");
    if (!report) {
        why = seen.join(QStringLiteral("; ")) + QStringLiteral("; the program reported no schedule");
        return Attempt::ByProgram;
    }
    // The watch samples the machine every few milliseconds: wait for a sample past the last reading.
    QTest::qWait(100);
    const Disturbance disturbance = judge_disturbance(*report, machine_);
    why = seen.join(QStringLiteral("; "))
        + QStringLiteral(" (worst lateness %1 ms; %2)").arg(report->worst_late_ms, 0, 'f', 1).arg(disturbance.figures);
    if (disturbance.by_machine)
        return Attempt::ByMachine;
    return program_has_launcher() && !report->late.empty() ? Attempt::ByWine : Attempt::ByProgram;
}

void TestEndToEnd::warn_disturbed(const char *what, int attempt, int attempts, const QString &why)
{
    qWarning("%s %d disturbed by the machine or Wine: %s", what, attempt, qPrintable(why));
    if (attempt == attempts) {
        qWarning("every one of %d attempts was disturbed by the machine; the step goes on with the last, judged by "
                 "what the program saved of it; the machine then: %s",
            attempts, qPrintable(why));
        disturbed_ = true;
    }
}

void TestEndToEnd::measure_draws_the_raw_trace()
{
    QVERIFY(chain_ok_);
    chain_ok_ = false;
    for (int attempt = 1; attempt <= measure_attempts(); ++attempt) {
        QVERIFY2(measure(), "no raw trace appeared after 計測");
        QString why;
        const Attempt verdict
            = judge_attempt(last_report_, judge_trace(program_->grab_picture()), schedule_message_, why);
        if (verdict == Attempt::Clean)
            break;
        if (verdict == Attempt::ByProgram || (verdict == Attempt::ByWine && attempt == measure_attempts())) {
            program_->keep_screenshot(program_->grab_window(), QStringLiteral("trace"));
            QFAIL(qPrintable(why));
        }
        warn_disturbed("measurement", attempt, measure_attempts(), why);
    }
    chain_ok_ = true;
}

// --- 3. グラフ -------------------------------------------------------------------------------

void TestEndToEnd::graph_puts_the_discs_where_the_cart_moved()
{
    QVERIFY(chain_ok_);
    chain_ok_ = false;
    const ExpectedGraph expected = expected_graph(kMotion, kPeriodS, kReadings);
    QString problems;
    QImage graph;
    for (int attempt = 1; attempt <= measure_attempts(); ++attempt) {
        if (attempt > 1) {
            QVERIFY2(measure(), "no raw trace appeared after 計測");
            QString why;
            const Attempt verdict
                = judge_attempt(last_report_, judge_trace(program_->grab_picture()), schedule_message_, why);
            if (verdict == Attempt::ByProgram || (verdict == Attempt::ByWine && attempt == measure_attempts())) {
                program_->keep_screenshot(program_->grab_window(), QStringLiteral("trace"));
                QFAIL(qPrintable(why));
            }
            disturbed_ = false;
            if (verdict == Attempt::ByMachine || verdict == Attempt::ByWine) {
                warn_disturbed("measurement", attempt, measure_attempts(), why);
                if (!disturbed_)
                    continue;
            }
        }
        QVERIFY(program_->click(kGraphButton));
        std::optional<QImage> picture = program_->wait_for_picture(
            [](const QImage &shot) { return count_pixels(shot, kBlue, plot_region()) > 100; });
        QVERIFY2(picture, "no graph appeared after グラフ");
        // A reading held up at a hole edge may look to the strip check like a lost hole; its
        // message goes before the discs are read.
        if (may_show_strip_message()) {
            QVERIFY2(dismiss_strip_message(), "the message box did not close");
            picture = program_->grab_picture();
        }
        graph = *picture;
        first_graph_ = graph;
        first_velocity_ = find_discs(graph, kBlue, plot_region());
        first_distance_ = find_discs(graph, kRed, plot_region());
        if (disturbed_) {
            problems = first_velocity_.size() < 2 ? QStringLiteral("no velocity discs") : QString();
            break;
        }
        const QString velocity = compare_with_expected(first_velocity_, expected.velocity);
        const QString distance = compare_with_expected(first_distance_, expected.distance);
        problems.clear();
        if (!velocity.isEmpty())
            problems += QStringLiteral("velocity discs: ") + velocity + QLatin1Char(' ');
        if (!distance.isEmpty())
            problems += QStringLiteral("distance discs: ") + distance + QLatin1Char(' ');
        // Every phase of an undisturbed recording puts the least-squares line of the velocity
        // discs within 1.2 % of the cart's acceleration (59.6 to 60.7 cm/s^2); small hold-ups
        // that leave each disc in its place can still tip the line.
        const Fit fit = fit_of_discs(first_velocity_, 1, 1);
        if (std::fabs(fit.acceleration - kMotion.accel_cm_s2) > 0.015 * kMotion.accel_cm_s2)
            problems += QStringLiteral("the discs' line rises %1 cm/s^2").arg(fit.acceleration, 0, 'f', 2);
        // A graph off the cart's motion must have readings the machine held up behind it.
        QString why;
        const Attempt verdict = judge_attempt(last_report_, problems, false, why);
        if (verdict == Attempt::Clean)
            break;
        if (verdict == Attempt::ByProgram || (verdict == Attempt::ByWine && attempt == measure_attempts()))
            break;
        warn_disturbed("graph of measurement", attempt, measure_attempts(), why);
        if (disturbed_) {
            problems.clear();
            break;
        }
    }
    if (!problems.isEmpty()) {
        program_->keep_screenshot(program_->grab_window(), QStringLiteral("graph"));
        qInfo("velocity discs: %s", qPrintable(describe(first_velocity_)));
        qInfo("distance discs: %s", qPrintable(describe(first_distance_)));
    }
    QVERIFY2(problems.isEmpty(), qPrintable(problems));
    // No fit yet: no colour between the discs, no printed results.
    QVERIFY(pixels_off_discs(graph, kBlue, plot_inside(), first_velocity_, first_distance_).empty());
    QVERIFY(pixels_off_discs(graph, kRed, plot_inside(), first_velocity_, first_distance_).empty());
    QCOMPARE(count_dark_pixels(graph, kInitialVelocityText), 0);
    QCOMPARE(count_dark_pixels(graph, kAccelerationText), 0);
    chain_ok_ = true;
}

// --- 4. 最小２乗法 -------------------------------------------------------------------------------

void TestEndToEnd::least_squares_draws_the_fitted_line()
{
    QVERIFY(chain_ok_);
    chain_ok_ = false;
    QVERIFY(program_->click(kLeastSquaresButton));
    const std::optional<QImage> picture = program_->wait_for_picture([](const QImage &shot) {
        return count_dark_pixels(shot, kInitialVelocityText) > 0 && count_dark_pixels(shot, kAccelerationText) > 0;
    });
    QVERIFY2(picture, "no 初速度 and 加速度 appeared after 最小２乗法");

    if (const QByteArray path = qgetenv("UNDOU_SCREENSHOT"); !path.isEmpty())
        QVERIFY2(session_->grab(program_->place().frame()).save(QString::fromLocal8Bit(path)), path.constData());

    // The discs stay where they were.
    const std::vector<Disc> velocity = find_discs(*picture, kBlue, plot_region());
    const std::vector<Disc> distance = find_discs(*picture, kRed, plot_region());
    QVERIFY(compare_moved(first_velocity_, velocity, [](const Disc &disc) { return disc; }).isEmpty());
    QVERIFY(compare_moved(first_distance_, distance, [](const Disc &disc) { return disc; }).isEmpty());

    // The fitted velocity line: single blue pixels across the box on a straight line (each dot
    // rounded down to its pixel). It is the least-squares line of the discs on the screen, and its
    // slope is the cart's acceleration within 2 %, which the rounding of the reading times to 1 ms
    // and of the dots to pixels leaves room for.
    const FittedLine line = read_fitted_line(*picture, velocity, distance, 1, 1);
    const Fit discs = fit_of_discs(velocity, 1, 1);
    qInfo("fitted line: a = %.2f cm/s^2, v0 = %.2f cm/s (%d dots); discs: a = %.2f, v0 = %.2f", line.fit.acceleration,
        line.fit.initial_velocity, line.dots, discs.acceleration, discs.initial_velocity);
    QVERIFY2(line.dots >= 300, qPrintable(QStringLiteral("%1 dots of the fitted line").arg(line.dots)));
    QVERIFY(line.left <= 55 && line.right >= 600);
    QVERIFY2(line.worst_residual <= 1.5, qPrintable(QStringLiteral("dots %1 pixels off").arg(line.worst_residual)));
    VERIFY_NEAR(line.fit.acceleration, discs.acceleration, 0.02 * std::fabs(discs.acceleration));
    VERIFY_NEAR(line.fit.initial_velocity, discs.initial_velocity, 1.0);
    if (!disturbed_)
        VERIFY_NEAR(line.fit.acceleration, kMotion.accel_cm_s2, 0.02 * kMotion.accel_cm_s2);

    discs_fit_ = discs;
    // The distance curve follows in red; the labels are printed in black.
    QVERIFY(pixels_off_discs(*picture, kRed, plot_inside(), velocity, distance).size() >= 200);
    QVERIFY(count_dark_pixels(*picture, kInitialVelocityText) >= 20);
    QVERIFY(count_dark_pixels(*picture, kAccelerationText) >= 20);
    if (program_has_launcher()) {
        // Under Wine the program's text comes from Windows's own rasteriser, which this test
        // cannot render alike: the printed texts are read from the file saved next instead.
        chain_ok_ = true;
        return;
    }

    // The printed results are the line's, to the rounding of the print: 初速度 is the cart's
    // velocity at the first counted hole edge, where the graph's time starts, and 加速度 its
    // acceleration.
    const PrintedNumber printed_v0 = read_printed_number(picture->copy(kInitialVelocityValue),
        std::round(discs.initial_velocity) - 10, std::round(discs.initial_velocity) + 10, 1, printed_velocity);
    const PrintedNumber printed_a = read_printed_number(picture->copy(kAccelerationValue),
        std::round(discs.acceleration) - 10, std::round(discs.acceleration) + 10, 0.1, printed_acceleration);
    qInfo("printed: 初速度 %s (likeness %.3f), 加速度 %s (likeness %.3f)",
        qPrintable(printed_velocity(printed_v0.value)), printed_v0.likeness,
        qPrintable(printed_acceleration(printed_a.value)), printed_a.likeness);
    QVERIFY2(printed_v0.likeness >= 0.95, "the printed initial velocity cannot be read");
    QVERIFY2(printed_a.likeness >= 0.95, "the printed acceleration cannot be read");
    VERIFY_NEAR(printed_v0.value, line.fit.initial_velocity, 1.0);
    VERIFY_NEAR(printed_a.value, line.fit.acceleration, 0.01 * std::fabs(line.fit.acceleration) + 0.05);
    VERIFY_NEAR(printed_v0.value, velocity_at_time(kMotion, trailing_edge_time(kMotion, 0)), 1.0);
    VERIFY_NEAR(printed_a.value, kMotion.accel_cm_s2, 0.02 * kMotion.accel_cm_s2);
    chain_ok_ = true;
}

// --- 4a. データを保存 from the picture's context menu -------------------------------------------

QString TestEndToEnd::answer_file_dialog(const ProgramWindow &program, const QString &title, const QString &path)
{
    QDeadlineTimer deadline(kWaitMs);
    QList<qulonglong> dialogs;
    while (dialogs.isEmpty() && !deadline.hasExpired()) {
        QTest::qWait(100);
        dialogs = session_->windows_of(program.process_id(), title);
    }
    if (dialogs.isEmpty())
        return QStringLiteral("no file dialog titled %1 appeared").arg(title);
    // The name box has the focus; the typed path replaces the suggested name.
    QTest::qWait(500);
    if (!session_->press_key(QStringLiteral("ctrl+a"))
        || !session_->run(QStringLiteral("xdotool"),
            {QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("30"), path_for_program(path)}))
        return QStringLiteral("the path could not be typed");
    QTest::qWait(300);
    if (!session_->press_key(QStringLiteral("Return")))
        return QStringLiteral("Return could not be pressed");
    return {};
}

QString TestEndToEnd::save_in_file_dialog(const ProgramWindow &program, const QString &path)
{
    if (const QString problem = answer_file_dialog(program, QStringLiteral("データを保存"), path); !problem.isEmpty())
        return problem;
    const QDeadlineTimer deadline(kWaitMs);
    while (!QFileInfo::exists(path) && !deadline.hasExpired())
        QTest::qWait(100);
    return QFileInfo::exists(path) ? QString() : QStringLiteral("%1 was not written").arg(path);
}

void TestEndToEnd::context_menu_saves_the_measurement()
{
    QVERIFY(chain_ok_);
    chain_ok_ = false;
    QVERIFY(saved_files_.isValid());
    const QImage graph = program_->grab_picture();
    const QString path = saved_files_.filePath(QStringLiteral("lesson.csv"));

    // A real right click in the picture opens the menu over it.
    const QPoint in_picture = program_->place().client.topLeft() + kPictureOrigin + QPoint(200, 150);
    const QRect menu_area(in_picture, QSize(120, 80));
    const QImage before = session_->grab(menu_area);
    QVERIFY(session_->run(QStringLiteral("xdotool"),
        {QStringLiteral("mousemove"), QString::number(in_picture.x()), QString::number(in_picture.y()),
            QStringLiteral("click"), QStringLiteral("3")}));
    QDeadlineTimer deadline(kWaitMs);
    while (session_->grab(menu_area) == before && !deadline.hasExpired())
        QTest::qWait(50);
    QVERIFY2(session_->grab(menu_area) != before, "no menu appeared on a right click in the picture");

    // The third item is データを保存…; it asks for the file in Qt's own dialog.
    for (int i = 0; i < 3; ++i)
        QVERIFY(session_->press_key(QStringLiteral("Down")));
    QVERIFY(session_->press_key(QStringLiteral("Return")));
    const QString problem = save_in_file_dialog(*program_, path);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));

    // The file holds this measurement: 1 ms for 1 s, the graph with one hole a section, and the
    // fit shown on the screen, whose acceleration is the cart's.
    const storage::ReadResult read = storage::read_measurement_file(path);
    QVERIFY2(read.record, qPrintable(QStringLiteral("refused at line %1").arg(read.failure.line)));
    const storage::MeasurementRecord &record = *read.record;
    QCOMPARE(record.source.value(0), board_mode() ? QStringLiteral("board") : QStringLiteral("simulated"));
    QCOMPARE(record.period_ms, 1);
    QCOMPARE(record.meas_time_s, 1.0f);
    QCOMPARE(record.last_sample, kReadings - 1);
    QCOMPARE(record.samples.size(), std::size_t(kReadings));
    QCOMPARE(record.holes_per_section, std::optional<std::int32_t>(1));
    QVERIFY(record.sections.size() >= first_velocity_.size());
    QCOMPARE(record.boundaries.size(), record.sections.size() + 1);
    QVERIFY(record.fit);
    if (!disturbed_) {
        VERIFY_NEAR(record.fit->acceleration, kMotion.accel_cm_s2, 0.02 * kMotion.accel_cm_s2);
    } else {
        // The velocity discs of the first graph stand where the saved sections put them.
        std::vector<Disc> sections;
        for (const storage::SectionRow &section : record.sections)
            sections.push_back(velocity_disc_at(section.mid_time_s, section.velocity_cm_s));
        const QString problems = compare_moved(sections, first_velocity_, unmoved);
        QVERIFY2(problems.isEmpty(), qPrintable(problems));
    }
    // The fit and the texts printed under the graph are those of the discs on the screen.
    VERIFY_NEAR(record.fit->initial_velocity, discs_fit_.initial_velocity, 1.0);
    VERIFY_NEAR(record.fit->acceleration, discs_fit_.acceleration, 0.01 * std::fabs(discs_fit_.acceleration));
    // (The print rounds the shortest decimal text of the float, which may lie a hair off it.)
    const auto printed_as = [](const QString &text, double value, QString (*print)(double)) {
        return text == print(value) || text == print(value * (1 + 1e-6)) || text == print(value * (1 - 1e-6));
    };
    QVERIFY2(printed_as(record.fit->initial_velocity_text, record.fit->initial_velocity, printed_velocity),
        qPrintable(record.fit->initial_velocity_text));
    QVERIFY2(printed_as(record.fit->acceleration_text, record.fit->acceleration, printed_acceleration),
        qPrintable(record.fit->acceleration_text));
    // Beside it, the same line in double precision with its uncertainty.
    const common::FitStatistics &statistics = record.fit->statistics;
    VERIFY_NEAR(statistics.slope, record.fit->acceleration, 1e-3 * std::fabs(statistics.slope));
    VERIFY_NEAR(statistics.intercept, record.fit->initial_velocity, 1e-3 * std::fabs(statistics.intercept) + 1e-3);
    QVERIFY(statistics.slope_error && *statistics.slope_error > 0);
    QVERIFY(statistics.r_squared && *statistics.r_squared > 0 && *statistics.r_squared <= 1);
    qInfo("saved fit: a = %.3f ± %.3f cm/s^2, v0 = %.3f ± %.3f cm/s, r² = %.4f over %d points", statistics.slope,
        *statistics.slope_error, statistics.intercept, statistics.intercept_error.value_or(0), *statistics.r_squared,
        statistics.points);

    // The dialog and the menu are gone and the graph is as it was.
    QVERIFY2(program_->wait_for_picture([&graph](const QImage &shot) { return shot == graph; }),
        "the picture did not come back after saving");
    chain_ok_ = true;
}

// --- 5. 横拡大 -----------------------------------------------------------------------------------

void TestEndToEnd::wider_time_scale_doubles_the_distances_from_the_origin()
{
    QVERIFY(chain_ok_);
    chain_ok_ = false;
    const std::optional<QImage> picture = program_->click_and_wait_for_change(kWiderButton);
    QVERIFY2(picture, "the picture did not change after 横拡大");
    wide_velocity_ = find_discs(*picture, kBlue, plot_region());
    wide_distance_ = find_discs(*picture, kRed, plot_region());
    const auto wider = [](const Disc &disc) { return Disc{50 + 2 * (disc.x - 50), disc.y}; };
    const QString moved = compare_moved_discs(first_velocity_, wide_velocity_, first_distance_, wide_distance_, wider);
    QVERIFY(wide_velocity_.size() < first_velocity_.size());
    // Discs that a held-up reading has thrown together may part when the scale grows: their
    // places are then judged by 元のグラフ, which must bring back the first graph exactly.
    if (disturbed_ && !moved.isEmpty())
        qInfo("discs of a held-up recording: %s", qPrintable(moved));
    else
        QVERIFY2(moved.isEmpty(), qPrintable(moved));

    // The fit follows: drawn again across the box through the discs left in it (which a held-up
    // reading may have scattered too far for their line to be a check).
    const FittedLine line = read_fitted_line(*picture, wide_velocity_, wide_distance_, 2, 1);
    const Fit discs = fit_of_discs(wide_velocity_, 2, 1);
    QVERIFY(line.dots >= 300 && line.left <= 55 && line.right >= 600);
    if (!disturbed_)
        VERIFY_NEAR(line.fit.acceleration, discs.acceleration, 0.02 * std::fabs(discs.acceleration));
    QVERIFY(count_dark_pixels(*picture, kAccelerationText) >= 20);
    wide_line_ = line.fit;
    chain_ok_ = true;
}

// --- 6. 縦縮小 -----------------------------------------------------------------------------------

void TestEndToEnd::lower_vertical_scale_halves_the_heights()
{
    QVERIFY(chain_ok_);
    chain_ok_ = false;
    const std::optional<QImage> picture = program_->click_and_wait_for_change(kLowerButton);
    QVERIFY2(picture, "the picture did not change after 縦縮小");
    const std::vector<Disc> velocity = find_discs(*picture, kBlue, plot_region());
    const std::vector<Disc> distance = find_discs(*picture, kRed, plot_region());
    const auto lower = [](const Disc &disc) { return Disc{disc.x, 390 - (390 - disc.y) / 2}; };
    const QString moved = compare_moved_discs(wide_velocity_, velocity, wide_distance_, distance, lower);
    if (disturbed_ && !moved.isEmpty())
        qInfo("discs of a held-up recording: %s", qPrintable(moved));
    else
        QVERIFY2(moved.isEmpty(), qPrintable(moved));

    // The same discs stay in the box, so the fit is the one drawn before, at half its height. The
    // discs themselves are read at half the resolution in velocity now, so their own line is a
    // rougher check. Where a held-up reading has scattered them, a line read off the screen is no
    // check at all.
    const FittedLine line = read_fitted_line(*picture, velocity, distance, 2, 0.5);
    const Fit discs = fit_of_discs(velocity, 2, 0.5);
    QVERIFY(line.dots >= 300);
    if (!disturbed_) {
        VERIFY_NEAR(line.fit.acceleration, wide_line_.acceleration, 0.01 * std::fabs(wide_line_.acceleration));
        VERIFY_NEAR(line.fit.acceleration, discs.acceleration, 0.04 * std::fabs(discs.acceleration));
    }
    chain_ok_ = true;
}

// --- 7. 元のグラフ ---------------------------------------------------------------------------------

void TestEndToEnd::restore_brings_back_the_first_graph_without_the_fit()
{
    QVERIFY(chain_ok_);
    chain_ok_ = false;
    const std::optional<QImage> picture = program_->click_and_wait_for_change(kRestoreButton);
    QVERIFY2(picture, "the picture did not change after 元のグラフ");
    const std::vector<Disc> velocity = find_discs(*picture, kBlue, plot_region());
    const std::vector<Disc> distance = find_discs(*picture, kRed, plot_region());
    const QString moved = compare_moved_discs(first_velocity_, velocity, first_distance_, distance, unmoved);
    QVERIFY2(moved.isEmpty(), qPrintable(moved));
    QCOMPARE(velocity.size(), first_velocity_.size());
    QCOMPARE(distance.size(), first_distance_.size());
    // The fitted curves and the printed results are gone. (The zoomed velocity labels, written from
    // x = 15, may reach a few pixels into the box in a wide font: the blue is looked for clear of them.)
    const QRect clear_of_labels = plot_inside().adjusted(30, 0, 0, 0);
    QCOMPARE(pixels_off_discs(*picture, kBlue, clear_of_labels, velocity, distance).size(), std::size_t(0));
    QCOMPARE(pixels_off_discs(*picture, kRed, plot_inside(), velocity, distance).size(), std::size_t(0));
    QCOMPARE(count_dark_pixels(*picture, kInitialVelocityText), 0);
    QCOMPARE(count_dark_pixels(*picture, kAccelerationText), 0);
    chain_ok_ = true;
}

// --- 7a. 計測データを開く -----------------------------------------------------------------------

void TestEndToEnd::opening_the_saved_file_brings_the_measurement_back()
{
    QVERIFY(chain_ok_);
    chain_ok_ = false;
    const QString path = saved_files_.filePath(QStringLiteral("lesson.csv"));
    QVERIFY(QFileInfo::exists(path));
    QVERIFY(!last_trace_.isNull() && !first_graph_.isNull());

    // Ctrl+O asks for the file in Qt's own dialog; the file saved above brings back its readings,
    // drawn as the raw trace that 計測 drew, and グラフ then draws the first graph again.
    QVERIFY(session_->press_key(QStringLiteral("ctrl+o")));
    const QString problem = answer_file_dialog(*program_, QStringLiteral("計測データを開く"), path);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    if (!program_->wait_for_picture([this](const QImage &shot) { return shot == last_trace_; })) {
        program_->keep_screenshot(program_->grab_window(), QStringLiteral("opened"));
        QFAIL("the opened file did not bring back the raw trace of the measurement");
    }
    QVERIFY(program_->click(kGraphButton));
    if (may_show_strip_message())
        QVERIFY2(dismiss_strip_message(), "the message box did not close");
    if (!program_->wait_for_picture([this](const QImage &shot) { return shot == first_graph_; })) {
        program_->keep_screenshot(program_->grab_window(), QStringLiteral("opened-graph"));
        QFAIL("グラフ of the opened file did not draw the first graph again");
    }
    chain_ok_ = true;
}

// --- 8. 実時間計測 and 中止 --------------------------------------------------------------------------

void TestEndToEnd::live_view_moves_and_stop_clears_it()
{
    QVERIFY(program_->process().state() == QProcess::Running);
    QVERIFY(program_->click(kLiveButton));
    // The graph goes, and a red trace sweeps across the picture: two screenshots apart differ.
    QImage first;
    QDeadlineTimer deadline(kWaitMs);
    while (first.isNull() && !deadline.hasExpired()) {
        QTest::qWait(50);
        const QImage shot = program_->grab_picture();
        if (count_pixels(shot, kBlue, shot.rect()) == 0 && count_pixels(shot, kRed, shot.rect()) > 0)
            first = shot;
    }
    QVERIFY2(!first.isNull(), "no live trace appeared after 実時間計測");
    bool moved = false;
    deadline = QDeadlineTimer(kWaitMs);
    while (!moved && !deadline.hasExpired()) {
        QTest::qWait(100);
        const QImage later = program_->grab_picture();
        moved = count_pixels(later, kRed, later.rect()) > 0 && later != first;
    }
    QVERIFY2(moved, "the live trace did not move");

    // 中止 ends it and leaves the picture empty.
    QVERIFY(program_->click(kStopButton));
    QVERIFY2(program_->wait_for_picture([](const QImage &shot) { return all_white(shot); }),
        "中止 did not clear the picture");
}

// --- 9. the keys of a scroll bar --------------------------------------------------------------

void TestEndToEnd::scroll_bar_answers_the_keys()
{
    QVERIFY(program_->process().state() == QProcess::Running);
    // Text1 echoes HScroll1; its inside is compared between screenshots, each value with its own.
    const QRect text1 = QRect(32, 320, 33, 18).translated(program_->place().client.topLeft());
    auto shot_after = [&](const std::function<bool()> &action) {
        const QImage before = session_->grab(text1);
        if (!action())
            return QImage();
        const QDeadlineTimer deadline(kWaitMs);
        QImage shot = before;
        while (shot == before && !deadline.hasExpired()) {
            QTest::qWait(50);
            shot = session_->grab(text1);
        }
        return shot;
    };
    const QImage at_1 = session_->grab(text1);
    // A click on the right arrow gives the bar the keyboard and the period 2 ms.
    const QImage at_2
        = shot_after([&] { return session_->click_at(program_->place().client.topLeft() + QPoint(84, 300)); });
    QVERIFY(!at_2.isNull() && at_2 != at_1);
    // The right arrow key goes up to 3 (not back to 1), the left one back to 2, Page Up to 12.
    const QImage at_3 = shot_after([&] { return session_->press_key(QStringLiteral("Right")); });
    QVERIFY(at_3 != at_1 && at_3 != at_2);
    const QImage back_at_2 = shot_after([&] { return session_->press_key(QStringLiteral("Left")); });
    QVERIFY(back_at_2 == at_2);
    const QImage at_12 = shot_after([&] { return session_->press_key(QStringLiteral("Prior")); });
    QVERIFY(at_12 != at_1 && at_12 != at_2 && at_12 != at_3);
}

// --- 10. the close box ---------------------------------------------------------------------------

void TestEndToEnd::close_box_ends_the_program()
{
    QVERIFY(program_->process().state() == QProcess::Running);
    // The window manager's close box is the last button at the right end of the title bar, as
    // high as the bar and about as wide.
    const QRect frame = program_->place().frame();
    const int bar = program_->place().frame_top;
    QVERIFY(bar > 0);
    QVERIFY(session_->click_at(QPoint(frame.right() - bar / 2, frame.top() + bar / 2)));
    if (!program_->process().waitForFinished(kWaitMs)) {
        program_->keep_screenshot(session_->grab(frame), QStringLiteral("close"));
        QFAIL("the program is still running after a click on the close box");
    }
    QCOMPARE(program_->process().exitStatus(), QProcess::NormalExit);
    QCOMPARE(program_->process().exitCode(), 0);
    QVERIFY(!session_->window_exists(program_->window()));
}

// --- 11. faults of a real set-up, simulated --------------------------------------------------

bool TestEndToEnd::measure_in(ProgramWindow &program, bool *message)
{
    // A box of the run before that came late would take the click.
    if (const std::optional<SeenMessageBox> late = wait_for_message_box(*session_, program, kCaption, 200))
        dismiss_message_box(*session_, program, kCaption, *late);
    const QImage before = program.grab_picture();
    if (!program.click(kMeasureButton))
        return false;
    const bool traced = program
                            .wait_for_picture([&before](const QImage &shot) {
                                return shot != before && count_pixels(shot, kRed, shot.rect()) > 600;
                            })
                            .has_value();
    // The box comes with the trace, its first showing on a busy machine up to a second later.
    const std::optional<SeenMessageBox> box = wait_for_message_box(*session_, program, kCaption, 1500);
    if (message)
        *message = box.has_value();
    return traced && (!box || dismiss_message_box(*session_, program, kCaption, *box));
}

std::unique_ptr<ProgramWindow> TestEndToEnd::start_another(const QStringList &arguments, const QString &log_name)
{
    auto program = std::make_unique<ProgramWindow>(*session_);
    QString why;
    // Each keeps its lesson away from the user's own data folder.
    const QStringList all = arguments.contains(QStringLiteral("--data-dir"))
        ? arguments
        : arguments + QStringList{QStringLiteral("--data-dir"), path_for_program(lesson_data_.path())};
    if (!program->start(program_under_test(), all, kProgramNiceness, kCaption, output_path(log_name), why)) {
        qWarning("%s", qPrintable(why));
        return nullptr;
    }
    return program;
}

void TestEndToEnd::slow_lines_give_the_schedule_message()
{
    if (display_ != XSession::Outcome::Ready)
        QSKIP("no virtual display");
    if (board_mode())
        QSKIP("the simulated converter's own step");
    // 100 µs a line operation: a reading of the simulated converter takes 45 of them, 4.5 ms.
    const std::unique_ptr<ProgramWindow> program
        = start_another({QStringLiteral("--simulate"), QStringLiteral("--sim-line-us"), QStringLiteral("100")},
            QStringLiteral("e2e-slow-lines.log"));
    QVERIFY(program);
    QVERIFY(program->click(kMeasureButton));
    const std::optional<SeenMessageBox> box = wait_for_message_box(*session_, *program, kCaption);
    QVERIFY2(box, "no message appeared after 計測 at 1 ms on slow lines");
    // The box wraps the sentence, so its parts are compared one by one; the figures are measured,
    // so each part that holds one is compared with every figure that the cost makes likely.
    auto best_of = [&](const QString &pattern, const QStringList &figures, QString &best_text) {
        double best = 0;
        for (const QString &figure : figures) {
            const double likeness = text_likeness(box->shot, render_text(pattern.arg(figure)));
            if (likeness > best) {
                best = likeness;
                best_text = pattern.arg(figure);
            }
        }
        return best;
    };
    QString opening;
    QString reading;
    QString advice;
    const double opening_likeness
        = best_of(QStringLiteral("読み取りが計測周期 %1 ms に間に合いませんでした"), {QStringLiteral("1")}, opening);
    // A busy machine makes the slowest readings slower still, and the advice longer.
    QStringList reading_figures;
    for (int tenths = 45; tenths <= 60; ++tenths)
        reading_figures << QString::number(tenths / 10.0, 'f', 1);
    QStringList advice_figures;
    for (int ms = 5; ms <= 15; ++ms)
        advice_figures << QString::number(ms);
    const double reading_likeness = best_of(QStringLiteral("読み取りに約 %1 ms"), reading_figures, reading);
    const double advice_likeness
        = best_of(QStringLiteral("計測周期を %1 ms 以上にしてください。"), advice_figures, advice);
    QString unused;
    const double other = best_of(QStringLiteral("変換器が応答しません。%1"), {QString()}, unused);
    qInfo("schedule message: \"%s\" %.3f, \"%s\" %.3f, \"%s\" %.3f (another message: %.3f)", qPrintable(opening),
        opening_likeness, qPrintable(reading), reading_likeness, qPrintable(advice), advice_likeness, other);
    const double worst = std::min({opening_likeness, reading_likeness, advice_likeness});
    if (worst < 0.8)
        program->keep_screenshot(box->shot, QStringLiteral("schedule-message"));
    QVERIFY(worst >= 0.8);
    QVERIFY(opening_likeness > other + 0.1);
    QVERIFY(dismiss_message_box(*session_, *program, kCaption, *box));
    // The trace of the readings is drawn and kept all the same.
    QVERIFY(count_pixels(program->grab_picture(), kRed, program->grab_picture().rect()) > 100);
    program->kill();
}

void TestEndToEnd::missing_converter_gives_its_message()
{
    if (display_ != XSession::Outcome::Ready)
        QSKIP("no virtual display");
    if (board_mode())
        QSKIP("the simulated converter's own step");
    const std::unique_ptr<ProgramWindow> program = start_another(
        {QStringLiteral("--simulate"), QStringLiteral("--sim-no-converter")}, QStringLiteral("e2e-no-converter.log"));
    QVERIFY(program);
    QVERIFY(program->click(kMeasureButton));
    const std::optional<SeenMessageBox> box = wait_for_message_box(*session_, *program, kCaption);
    QVERIFY2(box, "no message appeared after 計測 without a converter");
    const double likeness = text_likeness(
        box->shot, render_text(QStringLiteral("変換器が応答しません。変換器の接続と電源を確認してください。")));
    const double other = text_likeness(
        box->shot, render_text(QStringLiteral("ポート /dev/ttyS0 との通信が途切れました。接続を確認してください。")));
    qInfo("no-converter message likeness %.3f (another message: %.3f)", likeness, other);
    QVERIFY(likeness >= 0.8);
    QVERIFY(likeness > other + 0.1);
    QVERIFY(dismiss_message_box(*session_, *program, kCaption, *box));
    // Nothing was recorded: the picture is still the empty one.
    QVERIFY(all_white(program->grab_picture()));
    program->kill();
}

// --- 11a. a lesson kept through a killed program ---------------------------------------------------

// Waits for the window titled 授業 of `program`.
std::optional<WindowPlace> window_titled(
    XSession &session, const ProgramWindow &program, const QString &title = QStringLiteral("授業"))
{
    const QDeadlineTimer deadline(kWaitMs);
    while (!deadline.hasExpired()) {
        QTest::qWait(100);
        const QList<qulonglong> windows = session.windows_of(program.process_id(), title);
        if (windows.size() == 1)
            if (const std::optional<WindowPlace> place = session.place_of(windows.front()))
                return place;
    }
    return std::nullopt;
}

void TestEndToEnd::lesson_outlives_a_killed_program()
{
    if (display_ != XSession::Outcome::Ready)
        QSKIP("no virtual display");
    if (board_mode())
        QSKIP("the simulated converter's own step");
    QTemporaryDir data;
    QVERIFY(data.isValid());
    const QStringList arguments = {QStringLiteral("--simulate"), QStringLiteral("--sim-accel"),
        QStringLiteral("40,80,120"), QStringLiteral("--data-dir"), path_for_program(data.path())};
    std::unique_ptr<ProgramWindow> program = start_another(arguments, QStringLiteral("e2e-lesson.log"));
    QVERIFY(program);
    // Three runs at 1 ms for 1 s, each cart faster than the one before.
    // A message about the schedule, on a busy machine, is closed and the run kept all the same.
    for (int run = 0; run < 3; ++run)
        QVERIFY2(measure_in(*program), "no raw trace after 計測");
    // 授業… from the window's shortcut; the current cell is the last run's 条件の値: up to the first
    // run, and a value for each, Enter going on to the next.
    QVERIFY(session_->press_key(QStringLiteral("ctrl+l")));
    std::optional<WindowPlace> lesson = window_titled(*session_, *program);
    QVERIFY2(lesson, "no lesson window after Ctrl+L");
    QTest::qWait(500);
    for (const char *key : {"Up", "Up", "1", "Return", "2", "Return", "3", "Return"})
        QVERIFY(session_->press_key(QString::fromLatin1(key)));
    QTest::qWait(1000);
    if (const QByteArray path = qgetenv("UNDOU_LESSON_SCREENSHOT"); !path.isEmpty())
        QVERIFY2(session_->grab(lesson->frame()).save(QString::fromLocal8Bit(path)), path.constData());

    // Killed at once, and started again on the same data folder: the lesson is back.
    program->kill();
    program = start_another(arguments, QStringLiteral("e2e-lesson-again.log"));
    QVERIFY(program);
    QVERIFY(session_->press_key(QStringLiteral("ctrl+l")));
    lesson = window_titled(*session_, *program);
    QVERIFY2(lesson, "no lesson window after Ctrl+L in the program started again");
    QTest::qWait(500);
    QVERIFY(session_->press_key(QStringLiteral("ctrl+s")));
    const QString saved = saved_files_.filePath(QStringLiteral("lesson-after-kill.csv"));
    QVERIFY2(answer_file_dialog(*program, QStringLiteral("授業を保存"), saved).isEmpty(), "the lesson was not saved");
    QDeadlineTimer deadline(kWaitMs);
    while (!QFileInfo::exists(saved) && !deadline.hasExpired())
        QTest::qWait(100);
    QFile file(saved);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const storage::LessonReadResult read = storage::parse_lesson_csv(file.readAll());
    QVERIFY2(read.lesson, qPrintable(QStringLiteral("refused at line %1").arg(read.failure.line)));
    QCOMPARE(read.lesson->runs.size(), std::size_t{3});
    for (std::size_t k = 0; k < 3; ++k) {
        const storage::LessonRunRecord &run = read.lesson->runs[k];
        QCOMPARE(run.value, std::optional<double>(static_cast<double>(k + 1)));
        QCOMPARE(run.measurement.last_sample, kReadings - 1);
        // Each 計測 took the next acceleration, and its 入力 row says which.
        const qsizetype at = run.measurement.source.indexOf(QStringLiteral("加速度(cm/s²)"));
        QVERIFY(at > 0);
        QCOMPARE(run.measurement.source.value(at + 1), QString::number(40 * (k + 1)));
    }
    program->kill();
}

// --- 12. every control and shortcut during a 10 s 計測 ---------------------------------------------

namespace {

// A slow cart: at 5 cm/s the strip's hole edges pass the sensor all through the 10 s, every
// quarter of a second, so that a pause of the recording anywhere would move some of them.
const CartMotion kSlowCart{5, 0, 0.05};
constexpr int kBusyPeriodMs = 5;
constexpr int kBusyTimeS = 10;
constexpr int kBusyLastSample = 2000;  // 200 readings a second for 10 s
constexpr int kBusyAttempts = 3;

// Controls of the window that the busy measurement uses.
const QRect kText1(32, 320, 33, 18);
const QRect kText2(32, 408, 33, 18);
const QRect kText3(32, 504, 33, 18);
const QRect kTallerButton(544, 536, 81, 33);
const QRect kNarrowerButton(440, 536, 89, 33);
const QPoint kPeriodBarRightArrow(84, 300);
const QPoint kTimeBarRightArrow(84, 388);
const QPoint kHolesBarRightArrow(76, 484);
const QPoint kLabel2(40, 280);  // a place that takes no focus

// Where the falling edges lie in a recording, in s.
std::vector<double> falling_edges(const std::vector<std::int16_t> &samples, double period_s)
{
    std::vector<double> edges;
    for (std::size_t i = 1; i < samples.size(); ++i)
        if (samples[i - 1] >= 125 && samples[i] < 125)
            edges.push_back(static_cast<double>(i) * period_s);
    return edges;
}

}  // namespace

QString TestEndToEnd::measure_while_using_everything(ProgramWindow &program, bool &dialog_opened, bool &message)
{
    const QPoint window = program.place().client.topLeft();
    auto click = [&](QPoint place) { return session_->click_at(window + place); };
    auto key = [&](const QString &keys) { return session_->press_key(keys); };
    // Selects a text box's text, types over it and confirms it with Return.
    auto type_into = [&](QRect box, const QString &text) {
        return click(box.center()) && key(QStringLiteral("ctrl+a"))
            && session_->run(QStringLiteral("xdotool"), {QStringLiteral("type"), text})
            && key(QStringLiteral("Return"));
    };
    if (!type_into(kText1, QString::number(kBusyPeriodMs)) || !type_into(kText2, QString::number(kBusyTimeS))
        || !type_into(kText3, QStringLiteral("1")))
        return QStringLiteral("the settings could not be typed");
    QTest::qWait(300);
    if (!program.click(kMeasureButton))
        return QStringLiteral("計測 could not be clicked");

    QStringList failed;
    auto step = [&](const QString &name, bool done) {
        if (!done)
            failed << name;
    };
    // The graph of the edges so far (four or more by now), each scale button, then the fit.
    QTest::qWait(1000);
    for (const QRect &button : {kGraphButton, kWiderButton, kTallerButton, kNarrowerButton, kLowerButton,
             kRestoreButton, kLeastSquaresButton}) {
        step(QStringLiteral("a button"), program.click(button));
        QTest::qWait(100);
    }
    // Each shortcut, now that there is a picture to act on; the dialogs among them are refused
    // while 計測 records, and so is the results view of the run not yet recorded.
    for (const QString &keys : {QStringLiteral("ctrl+c"), QStringLiteral("ctrl+shift+s"), QStringLiteral("ctrl+s"),
             QStringLiteral("ctrl+o"), QStringLiteral("ctrl+p"), QStringLiteral("ctrl+i")})
        step(keys, key(keys));
    // The picture's menu, by the right button and by the menu key once Tab has brought the focus
    // from Text1 to the picture; Escape closes it.
    const QPoint in_picture = window + kPictureOrigin + QPoint(300, 200);
    step(QStringLiteral("right click"),
        session_->run(QStringLiteral("xdotool"),
            {QStringLiteral("mousemove"), QString::number(in_picture.x()), QString::number(in_picture.y()),
                QStringLiteral("click"), QStringLiteral("3")})
            && key(QStringLiteral("Escape")));
    step(QStringLiteral("menu key"),
        click(kText1.center()) && key(QStringLiteral("Tab")) && key(QStringLiteral("Menu"))
            && key(QStringLiteral("Escape")));
    QTest::qWait(300);
    for (const QString &title : {QStringLiteral("画像を保存"), QStringLiteral("データを保存"),
             QStringLiteral("計測データを開く"), QStringLiteral("印刷"), QStringLiteral("結果の詳細")}) {
        if (!session_->windows_of(program.process_id(), title).isEmpty()) {
            dialog_opened = true;
            return QStringLiteral("a dialog titled %1 opened during 計測").arg(title);
        }
    }

    // A refused number of holes says so in a box, which OK closes.
    step(QStringLiteral("Text3"), type_into(kText3, QStringLiteral("x")));
    step(QStringLiteral("グラフ"), program.click(kGraphButton));
    const std::optional<SeenMessageBox> refusal = wait_for_message_box(*session_, program, kCaption, 5'000);
    if (!refusal)
        return QStringLiteral("no message refused the holes per section during 計測");
    step(QStringLiteral("OK"), dismiss_message_box(*session_, program, kCaption, *refusal));
    step(QStringLiteral("Text3 again"), type_into(kText3, QStringLiteral("1")));
    // The settings for the next measurement, and the scroll bars and their keys.
    step(QStringLiteral("Text1"), type_into(kText1, QStringLiteral("7")));
    step(QStringLiteral("Text2"), type_into(kText2, QStringLiteral("3")));
    for (const QPoint &arrow : {kPeriodBarRightArrow, kTimeBarRightArrow, kHolesBarRightArrow})
        step(QStringLiteral("a scroll bar"), click(arrow));
    for (const QString &keys : {QStringLiteral("Right"), QStringLiteral("Left"), QStringLiteral("Prior")})
        step(keys, key(keys));
    // 計測 and 実時間計測 are disabled meanwhile; a click on them starts nothing.
    step(QStringLiteral("計測"), program.click(kMeasureButton));
    step(QStringLiteral("実時間計測"), program.click(kLiveButton));
    if (!failed.isEmpty())
        return QStringLiteral("could not use: ") + failed.join(QStringLiteral(", "));

    // The run ends with the raw trace across the whole picture, and nothing to say about it.
    const std::optional<QImage> trace = program.wait_for_picture([](const QImage &picture) {
        return count_pixels(picture, kBlue, picture.rect()) == 0 && count_pixels(picture, kRed, picture.rect()) > 500;
    });
    if (!trace)
        return QStringLiteral("no raw trace after 計測");
    const TraceShape shape = trace_shape(*trace, kHighTop, kHighBottom, kLowTop, kLowBottom);
    QStringList problems;
    if (shape.left > 1 || shape.right < kPictureVisibleWidth - 2)
        problems << QStringLiteral("the trace spans x %1..%2").arg(shape.left).arg(shape.right);
    if (const std::optional<SeenMessageBox> box = wait_for_message_box(*session_, program, kCaption, 1'000)) {
        program.keep_screenshot(box->shot, QStringLiteral("busy-message"));
        dismiss_message_box(*session_, program, kCaption, *box);
        message = true;
    }

    // The saved recording: every reading, at the period and time it started with, and every hole
    // edge where the cart put it, within two periods (the start's phase and the event handling).
    const QString path = saved_files_.filePath(QStringLiteral("busy.csv"));
    QFile::remove(path);
    if (!click(kLabel2) || !key(QStringLiteral("ctrl+s")))
        return QStringLiteral("Ctrl+S could not be pressed");
    if (const QString problem = save_in_file_dialog(program, path); !problem.isEmpty())
        return problem;
    const storage::ReadResult read = storage::read_measurement_file(path);
    if (!read.record)
        return QStringLiteral("the saved file was refused at line %1").arg(read.failure.line);
    const storage::MeasurementRecord &record = *read.record;
    if (record.period_ms != kBusyPeriodMs || record.meas_time_s != kBusyTimeS || record.last_sample != kBusyLastSample
        || record.samples.size() != std::size_t(kBusyLastSample + 1))
        return QStringLiteral("%1 ms, %2 s, N = %3 with %4 readings")
            .arg(record.period_ms)
            .arg(record.meas_time_s)
            .arg(record.last_sample)
            .arg(record.samples.size());
    const double period_s = kBusyPeriodMs / 1000.0;
    const std::vector<double> edges = falling_edges(record.samples, period_s);
    std::vector<double> expected;
    for (int hole = 0; trailing_edge_time(kSlowCart, hole) < kBusyLastSample * period_s - 2 * period_s; ++hole)
        expected.push_back(trailing_edge_time(kSlowCart, hole));
    if (edges.size() < expected.size() || edges.size() > expected.size() + 1)
        problems << QStringLiteral("%1 hole edges for %2").arg(edges.size()).arg(expected.size());
    double worst_s = 0;
    int misplaced = 0;
    for (std::size_t k = 0; k < std::min(edges.size(), expected.size()); ++k) {
        worst_s = std::max(worst_s, std::fabs(edges[k] - expected[k]));
        if (std::fabs(edges[k] - expected[k]) > 2 * period_s && misplaced++ == 0)
            problems << QStringLiteral("edge %1 at %2 s, not %3 s").arg(k).arg(edges[k]).arg(expected[k], 0, 'f', 4);
    }
    if (misplaced > 1)
        problems << QStringLiteral("%1 edges out of place in all").arg(misplaced);
    qInfo("busy measurement: %zu readings, %zu hole edges (%zu expected), the farthest %.1f ms from the cart's",
        record.samples.size(), edges.size(), expected.size(), worst_s * 1000);
    return problems.join(QStringLiteral("; "));
}

void TestEndToEnd::inspector_fits_a_typed_range()
{
    if (display_ != XSession::Outcome::Ready)
        QSKIP("no virtual display");
    if (board_mode())
        QSKIP("the simulated converter's own step");
    QTemporaryDir data;
    QVERIFY(data.isValid());
    std::unique_ptr<ProgramWindow> program
        = start_another({QStringLiteral("--simulate"), QStringLiteral("--sim-v0"), QStringLiteral("20"),
                            QStringLiteral("--sim-accel"), QStringLiteral("60"), QStringLiteral("--sim-end-stop"),
                            QStringLiteral("60"), QStringLiteral("--data-dir"), path_for_program(data.path())},
            QStringLiteral("e2e-inspector.log"));
    QVERIFY(program);
    // A recording whose readings came late (its box says so) is taken again; the last is judged
    // all the same, by its own errors, since its late sections are left out of the fits.
    bool disturbed = true;
    for (int attempt = 1; attempt <= kBusyAttempts && disturbed; ++attempt)
        QVERIFY2(measure_in(*program, &disturbed), "no raw trace after 計測");
    // Ctrl+G without グラフ: the window works the sections out itself, its focus in 開始(s). A range
    // typed, Tab to 終了(s), Enter, and Ctrl+C copies what it gives.
    QVERIFY(session_->press_key(QStringLiteral("ctrl+g")));
    QVERIFY2(window_titled(*session_, *program, QStringLiteral("グラフを調べる")), "no window after Ctrl+G");
    QTest::qWait(500);
    QGuiApplication::clipboard()->clear();
    for (const char *key : {"ctrl+a", "0", "period", "1", "Tab", "ctrl+a", "0", "period", "7", "Return", "ctrl+c"})
        QVERIFY(session_->press_key(QString::fromLatin1(key)));
    QString copy;
    const QDeadlineTimer deadline(kWaitMs);
    while (!copy.contains(QStringLiteral("接線の傾き")) && !deadline.hasExpired()) {
        QTest::qWait(100);
        copy = QGuiApplication::clipboard()->text();
    }
    QStringList range, acceleration;
    for (const QString &row : copy.split(QLatin1Char('\n'))) {
        const QStringList cells = row.trimmed().split(QLatin1Char('\t'));
        if (cells.value(0) == QStringLiteral("範囲(s)"))
            range = cells.mid(1);
        if (cells.value(0) == QStringLiteral("加速度(cm/s²)"))
            acceleration = cells.mid(1);
    }
    QCOMPARE(range, (QStringList{QStringLiteral("0.100"), QStringLiteral("0.700")}));
    // The simulated cart's 60 cm/s², to the scatter of 1 ms readings at one hole a section.
    QVERIFY2(acceleration.size() == 2 && (disturbed || std::fabs(acceleration[0].toDouble() - 60) <= 1.2)
            && std::fabs(acceleration[0].toDouble() - 60) <= 2 * acceleration[1].toDouble() + 0.6,
        qPrintable(copy));

    // Ctrl+Tab to テープ and Ctrl+C: pieces of 0.1 s, each whole one 60 cm/s² × (0.1 s)² = 0.6 cm
    // longer than the one before, and the line through their tops 60 cm/s² within 1 %.
    QGuiApplication::clipboard()->clear();
    for (const char *key : {"ctrl+Tab", "ctrl+c"})
        QVERIFY(session_->press_key(QString::fromLatin1(key)));
    const QDeadlineTimer tape_deadline(kWaitMs);
    while (!copy.startsWith(QStringLiteral("片\t")) && !tape_deadline.hasExpired()) {
        QTest::qWait(100);
        copy = QGuiApplication::clipboard()->text();
    }
    std::vector<std::pair<double, double>> speeds;  // the whole pieces' middles and mean speeds
    double last_length = -1;
    for (const QString &row : copy.split(QLatin1Char('\n'), Qt::SkipEmptyParts).mid(1)) {
        const QStringList cells = row.split(QLatin1Char('\t'));
        const double start = cells.value(1).toDouble();
        const double end = cells.value(2).toDouble();
        if (std::fabs(end - start - 0.1) > 1e-6 || cells.value(3).isEmpty())
            continue;
        const double length = cells.value(3).toDouble();
        if (last_length >= 0 && !disturbed)
            QVERIFY2(std::fabs(length - last_length - 0.6) <= 0.02, qPrintable(copy));
        last_length = length;
        speeds.emplace_back((start + end) / 2, length / 0.1);
    }
    QVERIFY2(speeds.size() >= 8, qPrintable(copy));
    double st = 0, sv = 0, stt = 0, stv = 0;
    for (const auto &[t, v] : speeds)
        st += t, sv += v, stt += t * t, stv += t * v;
    const auto n = static_cast<double>(speeds.size());
    const double slope = (n * stv - st * sv) / (n * stt - st * st);
    QVERIFY2(std::fabs(slope - 60) <= (disturbed ? 3 : 0.6), qPrintable(QString::number(slope)));
}

void TestEndToEnd::everything_used_during_measure_keeps_the_schedule()
{
    if (display_ != XSession::Outcome::Ready)
        QSKIP("no virtual display");
    if (board_mode())
        QSKIP("the simulated converter's own step");
    QVERIFY(saved_files_.isValid());
    const std::unique_ptr<ProgramWindow> program
        = start_another({QStringLiteral("--simulate"), QStringLiteral("--sim-v0"), QString::number(kSlowCart.v0_cm_s),
                            QStringLiteral("--sim-accel"), QString::number(kSlowCart.accel_cm_s2),
                            QStringLiteral("--sim-delay"), QString::number(kSlowCart.release_delay_s)},
            QStringLiteral("e2e-busy-measure.log"));
    QVERIFY(program);
    machine_.watch_process(program->process_id());
    // A dialog that held the recording would spoil every attempt, and so would anything else the
    // program did; a recording the machine held up is taken again. So is one held up where the
    // machine's figures show nothing (a wake served late with the processors idle, now and then):
    // a hold-up of the program's own comes back in the last attempt too.
    for (int attempt = 1; attempt <= kBusyAttempts; ++attempt) {
        bool dialog_opened = false;
        bool message = false;
        const QString problems = measure_while_using_everything(*program, dialog_opened, message);
        if (dialog_opened)
            QFAIL(qPrintable(problems));
        QString why;
        const Attempt verdict = judge_attempt(program->next_schedule_report(), problems, message, why);
        if (verdict == Attempt::Clean)
            break;
        program->keep_screenshot(program->grab_window(), QStringLiteral("busy-%1").arg(attempt));
        if ((verdict == Attempt::ByProgram || verdict == Attempt::ByWine) && attempt == kBusyAttempts)
            QFAIL(qPrintable(why));
        qWarning("busy measurement %d disturbed: %s", attempt, qPrintable(why));
        if (attempt == kBusyAttempts)
            qWarning("every one of %d busy measurements was disturbed by the machine; the step passes; the machine "
                     "then: %s",
                attempt, qPrintable(why));
    }
    program->kill();
}

// --- 7c. 計測 beside a program that captures the screen -----------------------------------------

namespace {

// The second process: this test program started again with this argument and a period in ms grabs
// the whole screen at that period until it is ended, as screen sharing, classroom monitoring and a
// projector's capture tool do.
const char kCaptureArgument[] = "--capture-screen-every-ms";
constexpr int kCaptureEveryMs = 50;
constexpr int kCaptureAttempts = 3;

int capture_screen_until_ended(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    QTimer every;
    QObject::connect(&every, &QTimer::timeout, [] {
        if (QScreen *screen = QGuiApplication::primaryScreen())
            (void)screen->grabWindow(0).toImage();
    });
    every.start(std::max(1, QByteArray(argv[2]).toInt()));
    return QGuiApplication::exec();
}

}  // namespace

void TestEndToEnd::measure_beside_a_screen_capture()
{
    if (display_ != XSession::Outcome::Ready)
        QSKIP("no virtual display");
    if (board_mode())
        QSKIP("the simulated converter's own step");
    const std::unique_ptr<ProgramWindow> program
        = start_another({QStringLiteral("--simulate")}, QStringLiteral("e2e-capture.log"));
    QVERIFY(program);
    machine_.watch_process(program->process_id());
    const QPoint window = program->place().client.topLeft();
    for (const auto &[box, text] : {std::pair{kText1, QStringLiteral("1")}, std::pair{kText2, QStringLiteral("3")}})
        QVERIFY(session_->click_at(window + box.center()) && session_->press_key(QStringLiteral("ctrl+a"))
            && session_->run(QStringLiteral("xdotool"), {QStringLiteral("type"), text})
            && session_->press_key(QStringLiteral("Return")));
    // UNDOU_E2E_CAPTURE_RUNS takes that many recordings, every one, and tallies them, for the
    // figures of docs/performance.md; UNDOU_E2E_CAPTURE_MS sets the capture's period (0: none).
    const int tally_runs = qEnvironmentVariableIntValue("UNDOU_E2E_CAPTURE_RUNS");
    const int capture_ms = qEnvironmentVariableIsSet("UNDOU_E2E_CAPTURE_MS")
        ? qEnvironmentVariableIntValue("UNDOU_E2E_CAPTURE_MS")
        : kCaptureEveryMs;
    QProcess capture;
    if (capture_ms > 0) {
        capture.setProcessEnvironment(session_->environment());
        capture.setProcessChannelMode(QProcess::ForwardedChannels);
        start_tied_to_us(capture, QCoreApplication::applicationFilePath(),
            {QString::fromLatin1(kCaptureArgument), QString::number(capture_ms)});
        QVERIFY2(capture.waitForStarted(), "the screen capture did not start");
        QTest::qWait(500);
    }
    const int attempts = tally_runs > 0 ? tally_runs : program_has_launcher() ? measure_attempts() : kCaptureAttempts;
    std::map<Attempt, int> tally;
    for (int attempt = 1; attempt <= attempts; ++attempt) {
        // 3 s at 1 ms: readings 0..3000, the trace across the whole picture.
        bool message = false;
        const bool traced = measure_in(*program, &message);
        QVERIFY2(capture_ms <= 0 || capture.state() == QProcess::Running, "the screen capture ended");
        QString why;
        const Attempt verdict = judge_attempt(program->next_schedule_report(),
            traced ? QString() : QStringLiteral("no raw trace after 計測"), message, why);
        ++tally[verdict];
        if (tally_runs > 0) {
            if (verdict != Attempt::Clean)
                qInfo("recording %d: %s", attempt, qPrintable(why));
            continue;
        }
        if (verdict == Attempt::Clean)
            break;
        // As in the busy step, a hold-up the machine's figures do not explain fails in the last
        // attempt only.
        if ((verdict == Attempt::ByProgram || verdict == Attempt::ByWine) && attempt == attempts) {
            program->keep_screenshot(program->grab_window(), QStringLiteral("capture"));
            QFAIL(qPrintable(QStringLiteral("beside the screen capture: ") + why));
        }
        warn_disturbed("measurement beside the screen capture", attempt, attempts, why);
    }
    if (tally_runs > 0)
        qInfo("%d recordings of 3 s at 1 ms, the screen captured every %d ms: %d clean, %d with late readings the "
              "machine held up, %d that Wine held up, %d that the program held up",
            attempts, capture_ms, tally[Attempt::Clean], tally[Attempt::ByMachine], tally[Attempt::ByWine],
            tally[Attempt::ByProgram]);
    if (capture_ms > 0) {
        capture.kill();
        capture.waitForFinished();
    }
    program->kill();
    QCOMPARE(tally[Attempt::ByProgram], 0);
}

// --- 8a. the board: every reading it took, at 1 ms for 3 s and at 5 ms ------------------------------

void TestEndToEnd::board_keeps_every_reading_at_1_and_5_ms()
{
    if (!board_mode())
        QSKIP("the simulated board's own step");
    QVERIFY(program_->process().state() == QProcess::Running);
    const QPoint window = program_->place().client.topLeft();
    auto type_into = [&](QRect box, const QString &text) {
        return session_->click_at(window + box.center()) && session_->press_key(QStringLiteral("ctrl+a"))
            && session_->run(QStringLiteral("xdotool"), {QStringLiteral("type"), text})
            && session_->press_key(QStringLiteral("Return"));
    };
    struct Setting {
        int period_ms;
        int time_s;
    };
    for (const Setting setting : {Setting{1, 3}, Setting{5, 1}}) {
        QVERIFY(type_into(kText1, QString::number(setting.period_ms))
            && type_into(kText2, QString::number(setting.time_s)));
        const int readings = setting.time_s * 1000 / setting.period_ms + 1;
        QVERIFY2(measure(), "no raw trace appeared after 計測 on the board");
        // The board times its readings itself: nothing is late, and no message follows.
        QVERIFY2(!schedule_message_, "a message followed 計測 on the board");
        const QString path = saved_files_.filePath(QStringLiteral("board-%1ms.csv").arg(setting.period_ms));
        QVERIFY(session_->press_key(QStringLiteral("ctrl+s")));
        const QString problem = save_in_file_dialog(*program_, path);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        const storage::ReadResult read = storage::read_measurement_file(path);
        QVERIFY2(read.record, qPrintable(QStringLiteral("refused at line %1").arg(read.failure.line)));
        QCOMPARE(read.record->source.value(0), QStringLiteral("board"));
        QCOMPARE(read.record->source.value(2), QStringLiteral("ファームウェア"));
        QCOMPARE(read.record->period_ms, setting.period_ms);
        QCOMPARE(read.record->samples.size(), std::size_t(readings));
        // Its timer stamped the holes' edges on D8, kept beside the readings.
        QVERIFY(read.record->edge_stamps && read.record->edge_stamps->size() >= 20);
        // グラフ puts the discs where the cart moved; at 5 ms the strip check may speak first.
        QVERIFY(program_->click(kGraphButton));
        QVERIFY(program_->wait_for_picture(
            [](const QImage &shot) { return count_pixels(shot, kBlue, plot_region()) > 100; }));
        QVERIFY2(dismiss_strip_message(), "the message box did not close");
        const QImage graph = program_->grab_picture();
        const ExpectedGraph expected = expected_graph(kMotion, setting.period_ms / 1000.0, readings);
        const QString velocity = compare_with_expected(find_discs(graph, kBlue, plot_region()), expected.velocity);
        if (!velocity.isEmpty())
            program_->keep_screenshot(program_->grab_window(), QStringLiteral("board-graph"));
        QVERIFY2(velocity.isEmpty(), qPrintable(velocity));
    }
    // The chain's settings again for the steps after.
    QVERIFY(type_into(kText1, QStringLiteral("1")) && type_into(kText2, QStringLiteral("1")));
}

// --- 8b. the board kept open: plugged in again, it restarts once; then every 計測 starts at once ---

void TestEndToEnd::board_is_ready_at_once_after_its_first_greeting()
{
    if (!board_mode())
        QSKIP("the simulated board's own step");
    // Pulled out and plugged in again: a new board on the same link, which restarts when the
    // program opens it, its boot loader holding it 2 s.
    board_.terminate();
    QVERIFY(board_.waitForFinished(5000));
    QString why;
    const QString link = start_board_sim(board_, board_folder_, why);
    QVERIFY2(!link.isEmpty(), qPrintable(why));
    if (!wine_com_link_.isEmpty()) {
        QFile::remove(wine_com_link_);
        QVERIFY(QFile::link(QFileInfo(link).symLinkTarget(), wine_com_link_));
    }
    // The board's runs are alike to the pixel: 中止 clears the picture, so that the new trace shows
    // whatever the step before drew.
    QVERIFY(program_->click(kStopButton));
    QVERIFY(program_->wait_for_picture([](const QImage &shot) { return count_pixels(shot, kRed, shot.rect()) == 0; }));
    const QRect bar(16, 542, 156, 16);
    const QImage bar_before = program_->grab_window().copy(bar);
    const QImage trace_before = program_->grab_picture();
    QVERIFY(program_->click(kMeasureButton));
    // ボードの準備中 stands where the progress bar goes, until the board greets.
    QDeadlineTimer within(1500);
    bool starting_shown = false;
    while (!starting_shown && !within.hasExpired()) {
        const QImage now = program_->grab_window().copy(bar);
        int changed = 0;
        for (int y = 0; y < now.height(); ++y)
            for (int x = 0; x < now.width(); ++x)
                changed += now.pixel(x, y) != bar_before.pixel(x, y);
        starting_shown = changed > 200;
        QTest::qWait(50);
    }
    QVERIFY2(starting_shown, "nothing showed in the progress bar's place while the board started");
    QVERIFY2(program_->wait_for_picture([&](const QImage &shot) {
        return shot != trace_before && count_pixels(shot, kRed, shot.rect()) > 500;
    }),
        "no raw trace after the board plugged in again");
    // It restarted once, when the program opened it; ten more 計測 leave it open.
    QCOMPARE(board_.readAllStandardOutput().split('\n').count("reset"), 1);
    QStringList waits;
    for (int run = 0; run < 10; ++run) {
        // The board's runs are alike to the pixel: 中止 clears the picture, so that each trace shows.
        QVERIFY(program_->click(kStopButton));
        QVERIFY(
            program_->wait_for_picture([](const QImage &shot) { return count_pixels(shot, kRed, shot.rect()) == 0; }));
        // The click reaches the program between the pointer tool's start and its end.
        const auto since = [](std::chrono::steady_clock::time_point at) {
            return std::chrono::duration_cast<std::chrono::nanoseconds>(at.time_since_epoch()).count();
        };
        const std::int64_t before_ns = since(std::chrono::steady_clock::now());
        std::int64_t after_ns = 0;
        QVERIFY2(measure([&] { after_ns = since(std::chrono::steady_clock::now()); }),
            "no raw trace appeared after 計測 on the board kept open");
        const QList<QByteArray> lines = board_.readAllStandardOutput().split('\n');
        for (const QByteArray &line : lines)
            if (line.startsWith("start "))
                waits << QStringLiteral("%1–%2")
                             .arg((line.mid(6).toLongLong() - after_ns) / 1e6, 0, 'f', 1)
                             .arg((line.mid(6).toLongLong() - before_ns) / 1e6, 0, 'f', 1);
        QVERIFY2(!lines.contains("reset"), qPrintable(QStringLiteral("run %1 restarted the board").arg(run + 1)));
    }
    // From the click to the run's start at the board, in ms: from the pointer tool's end and start.
    qInfo("the board was asked to start %s ms after each click", qPrintable(waits.join(QStringLiteral(", "))));
}

int main(int argc, char *argv[])
{
    if (argc == 3 && qstrcmp(argv[1], kCaptureArgument) == 0)
        return capture_screen_until_ended(argc, argv);
    // Two of these runs at once (from two build trees, say) would take the processors from each
    // other's sampling: a run waits for another to end, within a bound.
    QLockFile one_at_a_time(QDir::temp().filePath(QStringLiteral("undou-e2e.lock")));
    one_at_a_time.setStaleLockTime(0);  // stale only when its holder is gone
    if (!one_at_a_time.tryLock(kOtherRunWaitMs))
        qWarning("another end-to-end run still holds %s; going ahead", qPrintable(one_at_a_time.fileName()));

    // The display comes first: the test's own application connects to it to take screenshots.
    // A display server or window manager that a busy machine did not let start is started again:
    // the program has no part in that.
    XSession session;
    QString why;
    constexpr int kDisplayAttempts = 3;
    XSession::Outcome display = XSession::Outcome::Failed;
    for (int attempt = 1; attempt <= kDisplayAttempts; ++attempt) {
        display = session.start(why);
        if (display != XSession::Outcome::Failed || attempt == kDisplayAttempts)
            break;
        qWarning("the virtual display did not start (attempt %d of %d): %s; starting it again", attempt,
            kDisplayAttempts, qPrintable(why));
    }
    if (display == XSession::Outcome::Ready)
        session.use_for_this_process();
    else
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    TestEndToEnd test(session, display, why);
    return QTest::qExec(&test, argc, argv);
}

#include "tst_end_to_end.moc"
