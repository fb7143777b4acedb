// The scripted user who stands in for a person at the device: the callbacks the control surface
// installs, and the prompts that went unanswered.
#include "user.h"

#include "internal.h"

#include <utility>
#include <vector>

namespace {

struct UserState {
    control::ScriptedUser user;
    std::vector<std::string> unanswered;
};

UserState &state()
{
    static UserState s;
    return s;
}

}   // namespace

namespace user {

control::MessageBoxAnswer messageBoxAnswer()
{
    return state().user.messageBox;
}

control::MenuAnswer menuAnswer()
{
    return state().user.menu;
}

control::DialogAnswer dialogAnswer()
{
    return state().user.dialog;
}

std::string quoted(std::u16string_view text)
{
    return "\"" + control::toUtf8(text) + "\"";
}

}   // namespace user

namespace internal {

void recordUnanswered(std::string description)
{
    state().unanswered.push_back(std::move(description));
}

void resetUser()
{
    state() = UserState{};
}

}   // namespace internal

namespace control {

void setUser(ScriptedUser user)
{
    state().user = std::move(user);
}

std::vector<std::string> takeUnansweredPrompts()
{
    return std::exchange(state().unanswered, {});
}

}   // namespace control
