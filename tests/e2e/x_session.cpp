// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "x_session.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QGuiApplication>
#include <QPixmap>
#include <QRegularExpression>
#include <QScreen>
#include <QStandardPaths>
#include <QThread>

#include <csignal>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace e2e {
namespace {

// Bounds for processes that should answer at once; they only matter when something hangs.
constexpr int kToolTimeoutMs = 30'000;
constexpr int kStartTimeoutMs = 30'000;
// Display numbers well above those that desktops and the usual wrappers take.
constexpr int kFirstDisplay = 100;
constexpr int kDisplaySpread = 400;
constexpr int kDisplayTries = 50;

// The program under test gets the processor ahead of other work while it samples (see the test);
// the display server it draws through is given the same, so that it is never left waiting on it.
constexpr int kServerNiceness = -10;

// Settings of the calling shell that would scale the windows or send them elsewhere: one window
// pixel is one screen pixel here.
const char *const kForeignSettings[] = {"QT_SCALE_FACTOR", "QT_SCREEN_SCALE_FACTORS", "QT_AUTO_SCREEN_SCALE_FACTOR",
    "QT_ENABLE_HIGHDPI_SCALING", "QT_FONT_DPI", "WAYLAND_DISPLAY", "XAUTHORITY"};

const QStringList kTools = {QStringLiteral("Xvfb"), QStringLiteral("openbox"), QStringLiteral("xdotool"),
    QStringLiteral("xwininfo"), QStringLiteral("xprop")};

void end_process(QProcess &process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(5'000)) {
        process.kill();
        process.waitForFinished(5'000);
    }
}

std::optional<int> number_after(const QString &text, const QString &label)
{
    const QRegularExpression pattern(QRegularExpression::escape(label) + QStringLiteral(":\\s*(-?\\d+)"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    return match.captured(1).toInt();
}

}  // namespace

void start_tied_to_us(QProcess &process, const QString &program, const QStringList &arguments, int niceness)
{
    const QByteArray group_niceness = QByteArray::number(niceness);
    process.setChildProcessModifier([niceness, group_niceness] {
        // A crashed or killed test must not leave a display, a window manager or the program behind.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (niceness == 0)
            return;
        // Where the scheduler shares the processor between sessions first, a session of its own
        // with the niceness is what counts. Without the privilege everything stays as it was.
        ::setsid();
        const int group = ::open("/proc/self/autogroup", O_WRONLY);
        if (group >= 0) {
            (void)!::write(group, group_niceness.constData(), static_cast<std::size_t>(group_niceness.size()));
            ::close(group);
        }
        (void)::setpriority(PRIO_PROCESS, 0, niceness);
    });
    process.start(program, arguments);
}

XSession::XSession() = default;

XSession::~XSession() { stop(); }

XSession::Outcome XSession::start(QString &why)
{
    for (const QString &tool : kTools) {
        if (QStandardPaths::findExecutable(tool).isEmpty()) {
            why = QStringLiteral("%1 is not installed").arg(tool);
            return Outcome::ToolMissing;
        }
    }
    if (!dir_.isValid()) {
        why = QStringLiteral("no temporary directory");
        return Outcome::Failed;
    }

    // Display numbers are tried upwards from one that depends on this process. A server refuses a
    // number that another one holds, and the first that accepts writes its number to its standard
    // output once it takes connections. 96 dots per inch keep one window pixel one screen pixel.
    const int first = kFirstDisplay + static_cast<int>(::getpid() % kDisplaySpread);
    bool started = false;
    for (int number = first; !started && number < first + kDisplayTries; ++number) {
        xvfb_.setProcessChannelMode(QProcess::SeparateChannels);
        start_tied_to_us(xvfb_, QStringLiteral("Xvfb"),
            {QStringLiteral(":%1").arg(number), QStringLiteral("-displayfd"), QStringLiteral("1"),
                QStringLiteral("-screen"), QStringLiteral("0"), QStringLiteral("1280x1024x24"), QStringLiteral("-dpi"),
                QStringLiteral("96"), QStringLiteral("-nolisten"), QStringLiteral("tcp")},
            kServerNiceness);
        if (!xvfb_.waitForStarted(kStartTimeoutMs)) {
            why = QStringLiteral("Xvfb does not start: %1").arg(xvfb_.errorString());
            return Outcome::Failed;
        }
        const QDeadlineTimer deadline(kStartTimeoutMs);
        QByteArray announced;
        while (!announced.contains('\n') && !deadline.hasExpired() && xvfb_.state() == QProcess::Running) {
            xvfb_.waitForReadyRead(200);
            announced += xvfb_.readAllStandardOutput();
        }
        if (announced.trimmed() == QByteArray::number(number)) {
            display_ = QStringLiteral(":%1").arg(number);
            started = true;
        } else if (xvfb_.state() == QProcess::Running) {
            end_process(xvfb_);
            why = QStringLiteral("Xvfb on :%1 did not answer").arg(number);
            return Outcome::Failed;
        } else {
            why = QString::fromLocal8Bit(xvfb_.readAllStandardError()).trimmed();  // taken: try the next
        }
    }
    if (!started) {
        why = QStringLiteral("Xvfb took none of the displays :%1 to :%2: %3")
                  .arg(first)
                  .arg(first + kDisplayTries - 1)
                  .arg(why);
        return Outcome::Failed;
    }

    // The window manager reads no personal settings: an empty configuration home leaves it with
    // the system's default theme and bindings.
    QDir(dir_.path()).mkpath(QStringLiteral("config"));
    QDir(dir_.path()).mkpath(QStringLiteral("cache"));
    QProcessEnvironment wm_environment = environment();
    wm_environment.insert(QStringLiteral("XDG_CONFIG_HOME"), dir_.filePath(QStringLiteral("config")));
    wm_environment.insert(QStringLiteral("XDG_CACHE_HOME"), dir_.filePath(QStringLiteral("cache")));
    window_manager_.setProcessEnvironment(wm_environment);
    window_manager_.setProcessChannelMode(QProcess::MergedChannels);
    start_tied_to_us(window_manager_, QStringLiteral("openbox"), {QStringLiteral("--sm-disable")});
    if (!window_manager_.waitForStarted(kStartTimeoutMs)) {
        why = QStringLiteral("openbox does not start: %1").arg(window_manager_.errorString());
        stop();
        return Outcome::Failed;
    }
    const QDeadlineTimer wm_deadline(kStartTimeoutMs);
    for (;;) {
        const std::optional<QString> check
            = run(QStringLiteral("xprop"), {QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK")});
        if (check && check->contains(QStringLiteral("window id")))
            return Outcome::Ready;
        if (wm_deadline.hasExpired() || window_manager_.state() != QProcess::Running) {
            why = QStringLiteral("openbox did not take charge of the display: %1")
                      .arg(QString::fromLocal8Bit(window_manager_.readAll()).trimmed());
            stop();
            return Outcome::Failed;
        }
        QThread::msleep(50);
    }
}

void XSession::stop()
{
    end_process(window_manager_);
    end_process(xvfb_);
}

QProcessEnvironment XSession::environment() const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), display_);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    for (const char *name : kForeignSettings)
        environment.remove(QString::fromLatin1(name));
    return environment;
}

void XSession::use_for_this_process() const
{
    qputenv("DISPLAY", display_.toLocal8Bit());
    qputenv("QT_QPA_PLATFORM", "xcb");
    for (const char *name : kForeignSettings)
        qunsetenv(name);
}

std::optional<QString> XSession::run(const QString &tool, const QStringList &arguments) const
{
    QProcess process;
    process.setProcessEnvironment(environment());
    process.setProcessChannelMode(QProcess::SeparateChannels);
    start_tied_to_us(process, tool, arguments);
    if (!process.waitForStarted(kToolTimeoutMs))
        return std::nullopt;
    if (!process.waitForFinished(kToolTimeoutMs)) {
        end_process(process);
        return std::nullopt;
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return std::nullopt;
    return QString::fromLocal8Bit(process.readAllStandardOutput());
}

QList<qulonglong> XSession::windows_of(qint64 pid, const QString &title) const
{
    QList<qulonglong> windows;
    const std::optional<QString> found = run(QStringLiteral("xdotool"),
        {QStringLiteral("search"), QStringLiteral("--all"), QStringLiteral("--onlyvisible"), QStringLiteral("--pid"),
            QString::number(pid), QStringLiteral("--name"), QLatin1Char('^') + title + QLatin1Char('$')});
    if (!found)
        return windows;
    for (const QString &line : found->split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        bool ok = false;
        const qulonglong id = line.trimmed().toULongLong(&ok);
        if (ok)
            windows << id;
    }
    return windows;
}

std::optional<WindowPlace> XSession::place_of(qulonglong window) const
{
    const QString id = QString::number(window);
    const std::optional<QString> info = run(QStringLiteral("xwininfo"), {QStringLiteral("-id"), id});
    const std::optional<QString> extents
        = run(QStringLiteral("xprop"), {QStringLiteral("-id"), id, QStringLiteral("_NET_FRAME_EXTENTS")});
    if (!info || !extents)
        return std::nullopt;
    const std::optional<int> x = number_after(*info, QStringLiteral("Absolute upper-left X"));
    const std::optional<int> y = number_after(*info, QStringLiteral("Absolute upper-left Y"));
    const std::optional<int> width = number_after(*info, QStringLiteral("Width"));
    const std::optional<int> height = number_after(*info, QStringLiteral("Height"));
    if (!x || !y || !width || !height)
        return std::nullopt;
    // "_NET_FRAME_EXTENTS(CARDINAL) = 1, 1, 20, 5": left, right, top, bottom. The property appears
    // once the window manager has framed the window.
    const QRegularExpressionMatch frame
        = QRegularExpression(QStringLiteral("=\\s*(\\d+),\\s*(\\d+),\\s*(\\d+),\\s*(\\d+)")).match(*extents);
    if (!frame.hasMatch())
        return std::nullopt;
    WindowPlace place;
    place.client = QRect(*x, *y, *width, *height);
    place.frame_left = frame.captured(1).toInt();
    place.frame_right = frame.captured(2).toInt();
    place.frame_top = frame.captured(3).toInt();
    place.frame_bottom = frame.captured(4).toInt();
    return place;
}

bool XSession::window_exists(qulonglong window) const
{
    return run(QStringLiteral("xwininfo"), {QStringLiteral("-id"), QString::number(window)}).has_value();
}

bool XSession::click_at(QPoint screen_position) const
{
    // One call, so that the server handles the move before the button: the press lands where the
    // pointer went.
    return run(QStringLiteral("xdotool"),
        {QStringLiteral("mousemove"), QString::number(screen_position.x()), QString::number(screen_position.y()),
            QStringLiteral("click"), QStringLiteral("1")})
        .has_value();
}

bool XSession::press_key(const QString &key) const
{
    return run(QStringLiteral("xdotool"), {QStringLiteral("key"), key}).has_value();
}

QImage XSession::grab(QRect area) const
{
    // The test's own application is connected to this display (see main), and its screen is the
    // whole of it.
    QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return {};
    return screen->grabWindow(0, area.x(), area.y(), area.width(), area.height())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}

}  // namespace e2e
