#pragma once
// Every message the program shows goes through ShowMessage, so tests can put
// a recorder in place of the modal dialog and never block on it.
#include <functional>
#include <string>

namespace sorvelin {

enum class MessageKind {
    Information, // a notice with an OK button ("Why did you version-down ?")
    Error        // a failed operation, shown by the error guard
};

using MessageBoxFunction = std::function<void(MessageKind kind, const std::string& text)>;

// Shows a modal box with an OK button (or calls the replacement, if set).
void ShowMessage(const std::string& text, MessageKind kind = MessageKind::Information);

// The same box with `details` folded below the text (shown on request); a
// replacement gets the text alone.
void ShowMessageWithDetails(const std::string& text, const std::string& details,
                            MessageKind kind = MessageKind::Error);

// Replaces the dialog; an empty function restores the real one. Returns the
// replacement that was in place before.
MessageBoxFunction SetMessageBoxFunction(MessageBoxFunction replacement);

using QuestionFunction = std::function<bool(const std::string& question)>;

// Asks a yes-or-no question in a modal box, No the default; true for Yes
// (or the replacement's answer, if one is set).
bool AskYesNo(const std::string& question);

// The same for a question whose answers are "Save" (true) and "Cancel", Cancel
// the default; tests answer it through the same replacement.
bool AskSaveOrCancel(const std::string& question);

// Replaces the question box as SetMessageBoxFunction replaces the message box.
QuestionFunction SetQuestionFunction(QuestionFunction replacement);

} // namespace sorvelin
