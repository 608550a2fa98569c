// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "bench_parts.h"

#include "spreadsheet_copy.h"

#include "storage/file_io.h"
#include "storage/measurement_csv.h"

#include <QFile>
#include <QTemporaryDir>

#include <malloc.h>

#include <cstdint>
#include <fstream>
#include <random>
#include <string>

namespace bench {
namespace {

constexpr double kTargetMs = 200;
constexpr double kTargetMiB = 50;

// A figure of this process from /proc/self/status, in KiB: VmRSS (now) or VmHWM (the peak).
std::int64_t status_kib(const std::string &name)
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind(name + ":", 0) == 0)
            return std::stoll(line.substr(name.size() + 1));
    }
    return -1;
}

// Makes the peak of the resident memory start again from what is resident now (Linux 4.0 and
// later); false where the system does not allow it. Memory freed by an earlier round goes back to
// the system first, so that using it again counts.
bool reset_peak_memory()
{
    ::malloc_trim(0);
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.close();
    return static_cast<bool>(clear);
}

// The largest file the program writes: 10 s at 1 ms with a hole every two readings, a section
// for each, the boundaries and the fit.
storage::MeasurementRecord largest_record()
{
    storage::MeasurementRecord record;
    record.program_name = "undou-kaiseki";
    record.program_version = "1.0.0";
    record.saved_at = QDateTime(QDate(2026, 12, 8), QTime(12, 51, 7));
    record.measured_at = record.saved_at.addSecs(-30);
    record.source = {"simulated", "初速度(cm/s)", "20", "加速度(cm/s²)", "60", "発車までの時間(s)", "0.5"};
    record.period_ms = 1;
    record.meas_time_s = 10;
    record.sample_rate = 1000;
    record.last_sample = 10000;
    for (std::int32_t i = 0; i <= record.last_sample; ++i)
        record.samples.push_back(static_cast<std::int16_t>(i % 2 == 0 ? 230 : -20));
    record.holes_per_section = 1;
    for (std::int32_t k = 1; k <= record.last_sample / 2; ++k) {
        const float time = 0.002f * static_cast<float>(k) + 0.000123f;
        record.sections.push_back({time, 0.00200001f, 634.000061f + static_cast<float>(k) / 7.0f});
    }
    for (std::int32_t k = 0; k <= record.last_sample / 2; ++k)
        record.boundaries.push_back({0.002 * k + 1e-12, 1.268 * k + 1e-12});
    storage::FitRecord fit;
    fit.initial_velocity = 634.012345f;
    fit.acceleration = 71.4285736f;
    fit.initial_velocity_text = "634cm/s";
    fit.acceleration_text = "71.4cm/ss";
    fit.statistics = {5000, 634.01234567, 71.428571428, 1.2345e-5, 3.4567e-6, 0.99999987654};
    record.fit = fit;
    return record;
}

struct Content {
    std::string name;
    QByteArray bytes;
};

std::vector<Content> contents()
{
    const qint64 size = storage::kMaxFileBytes;
    const QByteArray largest = storage::write_measurement_csv(largest_record());
    const QByteArray title = largest.left(largest.indexOf("\r\n") + 2);
    QByteArray garbage(size, '\0');
    std::mt19937 random(16);
    for (char &byte : garbage)
        byte = static_cast<char>(random());
    return {
        {"empty lines", QByteArray(size, '\n')},
        {"one line of 4 MiB after the title", title + QByteArray(size - title.size(), 'x')},
        {"one line of 4 MiB of commas after the title", title + QByteArray(size - title.size(), ',')},
        {"a quote left open after the title", title + '"' + QByteArray(size - title.size() - 1, '\n')},
        {"random bytes", garbage},
        {"the largest file the program writes", largest},
        {"the same, empty lines after it to 4 MiB", largest + QByteArray(size - largest.size(), '\n')},
        {"the same, saved again in code page 932", test_support::in_cp932(QString::fromUtf8(largest.mid(3)))},
    };
}

}  // namespace

void run_file_bench(const Options &options)
{
    const int repetitions = options.quick ? 3 : 11;
    QTemporaryDir folder;
    Table table("5. Opening a file: read_measurement_file on files of up to 4 MiB (the most it reads)",
        {"content", "bytes", "outcome", "median ms", "max ms", "peak memory added MiB", "target", "result"});
    bool memory_measured = true;
    for (const Content &content : contents()) {
        const QString path = folder.filePath("bench.csv");
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(content.bytes) != content.bytes.size())
            return;
        file.close();
        // The memory first, in a round of its own; then the time.
        memory_measured = reset_peak_memory() && memory_measured;
        const std::int64_t before_kib = status_kib("VmRSS");
        storage::ReadResult read = storage::read_measurement_file(path);
        const double added_mib = static_cast<double>(status_kib("VmHWM") - before_kib) / 1024.0;
        const std::vector<double> times
            = time_each_ms(repetitions, [&] { read = storage::read_measurement_file(path); });
        const std::string outcome = read.record ? "read, N = " + std::to_string(read.record->last_sample)
                                                : "refused at line " + std::to_string(read.failure.line);
        const bool met = median(times) < kTargetMs && maximum(times) < kTargetMs && added_mib < kTargetMiB;
        table.add_row({content.name, std::to_string(content.bytes.size()), outcome, fixed(median(times), 1),
            fixed(maximum(times), 1), fixed(added_mib, 1), "< 200 ms, < 50 MiB", verdict(met)});
    }
    table.add_note(std::to_string(repetitions)
        + " repetitions each, from a file in a temporary folder (in the page "
          "cache). Peak memory added: VmHWM after one read less VmRSS before it, the peak reset before each.");
    if (!memory_measured)
        table.add_note("The peak memory could not be reset here: each figure is bounded by the ones above it.");
    table.print();
}

}  // namespace bench
