#include "ui/common/ProgressDialog.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPointer>
#include <QProgressDialog>
#include <QTimer>
#include <QWidget>
#include <vector>

namespace sorvelin {
namespace {

// Only the user-interface thread runs and cancels dialog work.
BackgroundWork* running = nullptr;

constexpr int PollMs = 20;
constexpr int Steps = 1000;

} // namespace

void RunWithProgressDialog(const QString& label, const LongWork& work) {
    std::vector<QPointer<QWidget>> disabled;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->isEnabled()) {
            window->setEnabled(false);
            disabled.emplace_back(window);
        }
    }
    QProgressDialog dialog(label, "Cancel", 0, Steps);
    dialog.setObjectName(ProgressDialogName);
    dialog.setWindowTitle("Sorvelin");
    dialog.setAutoClose(false);
    dialog.setAutoReset(false);
    // Shown by the poll below, not by the dialog's own guess of the time.
    dialog.setMinimumDuration(24 * 60 * 60 * 1000);
    dialog.hide();

    BackgroundWork worker(work);
    BackgroundWork* const outer = running;
    running = &worker;
    QObject::connect(&dialog, &QProgressDialog::canceled, [&worker] { worker.Cancel(); });
    QEventLoop loop;
    QTimer poll;
    QElapsedTimer clock;
    clock.start();
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (worker.Done()) {
            loop.quit();
            return;
        }
        if (clock.elapsed() >= ProgressDialogDelayMs && !dialog.isVisible()) {
            dialog.show();
        }
        dialog.setValue(static_cast<int>(worker.Progress().Fraction() * Steps));
    });
    poll.start(PollMs);
    loop.exec();
    poll.stop();
    running = outer;
    dialog.hide();
    for (const QPointer<QWidget>& window : disabled) {
        if (window) {
            window->setEnabled(true);
        }
    }
    worker.Finish();
}

bool WorkRunning() {
    return running != nullptr;
}

void CancelRunningWork() {
    if (running != nullptr) {
        running->Cancel();
    }
}

} // namespace sorvelin
