// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "machine_watch.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <algorithm>
#include <chrono>
#include <map>

#include <unistd.h>

namespace e2e {
namespace {

constexpr auto kSampleInterval = std::chrono::milliseconds(10);
// The processes are looked for again this often: the program's children and Wine's server come
// and go.
constexpr int kSamplesPerScan = 20;
// Around a late reading the figures also cover this much before and after, for the sampling.
constexpr qint64 kMarginMs = 15;
// What a reading and the pump after it may add to the lateness of the next while they catch up.
constexpr double kCatchUpSlackMs = 0.5;

const QString kDisplayServer = QStringLiteral("Xvfb");
// "wineserver", or "wineserver64" where the distribution keeps both.
const QString kWineServer = QStringLiteral("wineserver");

QByteArray read_small_file(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return {};
    return file.read(4096);
}

// The name and the parent of a process, from /proc/PID/stat ("PID (name) S PPID ...").
struct ProcessInfo {
    QString name;
    qint64 parent = 0;
};
std::optional<ProcessInfo> process_info(qint64 pid)
{
    const QByteArray stat = read_small_file(QStringLiteral("/proc/%1/stat").arg(pid));
    const qsizetype open = stat.indexOf('(');
    const qsizetype close = stat.lastIndexOf(')');
    if (open < 0 || close < open)
        return std::nullopt;
    const QList<QByteArray> rest = stat.mid(close + 2).split(' ');
    if (rest.size() < 2)
        return std::nullopt;
    return ProcessInfo{QString::fromUtf8(stat.mid(open + 1, close - open - 1)), rest[1].toLongLong()};
}

}  // namespace

std::optional<ScheduleReport> parse_schedule_report(const QString &line)
{
    const QStringList parts = line.trimmed().split(QStringLiteral(" | "));
    if (parts.isEmpty() || !parts.first().startsWith(QStringLiteral("schedule ")))
        return std::nullopt;
    auto fields = [](const QString &text) {
        std::map<QString, QString> values;
        for (const QString &item : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            const qsizetype equals = item.indexOf(QLatin1Char('='));
            if (equals > 0)
                values[item.left(equals)] = item.mid(equals + 1);
        }
        return values;
    };
    std::map<QString, QString> head = fields(parts.first());
    ScheduleReport report;
    report.period_ms = head[QStringLiteral("period_ms")].toInt();
    report.readings = head[QStringLiteral("readings")].toInt();
    report.verdict = head[QStringLiteral("verdict")];
    report.worst_late_ms = head[QStringLiteral("worst_late_ms")].toDouble();
    for (qsizetype i = 1; i < parts.size(); ++i) {
        std::map<QString, QString> late = fields(parts[i]);
        report.late.push_back({late[QStringLiteral("i")].toInt(), late[QStringLiteral("late_ms")].toDouble(),
            late[QStringLiteral("woke_ms")].toDouble(), late[QStringLiteral("edge")] == QStringLiteral("1"),
            late[QStringLiteral("at_ms")].toLongLong()});
    }
    if (report.period_ms <= 0 || report.verdict.isEmpty())
        return std::nullopt;
    return report;
}

QString MachineFigures::describe() const
{
    return QStringLiteral("over %1 ms: %2 ms stolen by the hypervisor, processors %3 % idle, the program and its "
                          "servers waited %4 ms for a processor, Wine's server busy %5 ms, the program ran %6 ms, "
                          "the display server %7 ms")
        .arg(span_ms, 0, 'f', 0)
        .arg(stolen_ms, 0, 'f', 0)
        .arg(span_ms > 0 ? 100.0 * idle_ms / (span_ms * static_cast<double>(sysconf(_SC_NPROCESSORS_ONLN))) : 0.0, 0,
            'f', 0)
        .arg(waited_ms, 0, 'f', 1)
        .arg(server_ms, 0, 'f', 1)
        .arg(program_ran_ms, 0, 'f', 1)
        .arg(display_ran_ms, 0, 'f', 1);
}

MachineWatch::MachineWatch() : thread_([this] { run(); }) { }

MachineWatch::~MachineWatch()
{
    stop_ = true;
    thread_.join();
}

void MachineWatch::watch_process(qint64 pid)
{
    const std::lock_guard lock(mutex_);
    roots_.insert(pid);
}

MachineWatch::Sample MachineWatch::sample()
{
    Sample sample;
    sample.at_ms = QDateTime::currentMSecsSinceEpoch();
    // cpu  user nice system idle iowait irq softirq steal guest guest_nice, in clock ticks.
    const QList<QByteArray> cpu
        = read_small_file(QStringLiteral("/proc/stat")).split('\n').value(0).simplified().split(' ');
    if (cpu.size() > 8) {
        sample.idle_ticks = cpu[4].toULongLong() + cpu[5].toULongLong();
        sample.steal_ticks = cpu[8].toULongLong();
    }
    return sample;
}

void MachineWatch::run()
{
    std::vector<std::pair<qint64, Kind>> watched;
    for (int round = 0; !stop_; ++round) {
        if (round % kSamplesPerScan == 0) {
            std::set<qint64> roots;
            {
                const std::lock_guard lock(mutex_);
                roots = roots_;
            }
            // Every process, with its parent; the watched ones are the roots, their descendants, the
            // display server and Wine's server.
            std::map<qint64, ProcessInfo> processes;
            for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
                bool number = false;
                const qint64 pid = entry.toLongLong(&number);
                if (number)
                    if (const std::optional<ProcessInfo> info = process_info(pid))
                        processes[pid] = *info;
            }
            auto descends = [&](qint64 pid) {
                for (int depth = 0; depth < 32 && pid > 1; ++depth) {
                    if (roots.count(pid))
                        return true;
                    const auto found = processes.find(pid);
                    if (found == processes.end())
                        return false;
                    pid = found->second.parent;
                }
                return false;
            };
            watched.clear();
            for (const auto &[pid, info] : processes) {
                if (info.name.startsWith(kWineServer))
                    watched.emplace_back(pid, Kind::WineServer);
                else if (info.name == kDisplayServer)
                    watched.emplace_back(pid, Kind::Display);
                else if (descends(pid))
                    watched.emplace_back(pid, Kind::Program);
            }
        }

        Sample next = sample();
        // /proc/PID/task/TID/schedstat: time on a processor, time ready without one, in ns.
        for (const auto &[pid, kind] : watched) {
            const QString tasks = QStringLiteral("/proc/%1/task").arg(pid);
            for (const QString &tid_text : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
                const QList<QByteArray> times
                    = read_small_file(tasks + QLatin1Char('/') + tid_text + QStringLiteral("/schedstat")).split(' ');
                if (times.size() < 2)
                    continue;
                const ThreadTimes now{times[0].toULongLong(), times[1].toULongLong()};
                const qint64 tid = tid_text.toLongLong();
                auto known = std::find_if(
                    threads_.begin(), threads_.end(), [tid](const auto &entry) { return entry.first == tid; });
                const ThreadTimes before = known != threads_.end() ? known->second : ThreadTimes{};
                const std::uint64_t waited = now.waited_ns > before.waited_ns ? now.waited_ns - before.waited_ns : 0;
                const std::uint64_t ran = now.ran_ns > before.ran_ns ? now.ran_ns - before.ran_ns : 0;
                // A thread first seen now counts from its start, which is recent for the program's
                // own; Wine's server and the display run from the test's start, so they count
                // from the first sample only.
                if (known == threads_.end()) {
                    threads_.emplace_back(tid, now);
                    if (kind != Kind::Program || round == 0)
                        continue;
                } else {
                    known->second = now;
                }
                totals_.waited_ns += waited;
                if (kind == Kind::WineServer)
                    totals_.server_ns += waited + ran;
                if (kind == Kind::Program)
                    totals_.program_ran_ns += ran;
                if (kind == Kind::Display)
                    totals_.display_ran_ns += ran;
            }
        }
        next.waited_ns = totals_.waited_ns;
        next.server_ns = totals_.server_ns;
        next.program_ran_ns = totals_.program_ran_ns;
        next.display_ran_ns = totals_.display_ran_ns;
        {
            const std::lock_guard lock(mutex_);
            samples_.push_back(next);
        }
        std::this_thread::sleep_for(kSampleInterval);
    }
}

