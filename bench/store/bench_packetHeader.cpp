// Reading a favourites file whose header lists many fields (a hostile folders.xml):
// the reader's time per field must stay flat as the header grows. Prints the median
// time for 5,000 to 100,000 fields and the time per field; asserts nothing.
#include "uDataPacket.h"

#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

QByteArray header(int fields)
{
    QByteArray text = "<?xml version=\"1.0\" standalone=\"yes\"?><DATAPACKET Version=\"2.0\"><METADATA><FIELDS>";
    for (int i = 0; i < fields; ++i)
        text += "<FIELD attrname=\"Field" + QByteArray::number(i) + "\" fieldtype=\"string\" WIDTH=\"1\"/>";
    text += "</FIELDS><PARAMS/></METADATA><ROWDATA><ROW Field0=\"a\" Field" + QByteArray::number(fields - 1) +
            "=\"z\"/></ROWDATA></DATAPACKET>";
    return text;
}

} // namespace

int main()
{
    std::printf("%10s %10s %12s %14s\n", "fields", "bytes", "median ms", "ns per field");
    for (int fields : {5000, 20000, 40000, 100000}) {
        const QByteArray text = header(fields);
        std::vector<double> times;
        for (int run = 0; run < 5; ++run) {
            QElapsedTimer t;
            t.start();
            const datapacket::Packet p = datapacket::parsePacket(text);
            times.push_back(t.nsecsElapsed() / 1e6);
            if (p.fields.size() != fields || p.rows.size() != 1)
                return 1;
        }
        std::sort(times.begin(), times.end());
        const double ms = times[times.size() / 2];
        std::printf("%10d %10lld %12.1f %14.0f\n", fields, static_cast<long long>(text.size()), ms,
                    ms * 1e6 / fields);
    }
    return 0;
}
