// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "acquisition/run_priority.h"

#include <QStringList>

#include <algorithm>

namespace acquisition {

bool PriorityGrant::granted(Kind kind) const { return std::find(kinds.begin(), kinds.end(), kind) != kinds.end(); }

bool PriorityGrant::realtime() const
{
    return granted(Kind::ProAudio) || granted(Kind::RealtimeKit) || granted(Kind::Fifo);
}

QString PriorityGrant::text() const
{
    QStringList parts;
    for (const Kind kind : kinds) {
        switch (kind) {
        case Kind::HighPriorityClass:
            parts << QStringLiteral("高い優先度クラス");
            break;
        case Kind::ProAudio:
            parts << QStringLiteral("Pro Audio");
            break;
        case Kind::RealtimeKit:
            parts << QStringLiteral("SCHED_RR %1 (RealtimeKit)").arg(realtime_priority);
            break;
        case Kind::Fifo:
            parts << QStringLiteral("SCHED_FIFO %1").arg(realtime_priority);
            break;
        case Kind::Nice:
            parts << QStringLiteral("nice %1").arg(nice);
            break;
        case Kind::RealtimeKitNice:
            parts << QStringLiteral("nice %1 (RealtimeKit)").arg(nice);
            break;
        }
    }
    return parts.isEmpty() ? QStringLiteral("なし") : parts.join(QStringLiteral(", "));
}

PriorityHold::PriorityHold(PrioritySystem *system) : system_(system)
{
    if (!system_)
        return;
    using Kind = PriorityGrant::Kind;
    // Windows: the two requests stand side by side; the process class lifts every thread of the
    // program a little, the task lifts the sampling thread above the desktop's programs.
    if (system_->raise_priority_class())
        grant_.kinds.push_back(Kind::HighPriorityClass);
    if (system_->join_pro_audio())
        grant_.kinds.push_back(Kind::ProAudio);
    if (!grant_.kinds.empty())
        return;
    // Linux: one real-time policy, else one nice value.
    if (const std::optional<int> most = system_->realtimekit_max_priority(); most && *most > 0) {
        const int priority = std::min(kRunRealtimePriority, *most);
        if (system_->realtimekit_realtime(priority)) {
            grant_.kinds.push_back(Kind::RealtimeKit);
            grant_.realtime_priority = priority;
            return;
        }
    }
    if (system_->set_fifo(kRunRealtimePriority)) {
        grant_.kinds.push_back(Kind::Fifo);
        grant_.realtime_priority = kRunRealtimePriority;
        return;
    }
    previous_nice_ = system_->nice();
    if (previous_nice_ <= kRunNice)
        return;
    if (system_->set_nice(kRunNice)) {
        grant_.kinds.push_back(Kind::Nice);
        grant_.nice = kRunNice;
        return;
    }
    if (const std::optional<int> least = system_->realtimekit_min_nice(); least && *least < previous_nice_) {
        const int nice = std::max(kRunNice, *least);
        if (system_->realtimekit_nice(nice)) {
            grant_.kinds.push_back(Kind::RealtimeKitNice);
            grant_.nice = nice;
        }
    }
}

PriorityHold::~PriorityHold()
{
    if (!system_)
        return;
    using Kind = PriorityGrant::Kind;
    if (grant_.granted(Kind::ProAudio))
        system_->leave_pro_audio();
    if (grant_.granted(Kind::HighPriorityClass))
        system_->restore_priority_class();
    if (grant_.granted(Kind::RealtimeKit) || grant_.granted(Kind::Fifo))
        system_->set_normal_policy();
    if (grant_.granted(Kind::Nice) || grant_.granted(Kind::RealtimeKitNice))
        system_->restore_nice(previous_nice_);
}

}  // namespace acquisition
