// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

// On Linux the sampling thread asks RealtimeKit over the system bus for a real-time policy, as
// audio programs do, and sets SCHED_FIFO or its nice value itself where the user's limits allow.
//
// A thread under a real-time policy that ran on without ever blocking would hold a processor: the
// kernel sends SIGXCPU once it has run for RLIMIT_RTTIME's soft limit without blocking, and the
// handler puts the thread back under the normal policy; the hard limit, at which the kernel would
// end the program, lies beyond. RealtimeKit grants nothing to a program whose hard limit is above
// the one it names. The sampling loop sleeps every period, so neither limit is ever reached while
// it runs as it should.

#include "acquisition/run_priority.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QElapsedTimer>

#include <sched.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>

namespace acquisition {
namespace {

// Asking must not hold the start of a run noticeably, whatever the bus does.
constexpr qint64 kRequestBudgetMs = 50;
// The soft limit of running without blocking under a real-time policy.
constexpr rlim_t kRealtimeRunUs = 100'000;
constexpr rlim_t kLeastHardLimitUs = 50'000;

const QString kService = QStringLiteral("org.freedesktop.RealtimeKit1");
const QString kPath = QStringLiteral("/org/freedesktop/RealtimeKit1");

// Both real-time policies come with SCHED_RESET_ON_FORK, which only a privileged thread may clear:
// the way back keeps it, or it would be refused.
constexpr int kNormalPolicy = SCHED_OTHER | SCHED_RESET_ON_FORK;

// The thread under a real-time policy, for the signal handler: 0 when there is none.
std::atomic<pid_t> realtime_thread{0};

extern "C" void leave_realtime_on_overrun(int)
{
    const pid_t thread = realtime_thread.load();
    if (thread != 0) {
        const sched_param normal{};
        ::sched_setscheduler(thread, kNormalPolicy, &normal);
    }
}

class LinuxPriority final : public PrioritySystem {
public:
    LinuxPriority() : thread_(::gettid()) { }

    std::optional<int> realtimekit_max_priority() override
    {
        budget_.start();
        return property_int(QStringLiteral("MaxRealtimePriority"));
    }

    bool realtimekit_realtime(int priority) override
    {
        const std::optional<int> most_us = property_int(QStringLiteral("RTTimeUSecMax"));
        if (!most_us || *most_us <= 0 || !limit_run_time(static_cast<rlim_t>(*most_us)))
            return false;
        if (!call(QStringLiteral("MakeThreadRealtime"),
                {QVariant::fromValue(static_cast<quint64>(thread_)),
                    QVariant::fromValue(static_cast<quint32>(priority))})) {
            restore_run_time();
            return false;
        }
        realtime_thread.store(thread_);
        return true;
    }

    bool set_fifo(int priority) override
    {
        if (!limit_run_time(0))
            return false;
        sched_param wanted{};
        wanted.sched_priority = priority;
        if (::sched_setscheduler(0, SCHED_FIFO | SCHED_RESET_ON_FORK, &wanted) != 0) {
            restore_run_time();
            return false;
        }
        realtime_thread.store(thread_);
        return true;
    }

    void set_normal_policy() override
    {
        realtime_thread.store(0);
        const sched_param normal{};
        ::sched_setscheduler(0, kNormalPolicy, &normal);
        restore_run_time();
    }

    int nice() override
    {
        errno = 0;
        const int value = ::getpriority(PRIO_PROCESS, static_cast<id_t>(thread_));
        return errno == 0 ? value : 0;
    }

    bool set_nice(int nice) override { return ::setpriority(PRIO_PROCESS, static_cast<id_t>(thread_), nice) == 0; }

    std::optional<int> realtimekit_min_nice() override
    {
        if (!budget_.isValid())
            budget_.start();
        return property_int(QStringLiteral("MinNiceLevel"));
    }

    bool realtimekit_nice(int nice) override
    {
        return call(QStringLiteral("MakeThreadHighPriority"),
            {QVariant::fromValue(static_cast<quint64>(thread_)), QVariant::fromValue(static_cast<qint32>(nice))});
    }