std::optional<MachineFigures> MachineWatch::figures(qint64 from_ms, qint64 to_ms) const
{
    const std::lock_guard lock(mutex_);
    auto after = std::lower_bound(samples_.begin(), samples_.end(), to_ms,
        [](const Sample &sample, qint64 at_ms) { return sample.at_ms < at_ms; });
    auto before = std::upper_bound(samples_.begin(), samples_.end(), from_ms,
        [](qint64 at_ms, const Sample &sample) { return at_ms < sample.at_ms; });
    if (after == samples_.end() || before == samples_.begin())
        return std::nullopt;
    --before;
    const double ms_per_tick = 1000.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
    MachineFigures figures;
    figures.span_ms = static_cast<double>(after->at_ms - before->at_ms);
    figures.stolen_ms = static_cast<double>(after->steal_ticks - before->steal_ticks) * ms_per_tick;
    figures.idle_ms = static_cast<double>(after->idle_ticks - before->idle_ticks) * ms_per_tick;
    figures.waited_ms = static_cast<double>(after->waited_ns - before->waited_ns) / 1e6;
    figures.server_ms = static_cast<double>(after->server_ns - before->server_ns) / 1e6;
    figures.program_ran_ms = static_cast<double>(after->program_ran_ns - before->program_ran_ns) / 1e6;
    figures.display_ran_ms = static_cast<double>(after->display_ran_ns - before->display_ran_ns) / 1e6;
    return figures;
}

