#include "uCommandLine.h"
#include "uProgram.h"

#include <QCoreApplication>

int main(int argc, char** argv)
{
    // The headless options need no display: decided before any widget code runs.
    if (IsCommandLineRun(argc, argv)) {
        QCoreApplication app(argc, argv);
        return RunCommandLine(QCoreApplication::arguments());
    }
    return RunQuillory(argc, argv);
}
