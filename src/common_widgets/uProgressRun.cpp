#include "uProgressRun.h"

#include "uWidgets.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

#include <atomic>
#include <exception>
#include <thread>
#include <vector>

namespace {

int gShowDelay = 500;
constexpr int kCancelRepeatMs = 500; // a cancel is sent again this often

// The progress window: its close box is Cancel.
class TProgressDialog : public QDialog
{
public:
    TProgressDialog(QWidget* parent, const QString& what) : QDialog(parent)
    {
        setObjectName(QStringLiteral("frmProgress"));
        setWindowFlag(Qt::WindowContextHelpButtonHint, false);
        auto* layout = new QVBoxLayout(this);
        lblWhat = new QLabel(what, this);
        lblWhat->setObjectName(QStringLiteral("lblWhat"));
        lblProgress = new QLabel(this);
        lblProgress->setObjectName(QStringLiteral("lblProgress"));
        lblElapsed = new QLabel(this);
        lblElapsed->setObjectName(QStringLiteral("lblElapsed"));
        btnCancel = MakeButton(this, "btnCancel", QStringLiteral("Cancel"));
        layout->addWidget(lblWhat);
        layout->addWidget(lblProgress);
        layout->addWidget(lblElapsed);
        layout->addWidget(btnCancel, 0, Qt::AlignHCenter);
        setMinimumWidth(280);
    }

    QLabel* lblWhat;
    QLabel* lblProgress;
    QLabel* lblElapsed;
    QPushButton* btnCancel;
    std::function<void()> onCancel;

protected:
    void reject() override
    {
        if (onCancel)
            onCancel();
    }
    void closeEvent(QCloseEvent* event) override
    {
        event->ignore();
        reject();
    }
};

QString elapsedText(qint64 ms)
{
    const qint64 s = ms / 1000;
    return QStringLiteral("Elapsed %1:%2").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
}

// Disables the controls of a shown window for a while (its child windows stay usable).
class TControlsDisabled
{
public:
    explicit TControlsDisabled(QWidget* window)
    {
        if (!window || !window->isVisible())
            return;
        for (QWidget* w : window->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            if (!w->isWindow() && w->isEnabled()) {
                w->setEnabled(false);
                m_disabled.emplace_back(w);
            }
    }
    ~TControlsDisabled()
    {
        for (const QPointer<QWidget>& w : m_disabled)
            if (w)
                w->setEnabled(true);
    }

private:
    std::vector<QPointer<QWidget>> m_disabled;
};

} // namespace

namespace progressrun {
int setShowDelay(int ms)
{
    const int old = gShowDelay;
    gShowDelay = ms;
    return old;
}
} // namespace progressrun

void RunWithProgress(QWidget* over, const TProgressRun& run, const std::function<void()>& work)
{
    std::exception_ptr error;
    std::atomic<bool> done{false};
    QEventLoop loop;
    const TControlsDisabled disabled(over);

    std::thread worker([&] {
        try {
            work();
        } catch (...) {
            error = std::current_exception();
        }
        done.store(true);
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });

    QElapsedTimer clock;
    clock.start();
    // Sent at once, then again now and then until the work ends.
    QElapsedTimer sinceCancel;
    const auto cancel = [&] {
        if (run.cancel)
            run.cancel();
        sinceCancel.start();
    };
    const auto cancelAgainWhenDue = [&] {
        if (sinceCancel.isValid() && sinceCancel.elapsed() >= kCancelRepeatMs)
            cancel();
    };

    std::unique_ptr<TProgressDialog> dialog;
    bool cursorPushed = false;
    const auto refresh = [&] {
        if (done.load())
            return;
        cancelAgainWhenDue();
        if (!dialog && clock.elapsed() >= gShowDelay) {
            const bool shown = over && over->isVisible();
            dialog = std::make_unique<TProgressDialog>(over, run.what);
            dialog->setWindowTitle(over && !over->windowTitle().isEmpty() ? over->windowTitle()
                                                                          : QStringLiteral("Quillory"));
            dialog->onCancel = [&] {
                cancel();
                dialog->btnCancel->setEnabled(false);
                dialog->lblWhat->setText(QStringLiteral("Cancelling..."));
            };
            QObject::connect(dialog->btnCancel, &QPushButton::clicked, dialog.get(), [&] { dialog->onCancel(); });
            // Over the window that waits; a window not shown yet (a saved query opening)
            // has no place, so the screen's middle, and nothing else takes input meanwhile.
            if (!shown) {
                dialog->setWindowModality(Qt::ApplicationModal);
                dialog->adjustSize();
                if (const QScreen* screen = QGuiApplication::primaryScreen())
                    dialog->move(screen->availableGeometry().center() - dialog->rect().center());
            }
            // The wait cursor of the work would hide that Cancel can be clicked.
            QApplication::setOverrideCursor(Qt::BusyCursor);
            cursorPushed = true;
            dialog->show();
        }
        if (dialog) {
            if (run.status)
                dialog->lblProgress->setText(run.status());
            dialog->lblElapsed->setText(elapsedText(clock.elapsed()));
        }
    };
    QTimer tick;
    tick.setInterval(100);
    QObject::connect(&tick, &QTimer::timeout, refresh);
    tick.start();

    loop.exec();
    tick.stop();
    // The loop also ends when the application quits: the work is stopped then.
    if (!done.load())
        cancel();
    while (!done.load()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        cancelAgainWhenDue();
    }
    worker.join();
    dialog.reset();
    if (cursorPushed)
        QApplication::restoreOverrideCursor();
    if (error)
        std::rethrow_exception(error);
}
