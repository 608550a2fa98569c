// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The board under simulation, for the tests and the benchmark: the firmware's own .elf runs on a
// simulated ATmega328P, its UART0 bridged to a pseudo-terminal that the program opens as it opens
// a board's USB serial port, and its A0 driven by the simulated cart's strip. The sensor's output
// reaches D8 (PB0, Timer1's input capture) too, through the pin's Schmitt trigger: D8 goes high
// where the light rises past `--rise-mv` and low where it falls past `--fall-mv`, at the very cycle
// the cart brings it there; with `--no-d8` nothing is wired to D8, which stays low. The
// simulation keeps to real time, the board's clock running `--clock-ppm` fast.
//
//   undou-board-sim --elf board.elf --link /tmp/board [--clock-ppm 5000] [--eeprom FILE]
//                   [--v0 CM_PER_S] [--accel CM_PER_S2] [--delay S] [--boot-ms 2000]
//                   [--rise-mv 2600] [--fall-mv 2200] [--no-d8]
//
// The program then opens /tmp/board (a link to the pseudo-terminal). Each opening restarts the
// board, as DTR restarts an Uno or a Nano: its boot loader runs `--boot-ms` (2 s unless said),
// passing over every byte that comes meanwhile, and then the firmware starts and greets. Each
// restart is written to standard output as a line "reset", and each run asked for as a line
// "start" with the steady clock's nanoseconds. Ends on SIGTERM or SIGINT, keeping the
// board's EEPROM in FILE.

extern "C" {
#include <avr_adc.h>
#include <avr_eeprom.h>
#include <avr_ioport.h>
#include <avr_uart.h>
#include <sim_avr.h>
#include <sim_cycle_timers.h>
#include <sim_elf.h>
#include <sim_irq.h>
}

#include "converter/simulated_cart.h"

#include <fcntl.h>
#include <pty.h>
#include <sys/inotify.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>
#include <thread>
#include <vector>

