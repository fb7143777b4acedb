// Scenario scripts of durvo-today: one command a line, '#' starts a comment. A script is read
// and checked whole before anything runs, so a bad line never leaves a device half-driven.
#ifndef DURVO_HOST_SCRIPT_H
#define DURVO_HOST_SCRIPT_H

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace host {

enum class CommandKind {
    Clock,        // clock YYYY-MM-DD HH:MM:SS
    TickCount,    // tickcount N
    Power,        // power AC FLAG PERCENT
    PowerFail,    // power fail
    Boot,         // boot [empty]
    Install,      // install FILE.CAB
    SoftReset,    // softreset
    Run,          // run DURATION [every STEP]
    Sleep,        // sleep DURATION
    Show,         // show
    Screenshot,   // screenshot FILE.png
    Window,       // window TITLE
    Hide,         // hide TITLE
    Close,        // close TITLE
    Setting,      // setting NAME VALUE
    // Commands that prompt the user; the answer lines that follow one answer its prompts.
    Tap,        // tap [X Y]
    Action,     // action
    Settings,   // settings
    Setup,      // setup: DurvoSetup runs on the emulated desktop
    // Answer lines.
    Menu,      // menu TEXT | menu dismiss [screenshot FILE.png]
    Answer,    // answer yes|no|ok [screenshot FILE.png]
    Options,   // options ID=VALUE ... [screenshot FILE.png]
    Licence,   // licence install|cancel [screenshot FILE.png]
    // The emulated desktop.
    DesktopSync,   // desktop-sync PATH: the synchronisation software installed at PATH
};

bool isPromptingCommand(CommandKind kind);
bool isAnswer(CommandKind kind);

// One control of an options page as an `options` line sets it.
struct ControlSetting {
    enum class Kind { On, Off, Index, Tap };
    int id = 0;
    Kind kind = Kind::On;
    int index = 0;   // Index
};

struct Command {
    CommandKind kind = CommandKind::Boot;
    int line = 0;
    SYSTEMTIME time{};          // Clock
    DWORD number = 0;           // TickCount; Run and Sleep duration in ms; Setting value
    DWORD stepMs = 1000;        // Run
    BYTE power[3]{};            // Power: AC line status, battery flag, battery life percent
    std::string text;           // window title (UTF-8), screenshot file, setting name, cabinet file,
                                // menu item, desktop path (DesktopSync)
    bool emptyDevice = false;   // Boot: start without installing anything
    int x = 10, y = 5;          // Tap: the client point of the item
    bool dismiss = false;       // Menu: dismiss the menu instead of choosing an item
    int answer = 0;             // Answer: IDYES, IDNO or IDOK; Licence: IDOK (install) or IDCANCEL
    std::vector<ControlSetting> controls;   // Options, in the order given
    std::string picture;                    // answer lines: a screenshot taken while the prompt is shown
};

struct Script {
    std::string name;   // as used in messages: the path given, or "<stdin>"
    std::vector<Command> commands;
};

// "500ms", "7s", "15m", "2h", "1h30m": parts from hours down to milliseconds, each unit at most
// once. Empty when the text is no such duration or does not fit a 32-bit millisecond count.
std::optional<DWORD> parseDuration(std::string_view text);

// Parses and checks the whole script. On failure returns false and appends one
// "name:line: message" per defect to *errors.
bool parseScript(std::string_view text, std::string_view name, Script *script,
                 std::vector<std::string> *errors);

// The store values a `setting` may write: the 4-byte numbers of the meter's store, not the
// row counts (those must agree with their row blobs).
bool isSettingName(std::string_view name);

}   // namespace host

#endif
