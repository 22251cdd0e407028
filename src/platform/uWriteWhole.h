#pragma once

#include <QByteArrayView>

class QFileDevice;

namespace platform {

// Writes all of bytes to file, which must be open Unbuffered (a buffered device reports
// a write as done before the system has taken it). A short write (a full disk, a file
// size limit) is followed by another for the rest, so that a failure ends with the
// system's reason in file.errorString(). QSaveFile would otherwise commit the short file.
// True when every byte was written.
bool WriteWhole(QFileDevice& file, QByteArrayView bytes);

} // namespace platform
