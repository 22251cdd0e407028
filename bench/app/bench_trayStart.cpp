// Start to tray icon: the time from starting Quillory until its icon is viewable in
// the system tray, beside the same time for a minimal Qt program that shows one tray
// icon, measured in turns on the same X server (Xvfb) and tray (trayer).
//
//   bench_trayStart [runs]      (default 15)

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

// Milliseconds from start to a viewable icon of the program's window class in the tray.
double timeToIcon(Display* dpy, const QString& program, const char* cls, const QProcessEnvironment& env)
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer timer;
    timer.start();
    p.start(program, {});
    double ms = -1;
    while (timer.elapsed() < 20000) {
        XSync(dpy, False);
        if (viewableWindowOfClass(dpy, DefaultRootWindow(dpy), cls)) {
            ms = timer.nsecsElapsed() / 1e6;
            break;
        }
        QThread::usleep(500);
    }
    p.terminate();
    if (!p.waitForFinished(5000))
        p.kill();
    p.waitForFinished(2000);
    // Let the tray take the old icon away before the next start.
    for (int i = 0; i < 2000 && viewableWindowOfClass(dpy, DefaultRootWindow(dpy), cls); ++i)
        QThread::usleep(1000);
    return ms;
}

struct Stats
{
    double median, best;
};

Stats stats(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return {v[v.size() / 2], v.front()};
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
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

    // One warm-up of each, so neither pays for cold file caches.
    timeToIcon(dpy, bin + QStringLiteral("/bench_minimalTray"), "bench_minimalTray", env);
    timeToIcon(dpy, quillory, "Quillory", quilloryEnv);
    std::vector<double> minimal, ours;
    for (int i = 0; i < runs; ++i) {
        minimal.push_back(
            timeToIcon(dpy, bin + QStringLiteral("/bench_minimalTray"), "bench_minimalTray", env));
        ours.push_back(timeToIcon(dpy, quillory, "Quillory", quilloryEnv));
    }
    XCloseDisplay(dpy);
    trayer.terminate();
    trayer.waitForFinished(3000);
    xvfb.terminate();
    xvfb.waitForFinished(3000);

    if (std::count(minimal.begin(), minimal.end(), -1.0) || std::count(ours.begin(), ours.end(), -1.0)) {
        std::fprintf(stderr, "an icon never showed\n");
        return 1;
    }
    const Stats m = stats(minimal), q = stats(ours);
    std::printf("start to tray icon, %d runs each (median / best):\n", runs);
    std::printf("  minimal Qt tray program  %7.1f ms / %7.1f ms\n", m.median, m.best);
    std::printf("  Quillory                 %7.1f ms / %7.1f ms\n", q.median, q.best);
    std::printf("  ratio of medians         %7.2f\n", q.median / m.median);
    return 0;
}