namespace {

volatile std::sig_atomic_t stop_asked = 0;
void on_signal(int) { stop_asked = 1; }

// The sensor's output in millivolts for a light level, as A0 sees it: 255 is 5 V.
constexpr double kMillivoltsPerLevel = 5000.0 / 255;

// A change of D8: the seconds from the run's start to it, and the level after it.
struct Crossing {
    double t_s;
    bool high;
};

struct Board {
    avr_t *avr = nullptr;
    int master = -1;
    std::deque<std::uint8_t> to_board;
    bool board_ready = true;  // the UART's input takes another byte
    std::string line;         // the command the program is sending, up to its end
    converter::SimulatedCart cart;
    double start_s = 0;  // the simulated second the last run started at: the cart's release counts from there
    double cycles_per_s = 16e6;
    double boot_s = 2;       // how long the boot loader holds the firmware back after a restart
    double booted_at_s = 0;  // the firmware runs from this second on
    double held_s = 0;       // seconds spent in the boot loader, which the processor did not run
    std::vector<std::uint8_t> eeprom = std::vector<std::uint8_t>(1024, 0xFF);
    bool d8_wired = true;
    std::vector<Crossing> d8_crossings;  // of the cart from its start, in order
    std::size_t d8_next = 0;             // the next of them to come
};

Board *board = nullptr;

double seconds(const Board &b) { return static_cast<double>(b.avr->cycle) / b.cycles_per_s + b.held_s; }

// Where between from_cm and to_cm the light passes `level`, the light monotonic between them.
double position_of_level(const converter::SimulatedCart &cart, double from_cm, double to_cm, double level)
{
    const bool rising = cart.light_level(to_cm) > cart.light_level(from_cm);
    for (int step = 0; step < 60; ++step) {
        const double middle_cm = (from_cm + to_cm) / 2;
        if ((cart.light_level(middle_cm) < level) == rising)
            from_cm = middle_cm;
        else
            to_cm = middle_cm;
    }
    return (from_cm + to_cm) / 2;
}

// D8's changes as the cart runs the strip forward from its start. The pin's Schmitt trigger goes
// high only once the light passes the upper threshold and low only once it falls below the lower
// one, so a hole makes a rise where its leading edge's ramp passes the one and a fall where its
// trailing edge's ramp passes the other (with the usual thresholds, both a little past the edge),
// and a hole too dim for the upper threshold makes neither.
std::vector<Crossing> d8_crossings(const converter::SimulatedCart &cart, double rise_mv, double fall_mv)
{
    const double rise_level = rise_mv / kMillivoltsPerLevel;
    const double fall_level = fall_mv / kMillivoltsPerLevel;
    std::vector<Crossing> crossings;
    bool high = cart.light_level(0) > rise_level;
    for (int k = 0; k < cart.hole_count(); ++k) {
        if (!cart.has_hole(k))
            continue;
        // The light is monotonic from the middle of the gap before an edge to the middle of the
        // hole, and from there to the middle of the gap after.
        const double leading_cm = cart.hole_leading_edge_cm(k);
        const double trailing_cm = cart.hole_trailing_edge_cm(k);
        const double middle_cm = (leading_cm + trailing_cm) / 2;
        const double gap_before_cm = (k > 0 ? leading_cm - cart.hole_trailing_edge_cm(k - 1) : leading_cm) / 2;
        const double gap_after_cm = (cart.hole_leading_edge_cm(k + 1) - trailing_cm) / 2;
        if (!high && cart.light_level(middle_cm) > rise_level) {
            const double t_s
                = cart.time_at_position(position_of_level(cart, leading_cm - gap_before_cm, middle_cm, rise_level));
            if (t_s < 0)
                break;
            crossings.push_back({t_s, true});
            high = true;
        }
        if (high && cart.light_level(trailing_cm + gap_after_cm) < fall_level) {
            const double t_s
                = cart.time_at_position(position_of_level(cart, middle_cm, trailing_cm + gap_after_cm, fall_level));
            if (t_s < 0)
                break;
            crossings.push_back({t_s, false});
            high = false;
        }
    }
    return crossings;
}

void set_d8(Board &b, bool high)
{
    avr_irq_t *pin = avr_io_getirq(b.avr, AVR_IOCTL_IOPORT_GETIRQ('B'), 0);
    if ((pin->value != 0) != high)
        avr_raise_irq(pin, high ? 1 : 0);
}

// The cycle at which the cart is `t_s` from its start.
avr_cycle_count_t cycle_at(const Board &b, double t_s)
{
    return static_cast<avr_cycle_count_t>(std::ceil((b.start_s + t_s - b.held_s) * b.cycles_per_s));
}

avr_cycle_count_t d8_change(avr_t *, avr_cycle_count_t when, void *param)
{
    Board &b = *static_cast<Board *>(param);
    set_d8(b, b.d8_crossings[b.d8_next].high);
    if (++b.d8_next == b.d8_crossings.size())
        return 0;
    return std::max(when + 1, cycle_at(b, b.d8_crossings[b.d8_next].t_s));
}

// Sets D8 to the level the cart gives it now and waits for its next change. Called when the cart
// starts afresh and when the firmware starts to run, the seconds then mapping onto cycles anew.
void follow_d8(Board &b)
{
    avr_cycle_timer_cancel(b.avr, d8_change, &b);
    if (!b.d8_wired)
        return;
    const double t_s = seconds(b) - b.start_s;
    const auto next = std::find_if(
        b.d8_crossings.begin(), b.d8_crossings.end(), [t_s](const Crossing &crossing) { return crossing.t_s > t_s; });
    b.d8_next = static_cast<std::size_t>(next - b.d8_crossings.begin());
    set_d8(b, b.d8_next > 0 && b.d8_crossings[b.d8_next - 1].high);
    if (next != b.d8_crossings.end())
        avr_cycle_timer_register(
            b.avr, std::max<avr_cycle_count_t>(1, cycle_at(b, next->t_s) - b.avr->cycle), d8_change, &b);
}

// The program opened the port: DTR restarts the board, its EEPROM kept.
void restart(Board &b)
{
    avr_eeprom_desc_t desc{b.eeprom.data(), 0, static_cast<uint32_t>(b.eeprom.size())};
    avr_ioctl(b.avr, AVR_IOCTL_EEPROM_GET, &desc);
    avr_reset(b.avr);
    avr_ioctl(b.avr, AVR_IOCTL_EEPROM_SET, &desc);
    // The reset clears PINB, not the pin's own level: D8 is set again when the firmware starts.
    avr_cycle_timer_cancel(b.avr, d8_change, &b);
    set_d8(b, false);
    b.to_board.clear();
    b.line.clear();
    b.board_ready = true;
    b.booted_at_s = seconds(b) + b.boot_s;
    std::printf("reset\n");
    std::fflush(stdout);
}

// Whether the pseudo-terminal's other end was opened since the last look.
bool opened(int watch)
{
    alignas(inotify_event) char events[4096];
    bool any = false;
    for (;;) {
        const ssize_t got = read(watch, events, sizeof events);
        if (got <= 0)
            return any;
        for (ssize_t at = 0; at < got;) {
            const auto *event = reinterpret_cast<const inotify_event *>(events + at);
            any = any || (event->mask & IN_OPEN) != 0;
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
}

void from_board(avr_irq_t *, uint32_t value, void *)
{
    const auto byte = static_cast<std::uint8_t>(value);
    // Bytes the program does not take are dropped, as a USB serial port's do.
    [[maybe_unused]] const ssize_t written = write(board->master, &byte, 1);
}

void input_ready(avr_irq_t *, uint32_t, void *) { board->board_ready = true; }
void input_full(avr_irq_t *, uint32_t, void *) { board->board_ready = false; }

// The sensor's voltage at the instant the board starts a conversion.
void conversion(avr_irq_t *, uint32_t, void *)
{
    const double t = seconds(*board) - board->start_s;
    const int reading = board->cart.sensor_reading(t);
    const auto millivolts = static_cast<std::uint32_t>(std::max(0, reading) * 5000 / 255);
    avr_raise_irq(avr_io_getirq(board->avr, AVR_IOCTL_ADC_GETIRQ, ADC_IRQ_ADC0), millivolts);
}

// The simulator's own sleep waits on the wall clock; the loop below keeps to real time instead.
void no_sleep(avr_t *, avr_cycle_count_t) { }

void feed(Board &b)
{
    std::uint8_t bytes[256];
    const ssize_t got = read(b.master, bytes, sizeof bytes);
    // The boot loader takes them.
    if (seconds(b) < b.booted_at_s)
        return;
    for (ssize_t i = 0; i < got; ++i)
        b.to_board.push_back(bytes[i]);
    while (b.board_ready && !b.to_board.empty()) {
        const std::uint8_t byte = b.to_board.front();
        b.to_board.pop_front();
        // A start command restarts the cart, as opening the simulated converter does.
        if (byte == '\n') {
            if (b.line.rfind("S ", 0) == 0) {
                b.start_s = seconds(b);
                b.cart.restart();
                follow_d8(b);
                // When the run was asked for, on the steady clock that other processes read too.
                const auto now = std::chrono::steady_clock::now().time_since_epoch();
                std::printf("start %lld\n",
                    static_cast<long long>(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count()));
                std::fflush(stdout);
            }
            b.line.clear();
        } else {
            b.line += static_cast<char>(byte);
        }
        avr_raise_irq(avr_io_getirq(b.avr, AVR_IOCTL_UART_GETIRQ('0'), UART_IRQ_INPUT), byte);
    }
}

std::string option(int argc, char **argv, const char *name, const char *fallback)
{
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], name) == 0)
            return argv[i + 1];
    return fallback;
}

