#pragma once
// Long work of a window: it runs on a worker while the event loop keeps
// turning, so the windows repaint and the picture goes on filling in.
#include "base/LongWork.h"

#include <QString>

namespace sorvelin {

// The progress dialog's objectName.
inline constexpr const char* ProgressDialogName = "LongWorkProgress";
// Work shorter than this shows no dialog at all.
inline constexpr int ProgressDialogDelayMs = 500;

// Runs work on a worker and returns when it has ended, raising what it raised
// (WorkCancelled after Cancel). Meanwhile every window of the program is
// disabled, so nothing changes the work's inputs, and after half a second a
// dialog shows the progress under `label` with a Cancel button.
void RunWithProgressDialog(const QString& label, const LongWork& work);

// True while RunWithProgressDialog runs; CancelRunningWork cancels that work.
bool WorkRunning();
void CancelRunningWork();

} // namespace sorvelin
