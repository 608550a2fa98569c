// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// Things in the file system that are not files, for tests of what the program refuses to open: a
// named pipe, which a reader would wait on for a writer, and the system's null device.

#include <QFile>
#include <QString>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#endif

namespace test_support {

// A named pipe with no writer, for as long as the object lives. On Linux it is made at the path
// given; Windows keeps its pipes in a namespace of their own, and the path is changed to the pipe's.
class NamedPipe {
public:
    explicit NamedPipe(QString &path)
    {
#ifdef _WIN32
        path = QStringLiteral("\\\\.\\pipe\\undou-kaiseki-test-%1").arg(GetCurrentProcessId());
        handle_ = CreateNamedPipeW(reinterpret_cast<const wchar_t *>(path.utf16()), PIPE_ACCESS_DUPLEX,
            PIPE_TYPE_BYTE | PIPE_WAIT, 1, 4096, 4096, 0, nullptr);
        made_ = handle_ != INVALID_HANDLE_VALUE;
#else
        made_ = ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
#endif
    }
    ~NamedPipe()
    {
#ifdef _WIN32
        if (made_)
            CloseHandle(handle_);
#endif
    }
    NamedPipe(const NamedPipe &) = delete;
    NamedPipe &operator=(const NamedPipe &) = delete;

    bool made() const { return made_; }

private:
    bool made_ = false;
#ifdef _WIN32
    HANDLE handle_ = INVALID_HANDLE_VALUE;
#endif
};

// The system's null device: a device, not a file.
inline QString null_device()
{
#ifdef _WIN32
    return QStringLiteral("NUL");
#else
    return QStringLiteral("/dev/null");
#endif
}

}  // namespace test_support
