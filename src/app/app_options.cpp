// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "app_options.h"

#include "common/limits.h"
#include "common/measurement_state.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>

#include <cmath>
#include <cstdio>

namespace {

bool read_number(const QCommandLineParser &parser, const QCommandLineOption &option, double &value, QString &error)
{
    if (!parser.isSet(option))
        return true;
    bool ok = false;
    const double number = parser.value(option).toDouble(&ok);
    if (!ok || !std::isfinite(number)) {
        error
            = QStringLiteral("--%1 needs a number, not \"%2\"").arg(option.names().constFirst(), parser.value(option));
        return false;
    }
    value = number;
    return true;
}

// A whole number from `lowest` to `highest`.
bool read_whole_number(const QCommandLineParser &parser, const QCommandLineOption &option, std::int32_t lowest,
    std::int32_t highest, std::int32_t &value, QString &error)
{
    if (!parser.isSet(option))
        return true;
    bool ok = false;
    const int number = parser.value(option).toInt(&ok);
    if (!ok || number < lowest || number > highest) {
        error = QStringLiteral("--%1 needs a whole number from %2 to %3, not \"%4\"")
                    .arg(option.names().constFirst())
                    .arg(lowest)
                    .arg(highest)
                    .arg(parser.value(option));
        return false;
    }
    value = number;
    return true;
}

// A hole width in mm, stored in cm: wider than nothing and narrower than the pitch, so that a
// dark bar is left between two holes.
bool read_hole_width(
    const QCommandLineParser &parser, const QCommandLineOption &option, double &width_cm, QString &error)
{
    if (!parser.isSet(option))
        return true;
    double width_mm = 0;
    if (!read_number(parser, option, width_mm, error))
        return false;
    if (!(width_mm > 0 && width_mm < common::kHolePitchCm * 10)) {
        error = QStringLiteral("--%1 needs a width above 0 and below the pitch of 12.68 mm, not \"%2\"")
                    .arg(option.names().constFirst(), parser.value(option));
        return false;
    }
    width_cm = width_mm / 10;
    return true;
}

// A number from `lowest` to `highest`, either end included.
bool read_number_within(const QCommandLineParser &parser, const QCommandLineOption &option, double lowest,
    double highest, double &value, QString &error)
{
    if (!parser.isSet(option))
        return true;
    double number = 0;
    if (!read_number(parser, option, number, error))
        return false;
    if (!(number >= lowest && number <= highest)) {
        error = QStringLiteral("--%1 needs a number from %2 to %3, not \"%4\"")
                    .arg(option.names().constFirst())
                    .arg(lowest)
                    .arg(highest)
                    .arg(parser.value(option));
        return false;
    }
    value = number;
    return true;
}

// A strip position in cm beyond the start, where the cart stops dead.
bool read_end_stop(
    const QCommandLineParser &parser, const QCommandLineOption &option, std::optional<double> &stop_cm, QString &error)
{
    if (!parser.isSet(option))
        return true;
    double stop = 0;
    if (!read_number(parser, option, stop, error))
        return false;
    if (!(stop > 0)) {
        error = QStringLiteral("--%1 needs a distance above 0 cm, not \"%2\"")
                    .arg(option.names().constFirst(), parser.value(option));
        return false;
    }
    stop_cm = stop;
    return true;
}

// Qt's own options (QCoreApplication, QGuiApplication, QApplication and the X11 platform), taken
// with one or two leading dashes as Qt takes them.
const QStringList kQtOptionsWithValue = {QStringLiteral("platform"), QStringLiteral("platformpluginpath"),
    QStringLiteral("platformtheme"), QStringLiteral("plugin"), QStringLiteral("qmljsdebugger"), QStringLiteral("style"),
    QStringLiteral("stylesheet"), QStringLiteral("session"), QStringLiteral("display"), QStringLiteral("name"),
    QStringLiteral("title"), QStringLiteral("icon"), QStringLiteral("geometry"), QStringLiteral("qwindowgeometry"),
    QStringLiteral("qwindowicon"), QStringLiteral("qwindowtitle"), QStringLiteral("screen"), QStringLiteral("font"),
    QStringLiteral("fn"), QStringLiteral("background"), QStringLiteral("bg"), QStringLiteral("foreground"),
    QStringLiteral("fg"), QStringLiteral("button"), QStringLiteral("btn"), QStringLiteral("visual"),
    QStringLiteral("ncols"), QStringLiteral("im"), QStringLiteral("inputstyle")};
const QStringList kQtFlags = {QStringLiteral("reverse"), QStringLiteral("nograb"), QStringLiteral("dograb"),
    QStringLiteral("sync"), QStringLiteral("widgetcount"), QStringLiteral("testability"), QStringLiteral("cmap")};

// What the simulated strip, sensor and cart play: a sensor that bounces, a hole torn out, holes
// placed unevenly (never so far that two holes would touch), a cart that turns round.
struct StripOptions {
    const QCommandLineOption &flicker;
    const QCommandLineOption &torn;
    const QCommandLineOption &jitter;
    const QCommandLineOption &turn;
};
bool read_strip_faults(
    const QCommandLineParser &parser, const StripOptions &names, converter::CartMotion &cart, QString &error)
{
    std::int32_t torn = -1;
    double jitter_mm = 0;
    double turn_s = 0;
    const double widest_jitter_mm = (common::kHolePitchCm - cart.hole_width_cm) * 10 / 2;
    if (!read_number_within(parser, names.flicker, 0, 1, cart.flicker_share, error)
        || !read_whole_number(parser, names.torn, 0, converter::SimulatedCart(cart).hole_count() - 1, torn, error)
        || !read_number_within(parser, names.jitter, 0, widest_jitter_mm, jitter_mm, error)
        || !read_number_within(parser, names.turn, 0.001, 1000, turn_s, error))
        return false;
    if (parser.isSet(names.torn))
        cart.torn_hole = torn;
    cart.hole_jitter_cm = jitter_mm / 10;
    if (parser.isSet(names.turn))
        cart.turn_after_s = turn_s;
    return true;
}

// One acceleration, or a list of them separated by commas.
bool read_accelerations(
    const QCommandLineParser &parser, const QCommandLineOption &option, AppOptions &options, QString &error)
{
    if (!parser.isSet(option))
        return true;
    std::vector<double> values;
    for (const QString &part : parser.value(option).split(QLatin1Char(','))) {
        bool ok = false;
        const double value = part.trimmed().toDouble(&ok);
        if (!ok || !std::isfinite(value)) {
            error = QStringLiteral("--%1 needs a number or numbers separated by commas, not \"%2\"")
                        .arg(option.names().constFirst(), parser.value(option));
            return false;
        }
        values.push_back(value);
    }
    options.cart.accel_cm_s2 = values.front();
    if (values.size() > 1)
        options.accelerations = values;
    return true;
}

bool read_report_holes(
    const QCommandLineParser &parser, const QCommandLineOption &option, AppOptions &options, QString &error)
{
    if (!parser.isSet(option))
        return true;
    std::int32_t holes = 0;
    if (!read_whole_number(parser, option, common::kFewestHolesPerSection, common::kMostHolesPerSection, holes, error))
        return false;
    options.report_holes = holes;
    return true;
}

// --board may stand alone: its port is the next argument only when that is neither an option nor
// a measurement file to open.
QStringList with_board_value(QStringList arguments)
{
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        if (arguments[i] == QLatin1String("--"))
            break;
        if (arguments[i] != QLatin1String("--board"))
            continue;
        const QString next = arguments.value(i + 1);
        if (next.isEmpty() || next.startsWith(QLatin1Char('-'))
            || next.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive))
            arguments[i] = QStringLiteral("--board=");
    }
    return arguments;
}

}  // namespace

