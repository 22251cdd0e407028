#pragma once

// What the harnesses share: a Qt application object for the units that want one, and a
// check that stops the run with a message (libFuzzer then saves the input).

#include <QCoreApplication>
#include <QString>

#include <cstdio>
#include <cstdlib>

namespace fuzz {

inline void ensureApplication()
{
    static int argc = 1;
    static char name[] = "quillory-fuzz";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* app = QCoreApplication::instance() ? nullptr : new QCoreApplication(argc, argv);
    (void)app;
}

[[noreturn]] inline void fail(const char* what, const QString& detail = {})
{
    std::fprintf(stderr, "FUZZ CHECK FAILED: %s\n%s\n", what, qPrintable(detail));
    std::abort();
}

inline void check(bool ok, const char* what, const QString& detail = {})
{
    if (!ok)
        fail(what, detail);
}

} // namespace fuzz
