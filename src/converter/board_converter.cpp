// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "converter/board_converter.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace converter {
namespace {

// The arrivals of the first and the last this long of a run make its two stretches.
constexpr double kEdgeStretchS = 2;
// The least delay over USB is known to about this much, which a run's length turns into its
// clock's uncertainty.
constexpr double kLeastDelaySpreadS = 0.002;
// How often the greeting is asked for while the board starts.
constexpr std::int64_t kAskEveryNs = 250'000'000;

}  // namespace

BoardConverter::BoardConverter(DataPort &port, const common::Clock &clock, std::function<void(std::int64_t)> wait,
    std::function<std::vector<std::string>()> list_ports)
    : port_(port),
      clock_(clock),
      wait_(std::move(wait)),
      list_ports_(list_ports ? std::move(list_ports) : std::function<std::vector<std::string>()>(usb_serial_ports))
{ }

BoardConverter::~BoardConverter() { close_port(); }

bool BoardConverter::open_port(const std::string &name)
{
    kept_ = still_there(name);
    if (kept_)
        return true;
    close_port();
    name_ = name;
    failures_ = 0;
    fault_.reset();
    greeting_.reset();
    reader_ = BoardReader{};
    candidates_.clear();
    if (name.empty()) {
        // Looked for afresh at each start, so that a board plugged in meanwhile is found.
        candidates_ = list_ports_();
        if (candidates_.empty()) {
            fault_ = SessionFault::NoBoard;
            return false;
        }
        return true;
    }
    return port_.open(name, kBoardBaud);
}

bool BoardConverter::still_there(const std::string &name)
{
    if (!ready() || !port_.is_open() || failures_ != 0 || (!name.empty() && name != name_))
        return false;
    const std::optional<QByteArray> bytes = port_.read();
    if (!bytes)
        return false;
    for (const BoardEvent &event : reader_.feed(*bytes))
        if (event.kind == BoardEvent::Kind::Greeting)
            greeting_ = event.greeting;
    fault_.reset();
    return true;
}

void BoardConverter::close_port()
{
    ready_.store(false, std::memory_order_release);
    if (port_.is_open()) {
        port_.write(stop_command());
        port_.close();
    }
}

bool BoardConverter::init_converter()
{
    if (kept_)
        return true;
    if (candidates_.empty())
        return greet();
    for (const std::string &candidate : candidates_) {
        failures_ = 0;
        fault_.reset();
        reader_ = BoardReader{};
        if (!port_.open(candidate, kBoardBaud))
            continue;
        name_ = candidate;
        if (greet())
            return true;
        // A board, but with other firmware: that is what the teacher must hear.
        if (fault_ == SessionFault::OtherFirmware)
            return false;
        port_.close();
    }
    name_.clear();
    failures_ = 0;
    fault_ = SessionFault::NoBoard;
    return false;
}

bool BoardConverter::greet()
{
    // A board that was running is stopped first; its readings before the greeting are passed over.
    port_.write(stop_command());
    const std::int64_t give_up = clock_.now_ns() + kGreetingWaitNs;
    std::int64_t next_ask = clock_.now_ns();
    while (!greeting_ && clock_.now_ns() < give_up) {
        if (clock_.now_ns() >= next_ask) {
            if (!port_.write(hello_command()))
                ++failures_;
            next_ask = clock_.now_ns() + kAskEveryNs;
        }
        const std::optional<QByteArray> bytes = port_.read();
        if (!bytes) {
            ++failures_;
            return false;
        }
        for (const BoardEvent &event : reader_.feed(*bytes))
            if (event.kind == BoardEvent::Kind::Greeting)
                greeting_ = event.greeting;
        if (!greeting_)
            wait_(std::min(next_ask, give_up));
    }
    if (!greeting_) {
        fault_ = SessionFault::NoBoard;
        return false;
    }
    const bool known = (greeting_->layout == kEdgeLayout && greeting_->firmware == kBoardFirmware)
        || (greeting_->layout == kBoardLayout && greeting_->firmware == kReadingsOnlyFirmware);
    if (!known) {
        fault_ = SessionFault::OtherFirmware;
        return false;
    }
    ready_.store(true, std::memory_order_release);
    return true;
}

