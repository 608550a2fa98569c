// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "acquisition/run_priority.h"
#include "acquisition/sampling_thread.h"
#include "acquisition/thread_loop_host.h"
#include "app_options.h"
#include "common/clock.h"
#include "converter/board_converter.h"
#include "converter/converter.h"
#include "converter/data_port.h"
#include "converter/real_port.h"
#include "converter/simulated_converter.h"
#include "form1.h"
#include "graph/surface.h"
#include "lesson/lesson.h"
#include "lesson/lesson_store.h"
#include "lesson_desk.h"
#include "messages.h"
#include "picture_menu.h"
#include "qt_translation.h"
#include "report.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QStandardPaths>
#include <QTimer>

#include <cstdio>
#include <memory>

#ifdef Q_OS_WIN
#include <fcntl.h>
#include <io.h>
#endif

int main(int argc, char *argv[])
{
    QCoreApplication::setApplicationName(QStringLiteral("undou-kaiseki"));
    QCoreApplication::setApplicationVersion(QStringLiteral(UNDOU_VERSION));

    // --help and --version answer without reaching the window system, so that they work without
    // a display; everything else is read after Qt has taken its own options (-style and the like).
    QStringList raw_arguments;
    for (int i = 0; i < argc; ++i)
        raw_arguments << QString::fromLocal8Bit(argv[i]);
    int exit_code = 0;
    if (asks_for_help_or_version(raw_arguments)) {
        parse_app_options(raw_arguments, exit_code);
        return exit_code;
    }
    // A report needs no display either.
    if (asks_for_report(raw_arguments)) {
        QCoreApplication app(argc, argv);
        const std::optional<AppOptions> options = parse_app_options(QCoreApplication::arguments(), exit_code);
        if (!options)
            return exit_code;
        const Report report = report_of_file(options->report_file, options->report_holes, QDateTime::currentDateTime());
        if (!report.refusal.isEmpty()) {
            std::fprintf(stderr, "%s\n", report.refusal.toLocal8Bit().constData());
            return 2;
        }
#ifdef Q_OS_WIN
        // The file's own line ends, byte for byte.
        _setmode(_fileno(stdout), _O_BINARY);
#endif
        std::fwrite(report.file.constData(), 1, static_cast<std::size_t>(report.file.size()), stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }

    QApplication app(argc, argv);
    // The window speaks Japanese, and so do Qt's dialogs, whatever the system's language.
    install_qt_translation(QCoreApplication::applicationDirPath());
    QApplication::setWindowIcon(program_icon());
    graph::install_font_substitutes();
    const std::optional<AppOptions> options = parse_app_options(QApplication::arguments(), exit_code);
    if (!options)
        return exit_code;

    common::SteadyClock clock;
    // The runs take their readings on a thread of their own. Their loop host, their standing with
    // the system and the board's port belong to that thread, and are built and ended there.
    acquisition::SamplingThread sampling;
    std::unique_ptr<acquisition::ThreadLoopHost> host;
    std::unique_ptr<acquisition::PrioritySystem> priority;
    std::unique_ptr<converter::DataPort> data_port;
    sampling.run_and_wait([&] {
        host = std::make_unique<acquisition::ThreadLoopHost>(clock);
        // Each run asks the system for the standing of time-critical work while it records.
        priority = acquisition::make_system_priority();
        host->set_priority_system(priority.get());
        if (options->board)
            data_port = converter::make_data_port();
    });
    sampling.set_host(host.get());
    std::unique_ptr<converter::SerialLines> lines;
    converter::SimulatedConverter *simulated = nullptr;
    if (options->simulate) {
        auto simulated_lines
            = std::make_unique<converter::SimulatedConverter>(clock, options->cart, 1, options->faults);
        simulated = simulated_lines.get();
        lines = std::move(simulated_lines);
    } else {
        lines = std::make_unique<converter::RealPortLines>();
    }
    converter::LineConverter line_converter(*lines);
    line_converter.set_settle_us(options->settle_us);
    // A board instead of the converter: its run waits for its bytes on the runs' thread.
    std::unique_ptr<converter::BoardConverter> board;
    if (options->board) {
        acquisition::LoopHost *runs_host = host.get();
        board = std::make_unique<converter::BoardConverter>(
            *data_port, clock, [runs_host](std::int64_t until_ns) { runs_host->wait_for_events(until_ns); });
    }
    converter::ConverterSession session(board ? static_cast<converter::Converter &>(*board) : line_converter);

    Lesson lesson;
    const QString data_folder = options->data_folder.isEmpty()
        ? QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)
        : options->data_folder;
    LessonStore keeper(lesson, data_folder);
    int result = 0;
    {
        Form1 window(sampling, session, options->board ? *options->board : options->port_name);
        // Each 計測 of a simulated lesson takes the next acceleration, before the menu notes where the
        // readings came from.
        std::size_t next_acceleration = 0;
        PictureMenu *picture_menu = nullptr;
        if (simulated && !options->accelerations.empty())
            QObject::connect(&window.document(), &MeasurementDocument::measurement_started, &window, [&] {
                converter::CartMotion motion = options->cart;
                motion.accel_cm_s2 = options->accelerations[next_acceleration++ % options->accelerations.size()];
                simulated->cart() = converter::SimulatedCart(motion, 1);
                picture_menu->set_simulated_source(motion);
            });
        picture_menu = new PictureMenu(window);
        if (options->simulate)
            picture_menu->set_simulated_source(options->cart);
        if (board)
            picture_menu->set_source([&board] { return board->source(); });
        LessonDesk desk(window, lesson, keeper);
        picture_menu->set_lesson_desk(&desk);
        QObject::connect(&keeper, &LessonStore::keeping_failed, &window,
            [&window](const storage::SaveFailure &failure, const QString &where) {
                window.show_message(messages::lesson_cannot_keep(QDir::toNativeSeparators(where), failure));
            });
        keeper.restore();
        window.show();
        window.open_board_at_start();
        if (!options->open_file.isEmpty())
            QTimer::singleShot(
                0, picture_menu, [picture_menu, &options] { picture_menu->open_file(options->open_file); });
        result = QApplication::exec();
    }
    // The board's port is closed here; it goes with the converter that holds it.
    sampling.run_and_wait([&] {
        session.close();
        host.reset();
        priority.reset();
    });
    sampling.set_host(nullptr);
    return result;
}
