// The scripted user as the prompting services see it: the callbacks that answer message boxes,
// menus and dialogs, and the record of prompts nobody answered.
#ifndef DURVO_PLATFORM_USER_H
#define DURVO_PLATFORM_USER_H

#include "control.h"

#include <string>
#include <string_view>

namespace user {

// Copies, so that a callback may install another user while it runs.
control::MessageBoxAnswer messageBoxAnswer();
control::MenuAnswer menuAnswer();
control::DialogAnswer dialogAnswer();

// `"text"` in UTF-8, for the descriptions of unanswered prompts.
std::string quoted(std::u16string_view text);

}   // namespace user

#endif
