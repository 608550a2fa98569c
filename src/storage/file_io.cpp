#include "storage/file_io.h"

#include <QFile>
#include <QSaveFile>

namespace storage {

std::optional<QString> save_whole_file(const QString &path, const std::function<bool(QIODevice &)> &write)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    if (!write(file)) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return reason;
    }
    if (!file.commit())
        return file.errorString();
    return std::nullopt;
}

std::optional<QString> save_whole_file(const QString &path, const QByteArray &bytes)
{
    return save_whole_file(path, [&bytes](QIODevice &device) { return device.write(bytes) == bytes.size(); });
}

ReadResult read_measurement_file(const QString &path)
{
    ReadResult result;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        result.failure = {ReadProblem::CannotOpen, 0, file.errorString()};
        return result;
    }
    if (file.size() > kMaxFileBytes) {
        result.failure = {ReadProblem::TooLarge, 0, {}};
        return result;
    }
    // One byte past the bound tells a file that grew since its size was taken.
    const QByteArray bytes = file.read(kMaxFileBytes + 1);
    if (bytes.size() > kMaxFileBytes) {
        result.failure = {ReadProblem::TooLarge, 0, {}};
        return result;
    }
    if (file.error() != QFileDevice::NoError) {
        result.failure = {ReadProblem::CannotOpen, 0, file.errorString()};
        return result;
    }
    return parse_measurement_csv(bytes);
}

}  // namespace storage
