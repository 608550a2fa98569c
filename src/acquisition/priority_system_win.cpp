// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

// On Windows the process takes the high priority class, which any user may set, and the sampling
// thread joins the multimedia class scheduler's "Pro Audio" task, which lifts it above the
// desktop's programs for most of each second. The scheduler lives in avrt.dll, which is looked up
// when it is first needed: a system without it grants the class alone. The wait has already set
// the system timer it needs.

#include "acquisition/run_priority.h"

#include <windows.h>

namespace acquisition {
namespace {

using SetTask = HANDLE(WINAPI *)(LPCWSTR, LPDWORD);
using RevertTask = BOOL(WINAPI *)(HANDLE);

class WindowsPriority final : public PrioritySystem {
public:
    WindowsPriority()
    {
        avrt_ = ::LoadLibraryW(L"avrt.dll");
        if (!avrt_)
            return;
        set_task_ = reinterpret_cast<SetTask>(
            reinterpret_cast<void *>(::GetProcAddress(avrt_, "AvSetMmThreadCharacteristicsW")));
        revert_task_ = reinterpret_cast<RevertTask>(
            reinterpret_cast<void *>(::GetProcAddress(avrt_, "AvRevertMmThreadCharacteristics")));
    }

    ~WindowsPriority() override
    {
        if (avrt_)
            ::FreeLibrary(avrt_);
    }

    WindowsPriority(const WindowsPriority &) = delete;
    WindowsPriority &operator=(const WindowsPriority &) = delete;

    bool raise_priority_class() override
    {
        previous_class_ = ::GetPriorityClass(::GetCurrentProcess());
        if (previous_class_ == 0 || previous_class_ == HIGH_PRIORITY_CLASS
            || previous_class_ == REALTIME_PRIORITY_CLASS)
            return false;
        return ::SetPriorityClass(::GetCurrentProcess(), HIGH_PRIORITY_CLASS) != 0;
    }

    void restore_priority_class() override { ::SetPriorityClass(::GetCurrentProcess(), previous_class_); }

    bool join_pro_audio() override
    {
        if (!set_task_ || !revert_task_)
            return false;
        DWORD task_index = 0;
        task_ = set_task_(L"Pro Audio", &task_index);
        return task_ != nullptr;
    }

    void leave_pro_audio() override
    {
        if (task_)
            revert_task_(task_);
        task_ = nullptr;
    }

private:
    HMODULE avrt_ = nullptr;
    SetTask set_task_ = nullptr;
    RevertTask revert_task_ = nullptr;
    HANDLE task_ = nullptr;
    DWORD previous_class_ = 0;
};

}  // namespace

std::unique_ptr<PrioritySystem> make_system_priority() { return std::make_unique<WindowsPriority>(); }

}  // namespace acquisition
