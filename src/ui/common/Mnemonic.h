#pragma once
// Keyboard mnemonics (Alt and the underlined letter) on buttons whose
// captions stay as they are: only the letter gets its underline.
#include <QString>

#include <initializer_list>
#include <utility>

class QAbstractButton;

namespace sorvelin {

// Each pair is a button and its caption with '&' before the letter Alt
// selects. A button whose caption differs from the marked text without its
// '&' keeps its caption untouched, so a changed caption never gets a stray
// mark. Buttons with a shortcut of their own (Ctrl+S, F5) are left out by the
// callers: a button answers to one key sequence.
void SetMnemonics(std::initializer_list<std::pair<QAbstractButton*, const char*>> marked);

} // namespace sorvelin