    void restore_nice(int nice) override { ::setpriority(PRIO_PROCESS, static_cast<id_t>(thread_), nice); }

private:
    qint64 remaining_ms() const { return budget_.isValid() ? kRequestBudgetMs - budget_.elapsed() : kRequestBudgetMs; }

    std::optional<QDBusMessage> ask(const QDBusMessage &message)
    {
        const qint64 left = remaining_ms();
        if (left <= 0)
            return std::nullopt;
        QDBusConnection bus = QDBusConnection::systemBus();
        if (!bus.isConnected())
            return std::nullopt;
        QDBusMessage reply = bus.call(message, QDBus::Block, static_cast<int>(left));
        if (reply.type() != QDBusMessage::ReplyMessage)
            return std::nullopt;
        return reply;
    }

    std::optional<int> property_int(const QString &name)
    {
        QDBusMessage get = QDBusMessage::createMethodCall(
            kService, kPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
        get << kService << name;
        const std::optional<QDBusMessage> reply = ask(get);
        if (!reply || reply->arguments().isEmpty())
            return std::nullopt;
        bool ok = false;
        const qlonglong value = reply->arguments().constFirst().value<QDBusVariant>().variant().toLongLong(&ok);
        if (!ok)
            return std::nullopt;
        return static_cast<int>(value);
    }

    bool call(const QString &method, const QList<QVariant> &arguments)
    {
        QDBusMessage message = QDBusMessage::createMethodCall(kService, kPath, kService, method);
        message.setArguments(arguments);
        return ask(message).has_value();
    }

    // Lets the thread run for kRealtimeRunUs without blocking before it is put back, and for
    // `hard_us` (0: as the limits stand) before the kernel would end the program.
    bool limit_run_time(rlim_t hard_us)
    {
        if (::getrlimit(RLIMIT_RTTIME, &previous_limit_) != 0)
            return false;
        rlimit limit = previous_limit_;
        // Under a hard limit this short the kernel would end the program at the first tick that
        // finds the thread running: no real-time policy then.
        if ((limit.rlim_max != RLIM_INFINITY && limit.rlim_max < kLeastHardLimitUs)
            || (hard_us > 0 && hard_us < kLeastHardLimitUs))
            return false;
        if (hard_us > 0 && (limit.rlim_max == RLIM_INFINITY || limit.rlim_max > hard_us))
            limit.rlim_max = hard_us;
        limit.rlim_cur = std::min<rlim_t>(kRealtimeRunUs, limit.rlim_max / 2);
        if (::setrlimit(RLIMIT_RTTIME, &limit) != 0)
            return false;
        struct sigaction overrun { };
        overrun.sa_handler = leave_realtime_on_overrun;
        sigemptyset(&overrun.sa_mask);
        overrun.sa_flags = SA_RESTART;
        ::sigaction(SIGXCPU, &overrun, nullptr);
        limit_changed_ = true;
        return true;
    }

    void restore_run_time()
    {
        if (!limit_changed_)
            return;
        limit_changed_ = false;
        // A hard limit that was lowered cannot be raised again without privilege; the soft one
        // goes back as far as it may.
        rlimit now{};
        if (::getrlimit(RLIMIT_RTTIME, &now) != 0)
            return;
        rlimit back = previous_limit_;
        if (::setrlimit(RLIMIT_RTTIME, &back) != 0) {
            back.rlim_max = now.rlim_max;
            back.rlim_cur = std::min(previous_limit_.rlim_cur, now.rlim_max);
            ::setrlimit(RLIMIT_RTTIME, &back);
        }
    }

    pid_t thread_;
    QElapsedTimer budget_;
    rlimit previous_limit_{};
    bool limit_changed_ = false;
};

}  // namespace

std::unique_ptr<PrioritySystem> make_system_priority() { return std::make_unique<LinuxPriority>(); }

}  // namespace acquisition
