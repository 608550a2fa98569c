// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The board of 運動の解析: open this folder in the Arduino IDE, choose the board (Arduino Uno or
// Arduino Nano, ATmega328P) and its port, and upload. The code is in board.c beside this file,
// which has its own main() and uses nothing of the Arduino core.
