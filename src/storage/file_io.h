#pragma once

// Files written whole or not at all, and measurement files read with a bound on their size.

#include "storage/measurement_csv.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

class QIODevice;

namespace storage {

// Writes through a temporary file in the same folder that takes the place of `path` only once it
// is complete: a failure leaves any earlier file of that name as it was. `write` puts the content
// into the device and returns false when it could not. Returns the system's reason on failure.
std::optional<QString> save_whole_file(const QString &path, const std::function<bool(QIODevice &)> &write);
std::optional<QString> save_whole_file(const QString &path, const QByteArray &bytes);

// Reads and parses a measurement file; a file larger than kMaxFileBytes is refused unread.
ReadResult read_measurement_file(const QString &path);

}  // namespace storage
