// Start to tray icon and to idle: the time from starting Quillory until its icon is
// viewable in the system tray, and the CPU time and memory it has used once it has gone
// idle, beside the same figures for a minimal Qt program that shows one tray icon with a
// menu, measured in turns on the same X server (Xvfb) and tray (trayer). Quillory runs
// with an empty favourites store and with one of 10,000 queries in 100 folders.
//
//   bench_trayStart [runs]      (default 15)
//   bench_trayStart --write-store FOLDER
//                               only writes the 10,000-query store into FOLDER, for
//                               profiling a start by hand

#include "benchFavourites.h"
#include "benchSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// Windows come and go while the tree is walked: a vanished one is no error.
int ignoreXErrors(Display*, XErrorEvent*)
{
    return 0;
}

bool viewableWindowOfClass(Display* dpy, Window w, const char* cls)
{
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(dpy, w, &attributes) || attributes.map_state != IsViewable)
        return false;
    XClassHint hint;
    if (XGetClassHint(dpy, w, &hint)) {
        const bool match = hint.res_class && qstrcmp(hint.res_class, cls) == 0;
        XFree(hint.res_name);
        XFree(hint.res_class);
        // Only a window inside the tray counts: its parent is not the root.
        Window root, parent, *children = nullptr;
        unsigned int n = 0;
        if (match && XQueryTree(dpy, w, &root, &parent, &children, &n)) {
            if (children)
                XFree(children);
            if (parent != root)
                return true;
        }
    }
    Window root, parent, *children = nullptr;
    unsigned int n = 0;
    if (!XQueryTree(dpy, w, &root, &parent, &children, &n))
        return false;
    bool found = false;
    for (unsigned int i = 0; i < n && !found; ++i)
        found = viewableWindowOfClass(dpy, children[i], cls);
    if (children)
        XFree(children);
    return found;
}

// CPU time of every thread of a process so far, in nanoseconds (the scheduler's own
// count, finer than the tick counts of /proc/PID/stat).
qint64 cpuNs(qint64 pid)
{
    qint64 total = 0;
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile f(tasks.filePath(task + QStringLiteral("/schedstat")));
        if (f.open(QIODevice::ReadOnly))
            total += f.readAll().split(' ').value(0).toLongLong();
    }
    return total;
}

qint64 rssBytes(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong() * 1024;
    return 0;
}

struct Figures
{
    double iconMs = -1; // start to a viewable icon
    double cpuMs = 0;   // CPU used until idle
    double rssMB = 0;   // resident memory once idle
};

