#pragma once

#include <QString>

#include <functional>

class QWidget;

// What a long piece of work shows while it runs.
struct TProgressRun
{
    QString what;                    // the first line, e.g. "Fetching rows..."
    std::function<QString()> status; // the second, read on the interface thread ("1,200 rows fetched")
    std::function<void()> cancel;    // asks the work to stop; called on the interface thread
};

// Runs work on a worker thread while the calling interface thread keeps handling events,
// so windows repaint, and returns once the work has ended; an exception of the work is
// raised here. The controls of the window over (when shown) are disabled meanwhile.
// When the work takes longer than half a second, a small window ("frmProgress") over it
// shows the status, the time taken and Cancel; Cancel, closing that window, or the
// application quitting call cancel (again now and then until the work ends, for work
// that had not reached the point where it listens). The work must not touch widgets.
void RunWithProgress(QWidget* over, const TProgressRun& run, const std::function<void()>& work);

namespace progressrun {
// How long work runs before its window shows, in milliseconds (500); returns the old
// value. Tests shorten it.
int setShowDelay(int ms);
} // namespace progressrun