bool BoardConverter::start(std::int32_t period_ms, std::int32_t count)
{
    period_ms_ = period_ms;
    first_edge_ = {};
    last_edge_ = {};
    block_edge_ = {};
    run_start_ns_ = clock_.now_ns();
    return port_.write(start_command(period_ms, count));
}

std::optional<std::vector<BoardEvent>> BoardConverter::poll()
{
    // Closed by the stop button: nothing more comes, and nothing failed.
    if (!port_.is_open())
        return std::vector<BoardEvent>{};
    const std::optional<QByteArray> bytes = port_.read();
    if (!bytes) {
        ++failures_;
        return std::nullopt;
    }
    std::vector<BoardEvent> events = reader_.feed(*bytes);
    for (const BoardEvent &event : events)
        if (event.kind == BoardEvent::Kind::Greeting)
            greeting_ = event.greeting;
    return events;
}

bool BoardConverter::stop() { return port_.is_open() && port_.write(stop_command()); }

void BoardConverter::reading_arrived(std::int64_t index, std::int64_t at_ns)
{
    // Its lag behind its place on the board's clock, at its nominal period.
    const std::int64_t board_ns = index * static_cast<std::int64_t>(period_ms_) * 1'000'000;
    const std::int64_t lag = at_ns - run_start_ns_ - board_ns;
    const auto stretch = static_cast<std::int64_t>(kEdgeStretchS * 1e9);
    const auto lower = [lag, index](Edge &edge) {
        if (edge.index < 0 || lag < edge.lag_ns)
            edge = {index, lag};
    };
    if (board_ns < stretch) {
        lower(first_edge_);
        return;
    }
    // The last stretch is the lower of the last two blocks of kEdgeStretchS, so that it never
    // rests on a block just begun.
    if (block_edge_.index >= 0
        && board_ns - block_edge_.index * static_cast<std::int64_t>(period_ms_) * 1'000'000 >= stretch) {
        last_edge_ = block_edge_;
        block_edge_ = {};
    }
    lower(block_edge_);
}

void BoardConverter::run_ended(std::int32_t period_ms)
{
    const Edge last = last_edge_.index < 0 || (block_edge_.index >= 0 && block_edge_.lag_ns < last_edge_.lag_ns)
        ? block_edge_
        : last_edge_;
    if (!greeting_ || first_edge_.index < 0 || last.index <= first_edge_.index)
        return;
    const double span_s = static_cast<double>(last.index - first_edge_.index) * period_ms * 1e-3;
    if (span_s < kLeastCalibrationS)
        return;
    // The lags grow when the board's readings come further apart than their nominal period: its
    // clock, as corrected now, runs slow by that share.
    const double slow = static_cast<double>(last.lag_ns - first_edge_.lag_ns) * 1e-9 / span_s;
    const double uncertainty_ppm = kLeastDelaySpreadS / span_s * 1e6;
    const double now_ppm = greeting_->correction.value_or(0);
    // Its ticks last (1 + correction) / (1 + its clock's error) of a millisecond: the correction
    // that makes them one.
    const double wanted_ppm = ((1 + now_ppm * 1e-6) / (1 + slow) - 1) * 1e6;
    // Kept only when it changed by more than it is known to.
    if (greeting_->correction && std::fabs(wanted_ppm - now_ppm) <= uncertainty_ppm)
        return;
    if (std::fabs(wanted_ppm) > 50'000)
        return;
    port_.write(correction_command(static_cast<std::int32_t>(std::lround(wanted_ppm))));
}

QStringList BoardConverter::source() const
{
    QStringList source = {kBoardSourceKind, QString::fromStdString(name_)};
    if (greeting_) {
        source << kBoardFirmwareKey << greeting_->firmware << kBoardClockKey
               << (greeting_->correction ? QString::number(*greeting_->correction) : kBoardClockNone);
    }
    return source;
}

std::optional<QString> BoardConverter::other_firmware() const
{
    if (fault_ == SessionFault::OtherFirmware && greeting_)
        return greeting_->firmware;
    return std::nullopt;
}

}  // namespace converter
