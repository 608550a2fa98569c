// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "storage/file_system.h"

#include <QString>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace storage {

namespace {

// The system's words for an error, in the language the program runs in.
std::u16string system_text(int error) { return QString::fromLocal8Bit(std::strerror(error)).toStdU16String(); }

}  // namespace

OpenedFile open_regular_file(const std::filesystem::path &path)
{
    OpenedFile opened;
    // Opening a pipe for reading waits for a writer, and opening a device may wait for it, make it
    // the process's terminal or, for a serial port, raise its control lines: what the name stands
    // for is looked at first, and the open itself does not block should the name change meanwhile.
    struct stat status { };
    if (::stat(path.c_str(), &status) == 0 && !S_ISREG(status.st_mode)) {
        opened.outcome = OpenOutcome::NotAFile;
        return opened;
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        opened.reason = system_text(errno);
        return opened;
    }
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        opened.outcome = OpenOutcome::NotAFile;
        return opened;
    }
    // A regular file reads the same either way; blocking reads are what the reader expects.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    opened.outcome = OpenOutcome::Opened;
    opened.descriptor = fd;
    return opened;
}

std::optional<std::u16string> sync_to_disk(int descriptor)
{
    // Some file systems (network disks, quotas) report a full disk only here. EINVAL: a file that
    // cannot be synchronised, which has nothing waiting.
    if (descriptor >= 0 && ::fsync(descriptor) != 0 && errno != EINVAL)
        return system_text(errno);
    return std::nullopt;
}

}  // namespace storage