Disturbance judge_disturbance(const ScheduleReport &report, const MachineWatch &watch)
{
    // Every late reading the program reported must have the machine behind it, and there must be
    // one: a recording spoilt with every reading on time is the program's own doing. The readings
    // after a late one run back to back until the schedule has caught up, each a period less late
    // than the one before: they are the machine's when that one was.
    Disturbance disturbance;
    disturbance.by_machine = !report.late.empty();
    std::vector<ScheduleReport::LateReading> in_order = report.late;
    std::sort(in_order.begin(), in_order.end(), [](const auto &a, const auto &b) { return a.index < b.index; });
    std::vector<const ScheduleReport::LateReading *> by_machine_before;
    for (const ScheduleReport::LateReading &late : in_order) {
        const bool catching_up = late.woken_late_ms <= 0
            && std::any_of(by_machine_before.begin(), by_machine_before.end(), [&](const auto *earlier) {
                   return late.late_ms
                       <= earlier->late_ms - (late.index - earlier->index) * report.period_ms + kCatchUpSlackMs;
               });
        // The reading was held up from its deadline until it started.
        const auto held_from = late.at_ms - static_cast<qint64>(late.late_ms) - kMarginMs;
        const std::optional<MachineFigures> figures = watch.figures(held_from, late.at_ms + kMarginMs);
        const bool woken_late = late.woken_late_ms >= late.late_ms / 2;
        const bool by_machine = catching_up || woken_late
            || (figures
                && (figures->stolen_ms > 0 || figures->waited_ms >= late.late_ms / 2
                    || figures->server_ms >= late.late_ms / 2));
        if (by_machine)
            by_machine_before.push_back(&late);
        // The figures of the latest reading (the report lists it first), or of the first the
        // machine does not account for.
        const bool latest = late.index == report.late.front().index;
        if ((latest && disturbance.by_machine) || (!by_machine && disturbance.by_machine))
            disturbance.figures = QStringLiteral("reading %1, %2 ms late, woken %3 ms late: %4")
                                      .arg(late.index)
                                      .arg(late.late_ms, 0, 'f', 1)
                                      .arg(late.woken_late_ms, 0, 'f', 1)
                                      .arg(figures ? figures->describe() : QStringLiteral("no figures of the machine"));
        disturbance.by_machine = disturbance.by_machine && by_machine;
    }
    if (report.late.empty())
        disturbance.figures = QStringLiteral("no reading came half a period late or more");
    return disturbance;
}

}  // namespace e2e
