// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

// Elsewhere a run keeps the standing the program was started with.

#include "acquisition/run_priority.h"

namespace acquisition {

std::unique_ptr<PrioritySystem> make_system_priority() { return nullptr; }

}  // namespace acquisition
