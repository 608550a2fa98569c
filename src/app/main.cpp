// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "acquisition/qt_loop_host.h"
#include "app_options.h"
#include "common/clock.h"
#include "converter/converter.h"
#include "converter/real_port.h"
#include "converter/simulated_converter.h"
#include "form1.h"
#include "graph/surface.h"
#include "picture_menu.h"
#include "qt_translation.h"
#include "report.h"

#include <QApplication>
#include <QDateTime>
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
    std::unique_ptr<converter::SerialLines> lines;
    if (options->simulate)
        lines = std::make_unique<converter::SimulatedConverter>(clock, options->cart, 1, options->faults);
    else
        lines = std::make_unique<converter::RealPortLines>();
    converter::LineConverter converter(*lines);
    converter.set_settle_us(options->settle_us);
    converter::ConverterSession session(converter);

    acquisition::QtLoopHost host(clock);
    int result = 0;
    {
        Form1 window(host, session, options->port_name);
        auto *picture_menu = new PictureMenu(window);
        if (options->simulate)
            picture_menu->set_simulated_source(options->cart);
        window.show();
        if (!options->open_file.isEmpty())
            QTimer::singleShot(
                0, picture_menu, [picture_menu, &options] { picture_menu->open_file(options->open_file); });
        result = QApplication::exec();
    }
    session.close();
    return result;
}
