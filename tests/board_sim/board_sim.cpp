// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The board under simulation, for the tests and the benchmark: the firmware's own .elf runs on a
// simulated ATmega328P, its UART0 bridged to a pseudo-terminal that the program opens as it opens
// a board's USB serial port, and its A0 driven by the simulated cart's strip. The simulation keeps
// to real time, the board's clock running `--clock-ppm` fast.
//
//   undou-board-sim --elf board.elf --link /tmp/board [--clock-ppm 5000] [--eeprom FILE]
//                   [--v0 CM_PER_S] [--accel CM_PER_S2] [--delay S] [--boot-ms 2000]
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
#include <avr_uart.h>
#include <sim_avr.h>
#include <sim_elf.h>
#include <sim_irq.h>
}

#include "converter/simulated_cart.h"

#include <fcntl.h>
#include <pty.h>
#include <sys/inotify.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
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
};

Board *board = nullptr;

double seconds(const Board &b) { return static_cast<double>(b.avr->cycle) / b.cycles_per_s + b.held_s; }

// The program opened the port: DTR restarts the board, its EEPROM kept.
void restart(Board &b)
{
    avr_eeprom_desc_t desc{b.eeprom.data(), 0, static_cast<uint32_t>(b.eeprom.size())};
    avr_ioctl(b.avr, AVR_IOCTL_EEPROM_GET, &desc);
    avr_reset(b.avr);
    avr_ioctl(b.avr, AVR_IOCTL_EEPROM_SET, &desc);
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

}  // namespace

int main(int argc, char **argv)
{
    const std::string elf_path = option(argc, argv, "--elf", "");
    const std::string link = option(argc, argv, "--link", "");
    const std::string eeprom_path = option(argc, argv, "--eeprom", "");
    if (elf_path.empty() || link.empty()) {
        std::fprintf(stderr,
            "usage: %s --elf board.elf --link PATH [--clock-ppm N] [--eeprom FILE] [--v0 V] "
            "[--accel A] [--delay S]\n",
            argv[0]);
        return 2;
    }
    converter::CartMotion motion;
    motion.v0_cm_s = std::atof(option(argc, argv, "--v0", "20").c_str());
    motion.accel_cm_s2 = std::atof(option(argc, argv, "--accel", "60").c_str());
    motion.release_delay_s = std::atof(option(argc, argv, "--delay", "0.05").c_str());
    const double clock_ppm = std::atof(option(argc, argv, "--clock-ppm", "0").c_str());
    const double boot_ms = std::atof(option(argc, argv, "--boot-ms", "2000").c_str());

    elf_firmware_t firmware{};
    if (elf_read_firmware(elf_path.c_str(), &firmware) != 0) {
        std::fprintf(stderr, "cannot read %s\n", elf_path.c_str());
        return 1;
    }
    Board b;
    b.cart = converter::SimulatedCart(motion);
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
        if (seconds(b) < b.booted_at_s)
            b.held_s += std::min(kStretchS, b.booted_at_s - seconds(b));
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