// From start to a viewable icon of the program's window class in the tray, then on until
// the program has used no CPU for 300 ms.
Figures startToIdle(Display* dpy, const QString& program, const char* cls, const QProcessEnvironment& env)
{
    Figures figures;
    QProcess p;
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer timer;
    timer.start();
    p.start(program, {});
    while (timer.elapsed() < 20000) {
        XSync(dpy, False);
        if (viewableWindowOfClass(dpy, DefaultRootWindow(dpy), cls)) {
            figures.iconMs = timer.nsecsElapsed() / 1e6;
            break;
        }
        QThread::usleep(500);
    }
    const qint64 pid = p.processId();
    qint64 last = cpuNs(pid);
    for (int quiet = 0; quiet < 6 && timer.elapsed() < 30000;) {
        QThread::msleep(50);
        const qint64 now = cpuNs(pid);
        quiet = now - last < 200000 ? quiet + 1 : 0;
        last = now;
    }
    figures.cpuMs = last / 1e6;
    figures.rssMB = rssBytes(pid) / 1e6;
    p.terminate();
    if (!p.waitForFinished(5000))
        p.kill();
    p.waitForFinished(2000);
    // Let the tray take the old icon away before the next start.
    for (int i = 0; i < 2000 && viewableWindowOfClass(dpy, DefaultRootWindow(dpy), cls); ++i)
        QThread::usleep(1000);
    return figures;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 3 && qstrcmp(argv[1], "--write-store") == 0) {
        bench::writeFavourites(QString::fromLocal8Bit(argv[2]), bench::makeFavourites(100, 10000));
        return 0;
    }
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 15;
    const QString bin = QCoreApplication::applicationDirPath();

    QProcess xvfb;
    xvfb.start(QStringLiteral("Xvfb"),
               {"-displayfd", "1", "-screen", "0", "1280x800x24", "-nolisten", "tcp"});
    if (!xvfb.waitForStarted(5000) || !xvfb.waitForReadyRead(10000)) {
        std::fprintf(stderr, "Xvfb cannot start here\n");
        return 2;
    }
    const QString display = u':' + QString::fromLatin1(xvfb.readAllStandardOutput().trimmed());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display);
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("disabled:"));
    QTemporaryDir runtime;
    QFile::setPermissions(runtime.path(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());

    QProcess trayer;
    trayer.setProcessEnvironment(env);
    trayer.start(QStringLiteral("trayer"), {"--edge", "bottom", "--align", "right", "--widthtype", "pixel",
                                            "--width", "200", "--heighttype", "pixel", "--height", "32"});
    XSetErrorHandler(ignoreXErrors);
    Display* dpy = XOpenDisplay(display.toLatin1().constData());
    if (!trayer.waitForStarted(5000) || !dpy) {
        std::fprintf(stderr, "no tray on %s\n", qPrintable(display));
        return 2;
    }
    QThread::msleep(500);

    // Quillory keeps its favourites beside itself: run a copy in a folder of its own.
    QTemporaryDir home;
    QDir().mkpath(home.filePath(QStringLiteral("bin")));
    const QString quillory = home.filePath(QStringLiteral("bin/Quillory"));
    QFile::copy(bin + QStringLiteral("/Quillory"), quillory);
    QFile::copy(bin + QStringLiteral("/Quillory.chm"), home.filePath(QStringLiteral("bin/Quillory.chm")));
    QProcessEnvironment quilloryEnv = env;
    quilloryEnv.insert(QStringLiteral("HOME"), home.path());
    quilloryEnv.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));

    // The same copy with a large store beside it.
    QTemporaryDir bigHome;
    QDir().mkpath(bigHome.filePath(QStringLiteral("bin")));
    const QString bigQuillory = bigHome.filePath(QStringLiteral("bin/Quillory"));
    QFile::copy(bin + QStringLiteral("/Quillory"), bigQuillory);
    QFile::copy(bin + QStringLiteral("/Quillory.chm"), bigHome.filePath(QStringLiteral("bin/Quillory.chm")));
    bench::writeFavourites(bigHome.filePath(QStringLiteral("bin")), bench::makeFavourites(100, 10000));
    QProcessEnvironment bigEnv = quilloryEnv;
    bigEnv.insert(QStringLiteral("HOME"), bigHome.path());
    bigEnv.insert(QStringLiteral("XDG_CONFIG_HOME"), bigHome.filePath(QStringLiteral("config")));

    const QString minimalProgram = bin + QStringLiteral("/bench_minimalTray");
    // One warm-up of each, so none pays for cold file caches.
    startToIdle(dpy, minimalProgram, "bench_minimalTray", env);
    startToIdle(dpy, quillory, "Quillory", quilloryEnv);
    startToIdle(dpy, bigQuillory, "Quillory", bigEnv);
    std::vector<Figures> minimal, empty, big;
    for (int i = 0; i < runs; ++i) {
        minimal.push_back(startToIdle(dpy, minimalProgram, "bench_minimalTray", env));
        empty.push_back(startToIdle(dpy, quillory, "Quillory", quilloryEnv));
        big.push_back(startToIdle(dpy, bigQuillory, "Quillory", bigEnv));
    }
    XCloseDisplay(dpy);
    trayer.terminate();
    trayer.waitForFinished(3000);
    xvfb.terminate();
    xvfb.waitForFinished(3000);

    for (const auto* set : {&minimal, &empty, &big})
        for (const Figures& f : *set)
            if (f.iconMs < 0) {
                std::fprintf(stderr, "an icon never showed\n");
                return 1;
            }
    const auto med = [](const std::vector<Figures>& v, double Figures::*field) {
        std::vector<double> values;
        for (const Figures& f : v)
            values.push_back(f.*field);
        return bench::median(values);
    };
    std::printf("start to tray icon and to idle, %d runs each (medians):\n", runs);
    std::printf("  %-34s %9s %9s %9s\n", "", "icon ms", "CPU ms", "RSS MB");
    const auto row = [&](const char* name, const std::vector<Figures>& v) {
        std::printf("  %-34s %9.1f %9.1f %9.1f\n", name, med(v, &Figures::iconMs), med(v, &Figures::cpuMs),
                    med(v, &Figures::rssMB));
    };
    row("minimal Qt tray program", minimal);
    row("Quillory, empty store", empty);
    row("Quillory, 10,000 queries", big);
    const double m = med(minimal, &Figures::cpuMs);
    std::printf("  CPU to idle / minimal: empty store %.2f x, 10,000 queries %.2f x\n",
                med(empty, &Figures::cpuMs) / m, med(big, &Figures::cpuMs) / m);
    // Each round's three starts run back to back: their ratio is less at the mercy of a
    // machine whose speed drifts over the run than the ratio of the medians.
    const auto pairedRatio = [&](const std::vector<Figures>& v) {
        std::vector<double> ratios;
        for (std::size_t i = 0; i < v.size(); ++i)
            ratios.push_back(v[i].cpuMs / minimal[i].cpuMs);
        return bench::median(ratios);
    };
    std::printf("  the same, median of each round's own ratio: empty store %.2f x, 10,000 queries %.2f x\n",
                pairedRatio(empty), pairedRatio(big));
    std::printf("  memory beyond the minimal program: empty store %+.1f MB, 10,000 queries %+.1f MB\n",
                med(empty, &Figures::rssMB) - med(minimal, &Figures::rssMB),
                med(big, &Figures::rssMB) - med(minimal, &Figures::rssMB));
    return 0;
}