QStringList without_qt_options(const QStringList &arguments)
{
    QStringList kept;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments[i];
        if (i == 0 || !argument.startsWith(QLatin1Char('-'))) {
            kept << argument;
            continue;
        }
        if (argument == QLatin1String("--")) {
            kept << arguments.mid(i);
            break;
        }
        const QString name = argument.mid(argument.startsWith(QLatin1String("--")) ? 2 : 1);
        const qsizetype equals = name.indexOf(QLatin1Char('='));
        if (equals > 0 && kQtOptionsWithValue.contains(name.left(equals)))
            continue;
        if (kQtOptionsWithValue.contains(name)) {
            ++i;  // its value, when there is one
            continue;
        }
        if (kQtFlags.contains(name))
            continue;
        kept << argument;
    }
    return kept;
}

std::optional<AppOptions> parse_app_options(const QStringList &all_arguments, int &exit_code)
{
    // Qt takes its own options when the application object is made, but not all of them on every
    // platform (-geometry only on X11) and not before: the early answer to --help sees them all.
    const QStringList arguments = with_board_value(without_qt_options(all_arguments));
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Measures the motion of a cart that pulls a strip with holes every 1.268 cm past a light\n"
                       "sensor, and graphs its velocity and distance against time."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption port_option(QStringLiteral("port"),
        QStringLiteral("Serial port of the converter (default COM1, which is /dev/ttyS0 on Linux; a USB adapter "
                       "is usually /dev/ttyUSB0)."),
        QStringLiteral("NAME"), QStringLiteral("COM1"));
    const QCommandLineOption board_option(QStringLiteral("board"),
        QStringLiteral("Read a board instead of the converter, on this USB serial port (/dev/ttyACM0, COM3); "
                       "without PORT, on the first port on which a board answers."),
        QStringLiteral("PORT"));
    const QCommandLineOption simulate_option(
        QStringLiteral("simulate"), QStringLiteral("Use a simulated converter and cart instead of a port."));
    const QCommandLineOption v0_option(QStringLiteral("sim-v0"),
        QStringLiteral("Simulated cart: velocity at the release, cm/s (default 20)."), QStringLiteral("CM_PER_S"));
    const QCommandLineOption accel_option(QStringLiteral("sim-accel"),
        QStringLiteral("Simulated cart: acceleration, cm/s² (default 60); a list such as 40,80,120 gives each "
                       "計測 the next value in turn."),
        QStringLiteral("CM_PER_S2"));
    const QCommandLineOption data_option(QStringLiteral("data-dir"),
        QStringLiteral("Keep the lesson in this folder instead of the user's data folder."), QStringLiteral("DIR"));
    const QCommandLineOption delay_option(QStringLiteral("sim-delay"),
        QStringLiteral("Simulated cart: time from the start of a measurement to the release, s (default 0.05)."),
        QStringLiteral("S"));
    const QCommandLineOption hole_option(QStringLiteral("sim-hole-mm"),
        QStringLiteral("Simulated cart: width of each hole of its strip, mm, above 0 and below the pitch of "
                       "12.68 mm (default 5)."),
        QStringLiteral("MM"));
    const QCommandLineOption end_stop_option(QStringLiteral("sim-end-stop"),
        QStringLiteral("Simulated cart: it stops dead when the strip has moved this many cm, as on a stopper "
                       "at the end of a track (default: no stop)."),
        QStringLiteral("CM"));
    const QCommandLineOption settle_option(QStringLiteral("settle-us"),
        QStringLiteral("Wait this many microseconds after each clock pulse, for USB adapters that report their "
                       "lines late (default 0; try 1000 on a PL2303 or CH340 adapter; see docs/hardware.md)."),
        QStringLiteral("US"));
    const QCommandLineOption line_cost_option(QStringLiteral("sim-line-us"),
        QStringLiteral("With --simulate: each line operation takes this many microseconds of real time, as on "
                       "a USB adapter (default 0)."),
        QStringLiteral("US"));
    const QCommandLineOption no_converter_option(QStringLiteral("sim-no-converter"),
        QStringLiteral("With --simulate: an adapter with nothing connected to it (CTS and DSR never on)."));
    const QCommandLineOption unplug_option(QStringLiteral("sim-unplug-after"),
        QStringLiteral("With --simulate: every line operation fails from this many seconds after the port "
                       "was opened, as when the cable is pulled out; opening the port again plugs it in."),
        QStringLiteral("S"));
    const QCommandLineOption flicker_option(QStringLiteral("sim-flicker"),
        QStringLiteral("Simulated cart: the share of crossings of an edge, 0 to 1, at which the reading bounces "
                       "back once or twice for a reading, as a sensor near its threshold does (default 0)."),
        QStringLiteral("P"));
    const QCommandLineOption torn_option(QStringLiteral("sim-torn-hole"),
        QStringLiteral("Simulated cart: hole K of the strip, counted from 0, is missing (torn out or never "
                       "punched)."),
        QStringLiteral("K"));
    const QCommandLineOption jitter_option(QStringLiteral("sim-hole-jitter-mm"),
        QStringLiteral("Simulated cart: each hole stands off its place by up to J mm either way, as on a "
                       "punched strip (default 0)."),
        QStringLiteral("J"));
    const QCommandLineOption turn_option(QStringLiteral("sim-turn-after"),
        QStringLiteral("Simulated cart: pushed up a slope, it slows at the --sim-accel rate to a stop S seconds "
                       "after its release and rolls back; its velocity at the release follows from the two "
                       "(--sim-v0 is not used)."),
        QStringLiteral("S"));
    const QCommandLineOption report_option(QStringLiteral("report"),
        QStringLiteral("Write to standard output what データを保存 would write of a saved measurement after グラフ "
                       "and 最小２乗法 at the first scale, without opening the window."),
        QStringLiteral("FILE.csv"));
    const QCommandLineOption holes_option(QStringLiteral("holes"),
        QStringLiteral("With --report: the holes per section (default: the file's, else 1)."), QStringLiteral("H"));
    parser.addOptions({port_option, board_option, simulate_option, v0_option, accel_option, delay_option, hole_option,
        end_stop_option, flicker_option, torn_option, jitter_option, turn_option, settle_option, line_cost_option,
        no_converter_option, unplug_option, report_option, holes_option, data_option});
    parser.addPositionalArgument(QStringLiteral("file"),
        QStringLiteral("A measurement saved by the program, to open at start."), QStringLiteral("[FILE.csv]"));

    exit_code = 0;
    if (!parser.parse(arguments)) {
        std::fprintf(stderr, "%s\n", qPrintable(parser.errorText()));
        exit_code = 2;
        return std::nullopt;
    }
    if (parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("help-all"))) {
        // Without an application object yet, the parser does not know the program's name.
        QString help = parser.helpText();
        help.replace(QStringLiteral("<executable_name>"), QFileInfo(arguments.value(0)).fileName());
        std::printf("%s", qPrintable(help));
        return std::nullopt;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        std::printf("%s %s\n", qPrintable(QCoreApplication::applicationName()),
            qPrintable(QCoreApplication::applicationVersion()));
        return std::nullopt;
    }
    if (parser.positionalArguments().size() > 1) {
        std::fprintf(stderr, "Unexpected argument: %s\n", qPrintable(parser.positionalArguments().at(1)));
        exit_code = 2;
        return std::nullopt;
    }

    AppOptions options;
    options.port_name = parser.value(port_option).toStdString();
    options.report_file = parser.value(report_option);
    options.simulate = parser.isSet(simulate_option);
    options.faults.no_converter = parser.isSet(no_converter_option);
    options.open_file = parser.positionalArguments().value(0);
    options.data_folder = parser.value(data_option);
    if (parser.isSet(board_option))
        options.board = parser.value(board_option).toStdString();
    QString error;
    if (options.board && (options.simulate || parser.isSet(port_option)))
        error = QStringLiteral("--board reads a board: it goes with neither --simulate nor --port");
    if (!error.isEmpty() || !read_number(parser, v0_option, options.cart.v0_cm_s, error)
        || !read_accelerations(parser, accel_option, options, error)
        || !read_number(parser, delay_option, options.cart.release_delay_s, error)
        || !read_number(parser, unplug_option, options.faults.unplug_after_s, error)
        || !read_hole_width(parser, hole_option, options.cart.hole_width_cm, error)
        || !read_end_stop(parser, end_stop_option, options.cart.end_stop_cm, error)
        || !read_whole_number(parser, settle_option, 0, 100'000, options.settle_us, error)
        || !read_whole_number(parser, line_cost_option, 0, 100'000, options.faults.line_cost_us, error)
        || !read_strip_faults(parser, {flicker_option, torn_option, jitter_option, turn_option}, options.cart, error)
        || !read_report_holes(parser, holes_option, options, error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        exit_code = 2;
        return std::nullopt;
    }
    return options;
}

bool asks_for_report(const QStringList &all_arguments)
{
    const QStringList arguments = without_qt_options(all_arguments);
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        if (arguments[i] == QLatin1String("--"))
            return false;
        if (arguments[i] == QLatin1String("--report") || arguments[i].startsWith(QLatin1String("--report=")))
            return true;
    }
    return false;
}

bool asks_for_help_or_version(const QStringList &all_arguments)
{
    const QStringList arguments = without_qt_options(all_arguments);
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &argument = arguments[i];
        if (argument == QLatin1String("--"))
            return false;
        if (argument == QLatin1String("-h") || argument == QLatin1String("--help") || argument == QLatin1String("-?")
            || argument == QLatin1String("--help-all") || argument == QLatin1String("-v")
            || argument == QLatin1String("--version"))
            return true;
    }
    return false;
}
