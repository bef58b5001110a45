#include "ui/common/ErrorGuard.h"

#include "base/LongWork.h"

#include <stdexcept>

namespace sorvelin {

void ShowCurrentException() noexcept {
    try {
        try {
            throw;
        } catch (const WorkCancelled&) {
            // The user stopped the work: there is nothing to tell.
        } catch (const std::exception& error) {
            ShowMessage(error.what(), MessageKind::Error);
        } catch (...) {
            ShowMessage("Unknown error", MessageKind::Error);
        }
    } catch (...) {
        // Showing the message failed as well: nothing sensible is left to do.
    }
}

bool GuardedApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ShowCurrentException();
        return false;
    }
}

} // namespace sorvelin
