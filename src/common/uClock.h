#pragma once

#include <QDateTime>

#include <functional>

// The program's one source of "now" (local time), replaceable so tests can fix the date.
namespace quillory {
QDateTime now();
// An empty function restores the real clock.
void setClockForTests(std::function<QDateTime()> clock);
} // namespace quillory
