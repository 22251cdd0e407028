#include "uWriteWhole.h"

#include <QFileDevice>

namespace platform {

bool WriteWhole(QFileDevice& file, QByteArrayView bytes)
{
    qint64 done = 0;
    while (done < bytes.size()) {
        const qint64 n = file.write(bytes.constData() + done, bytes.size() - done);
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

} // namespace platform
