// SPDX-FileCopyrightText: 2026 The undou-kaiseki developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "storage/file_io.h"

#include "storage/file_system.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStorageInfo>

namespace storage {

namespace {

// A disk with less room than this left after a write failed is taken to be full: the write is
// what filled it. Smaller than any file we write but the smallest.
constexpr qint64 kFullDiskBytes = 64 * 1024;

// Passes each write on to the file in full: the system may take part of a write and refuse the
// rest only when asked again, and only then says why.
class WholeWrites : public QIODevice {
public:
    explicit WholeWrites(QFileDevice &file) : file_(file) { open(QIODevice::WriteOnly | QIODevice::Unbuffered); }

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 size) override
    {
        qint64 done = 0;
        while (done < size) {
            const qint64 written = file_.write(data + done, size - done);
            if (written <= 0) {
                setErrorString(file_.errorString());
                return -1;
            }
            done += written;
        }
        return done;
    }

private:
    QFileDevice &file_;
};

// Why the save failed, from the system's error and what the folder and its disk look like now,
// taken before the temporary file is removed.
SaveFailure failure_of(const QFileDevice &file, const QString &path, bool earlier_file, const QString &reason)
{
    const QString system_reason
        = !reason.isEmpty() || file.error() == QFileDevice::NoError ? reason : file.errorString();
    SaveFailure failure{SaveProblem::Other, system_reason, earlier_file};
    const QFileInfo folder(QFileInfo(path).absolutePath());
    if (!folder.isDir()) {
        failure.problem = SaveProblem::FolderMissing;
        return failure;
    }
    const QStorageInfo disk(folder.absoluteFilePath());
    if (disk.isValid() && disk.isReadOnly())
        failure.problem = SaveProblem::ReadOnlyDisk;
    else if (file.error() == QFileDevice::ResourceError || (disk.isValid() && disk.bytesAvailable() < kFullDiskBytes))
        failure.problem = SaveProblem::DiskFull;
    else if (!folder.isWritable() || (earlier_file && !QFileInfo(path).isWritable()))
        failure.problem = SaveProblem::NoPermission;
    return failure;
}

// The name as the system takes it: its own encoding on Unix, wide characters on Windows. No
// conversion that could fail.
std::filesystem::path native_path(const QString &path)
{
#ifdef Q_OS_WIN
    return std::filesystem::path(QDir::toNativeSeparators(path).toStdWString());
#else
    return std::filesystem::path(QFile::encodeName(path).toStdString());
#endif
}

}  // namespace

std::optional<SaveFailure> save_whole_file(const QString &path, const std::function<bool(QIODevice &)> &write)
{
    const bool earlier_file = QFileInfo(path).isFile();
    QSaveFile file(path);
    // Unbuffered, each write goes to the system at once and fails there when the disk is full; a
    // buffered one would fail only when the buffer is flushed on commit, which does not notice.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return failure_of(file, path, earlier_file, {});
    WholeWrites whole(file);
    const bool written = write(whole);
    std::optional<std::u16string> sync_failure;
    if (written && file.error() == QFileDevice::NoError && file.flush())
        sync_failure = sync_to_disk(file.handle());
    if (!written || file.error() != QFileDevice::NoError || sync_failure) {
        const SaveFailure failure
            = failure_of(file, path, earlier_file, sync_failure ? QString::fromStdU16String(*sync_failure) : QString());
        // Removes the temporary file, now and on destruction.
        file.cancelWriting();
        return failure;
    }
    if (!file.commit())
        return failure_of(file, path, earlier_file, {});
    return std::nullopt;
}

std::optional<SaveFailure> save_whole_file(const QString &path, const QByteArray &bytes)
{
    return save_whole_file(path, [&bytes](QIODevice &device) { return device.write(bytes) == bytes.size(); });
}

std::optional<QByteArray> read_whole_file(const QString &path, qint64 max_bytes, ReadFailure &failure)
{
    const QFileInfo info(path);
    if (info.exists() && !info.isFile()) {
        failure = {ReadProblem::NotAFile, 0, {}};
        return std::nullopt;
    }
    const OpenedFile opened = open_regular_file(native_path(path));
    if (opened.outcome != OpenOutcome::Opened) {
        const bool not_a_file = opened.outcome == OpenOutcome::NotAFile;
        failure = {
            not_a_file ? ReadProblem::NotAFile : ReadProblem::CannotOpen, 0, QString::fromStdU16String(opened.reason)};
        return std::nullopt;
    }
    QFile file;
    if (!file.open(opened.descriptor, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        failure = {ReadProblem::CannotOpen, 0, file.errorString()};
        return std::nullopt;
    }
    if (file.size() > max_bytes) {
        failure = {ReadProblem::TooLarge, 0, {}};
        return std::nullopt;
    }
    QByteArray bytes = file.read(max_bytes + 1);
    if (bytes.size() > max_bytes) {
        failure = {ReadProblem::TooLarge, 0, {}};
        return std::nullopt;
    }
    if (file.error() != QFileDevice::NoError) {
        failure = {ReadProblem::CannotOpen, 0, file.errorString()};
        return std::nullopt;
    }
    return bytes;
}

ReadResult read_measurement_file(const QString &path)
{
    ReadResult result;
    // A folder, a pipe or a device is refused by its name, before anything could wait on it.
    const QFileInfo info(path);
    if (info.exists() && !info.isFile()) {
        result.failure = {ReadProblem::NotAFile, 0, {}};
        return result;
    }
    const OpenedFile opened = open_regular_file(native_path(path));
    if (opened.outcome != OpenOutcome::Opened) {
        const bool not_a_file = opened.outcome == OpenOutcome::NotAFile;
        result.failure = {
            not_a_file ? ReadProblem::NotAFile : ReadProblem::CannotOpen, 0, QString::fromStdU16String(opened.reason)};
        return result;
    }
    QFile file;
    if (!file.open(opened.descriptor, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        result.failure = {ReadProblem::CannotOpen, 0, file.errorString()};
        return result;
    }
    if (file.size() > kMaxFileBytes) {
        result.failure = {ReadProblem::TooLarge, 0, {}};
        return result;
    }
    return read_measurement_csv(file);
}

}  // namespace storage
