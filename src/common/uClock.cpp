#include "uClock.h"

namespace quillory {
namespace {
std::function<QDateTime()>& clock()
{
    static std::function<QDateTime()> c;
    return c;
}
} // namespace

QDateTime now() { return clock() ? clock()() : QDateTime::currentDateTime(); }

void setClockForTests(std::function<QDateTime()> c) { clock() = std::move(c); }
} // namespace quillory
