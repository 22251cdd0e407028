// The tilde form: any list of lines comes back unchanged, and any text reads without
// failing into lines that write and read back the same.
#include "fuzzSupport.h"
#include "uTildeText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(bytes), qsizetype(size));
    // The input as lines (split at a byte 0x00) ...
    const QStringList lines = text.split(QChar(0));
    fuzz::check(ReadTildeText(TildeText(lines)) == lines, "lines do not come back", TildeText(lines));
    // ... and as a tilde text written by hand.
    const QStringList read = ReadTildeText(text);
    fuzz::check(ReadTildeText(TildeText(read)) == read, "read lines do not come back", text);
    return 0;
}