bool flag(int argc, char **argv, const char *name)
{
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], name) == 0)
            return true;
    return false;
}

}  // namespace

int main(int argc, char **argv)
{
    const std::string elf_path = option(argc, argv, "--elf", "");
    const std::string link = option(argc, argv, "--link", "");
    const std::string eeprom_path = option(argc, argv, "--eeprom", "");
    if (elf_path.empty() || link.empty()) {
        std::fprintf(stderr,
            "usage: %s --elf board.elf --link PATH [--clock-ppm N] [--eeprom FILE] [--v0 V] "
            "[--accel A] [--delay S] [--boot-ms MS] [--rise-mv MV] [--fall-mv MV] [--no-d8]\n",
            argv[0]);
        return 2;
    }
    converter::CartMotion motion;
    motion.v0_cm_s = std::atof(option(argc, argv, "--v0", "20").c_str());
    motion.accel_cm_s2 = std::atof(option(argc, argv, "--accel", "60").c_str());
    motion.release_delay_s = std::atof(option(argc, argv, "--delay", "0.05").c_str());
    const double clock_ppm = std::atof(option(argc, argv, "--clock-ppm", "0").c_str());
    const double boot_ms = std::atof(option(argc, argv, "--boot-ms", "2000").c_str());
    // An ATmega328P's input at 5 V reads high once it rises past about 2.6 V and low once it falls
    // below about 2.2 V: the typical thresholds at room temperature, with the pin's hysteresis of
    // about 0.4 V between them. Only the guaranteed limits are wider: high from 0.6 VCC (3.0 V) at
    // the latest, low below 0.3 VCC (1.5 V).
    const double rise_mv = std::atof(option(argc, argv, "--rise-mv", "2600").c_str());
    const double fall_mv = std::atof(option(argc, argv, "--fall-mv", "2200").c_str());
    if (!(fall_mv < rise_mv)) {
        std::fprintf(stderr, "--fall-mv must be below --rise-mv\n");
        return 2;
    }

    elf_firmware_t firmware{};
    if (elf_read_firmware(elf_path.c_str(), &firmware) != 0) {
        std::fprintf(stderr, "cannot read %s\n", elf_path.c_str());
        return 1;
    }
    Board b;
    b.cart = converter::SimulatedCart(motion);
    b.d8_wired = !flag(argc, argv, "--no-d8");
    b.d8_crossings = d8_crossings(b.cart, rise_mv, fall_mv);
    board = &b;
    b.avr = avr_make_mcu_by_name("atmega328p");
    if (!b.avr)
        return 1;
    avr_init(b.avr);
    b.avr->frequency = 16000000;
    b.avr->vcc = b.avr->avcc = b.avr->aref = 5000;
    avr_load_firmware(b.avr, &firmware);
    b.avr->sleep = no_sleep;
    // The board's crystal or resonator runs this much fast against real time.
    b.cycles_per_s = 16e6 * (1 + clock_ppm * 1e-6);
    b.boot_s = boot_ms / 1000;

    std::vector<std::uint8_t> &eeprom = b.eeprom;
    if (!eeprom_path.empty())
        if (FILE *file = std::fopen(eeprom_path.c_str(), "rb")) {
            [[maybe_unused]] const std::size_t got = std::fread(eeprom.data(), 1, eeprom.size(), file);
            std::fclose(file);
            avr_eeprom_desc_t desc{eeprom.data(), 0, static_cast<uint32_t>(eeprom.size())};
            avr_ioctl(b.avr, AVR_IOCTL_EEPROM_SET, &desc);
        }

    // UART0 to a pseudo-terminal, in raw mode, the board's bytes never printed.
    int slave = -1;
    char name[256] = {};
    if (openpty(&b.master, &slave, name, nullptr, nullptr) != 0)
        return 1;
    termios raw{};
    tcgetattr(slave, &raw);
    cfmakeraw(&raw);
    tcsetattr(slave, TCSANOW, &raw);
    fcntl(b.master, F_SETFL, fcntl(b.master, F_GETFL) | O_NONBLOCK);
    std::uint32_t flags = 0;
    avr_ioctl(b.avr, AVR_IOCTL_UART_GET_FLAGS('0'), &flags);
    flags &= ~AVR_UART_FLAG_STDIO;
    avr_ioctl(b.avr, AVR_IOCTL_UART_SET_FLAGS('0'), &flags);
    avr_irq_register_notify(avr_io_getirq(b.avr, AVR_IOCTL_UART_GETIRQ('0'), UART_IRQ_OUTPUT), from_board, nullptr);
    avr_irq_register_notify(avr_io_getirq(b.avr, AVR_IOCTL_UART_GETIRQ('0'), UART_IRQ_OUT_XON), input_ready, nullptr);
    avr_irq_register_notify(avr_io_getirq(b.avr, AVR_IOCTL_UART_GETIRQ('0'), UART_IRQ_OUT_XOFF), input_full, nullptr);
    avr_irq_register_notify(avr_io_getirq(b.avr, AVR_IOCTL_ADC_GETIRQ, ADC_IRQ_OUT_TRIGGER), conversion, nullptr);
    // Every opening of the other end, as DTR would tell the board.
    const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (watch < 0 || inotify_add_watch(watch, name, IN_OPEN) < 0) {
        std::perror(name);
        return 1;
    }
    unlink(link.c_str());
    if (symlink(name, link.c_str()) != 0) {
        std::perror(link.c_str());
        return 1;
    }
    // The cart runs from the simulation's start until the first run starts it afresh.
    follow_d8(b);
    std::signal(SIGTERM, on_signal);
    std::signal(SIGINT, on_signal);
    std::printf("%s\n", name);
    std::fflush(stdout);

    // Real time: run a stretch of simulated time, then wait for the wall clock to catch up.
    const auto start = std::chrono::steady_clock::now();
    constexpr double kStretchS = 200e-6;
    double next_s = kStretchS;
    while (!stop_asked) {
        if (opened(watch))
            restart(b);
        // In the boot loader the firmware does not run: the time passes without it.
        if (seconds(b) < b.booted_at_s) {
            b.held_s += std::min(kStretchS, b.booted_at_s - seconds(b));
            if (seconds(b) >= b.booted_at_s)
                follow_d8(b);
        }
        while (seconds(b) < next_s && seconds(b) >= b.booted_at_s) {
            const int state = avr_run(b.avr);
            if (state == cpu_Done || state == cpu_Crashed) {
                std::fprintf(stderr, "the board stopped (state %d)\n", state);
                stop_asked = 1;
                break;
            }
        }
        feed(b);
        next_s += kStretchS;
        const auto due = start + std::chrono::duration<double>(next_s - kStretchS);
        if (std::chrono::steady_clock::now() < due)
            std::this_thread::sleep_until(due);
    }
    unlink(link.c_str());
    if (!eeprom_path.empty()) {
        avr_eeprom_desc_t desc{eeprom.data(), 0, static_cast<uint32_t>(eeprom.size())};
        avr_ioctl(b.avr, AVR_IOCTL_EEPROM_GET, &desc);
        if (FILE *file = std::fopen(eeprom_path.c_str(), "wb")) {
            std::fwrite(desc.ee, 1, eeprom.size(), file);
            std::fclose(file);
        }
    }
    close(watch);
    close(slave);
    close(b.master);
    return 0;
}
