// One platform test source, two platforms: on Linux it runs against our layer; the Windows build
// (mingw-w64 and the real Windows headers, run under Wine) defines DURVO_REAL_WIN32 and runs the
// same tests against real Win32, the referee for what our layer promises.
//
// A test, or a part of one, whose expectation rests on our control surface (the simulated clock,
// injected faults, the device folder, the text metrics model, the paint record) or on a promise
// of ours that Win32 does not make, sits between `#if OUR_LAYER_ONLY` and `#endif`; that marker
// is the one list of what is not shared (tests/README.md says why for each).
#ifndef DURVO_TESTS_CONFORMANCE_H
#define DURVO_TESTS_CONFORMANCE_H

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#if defined(DURVO_REAL_WIN32)
#define OUR_LAYER_ONLY 0
#else
#define OUR_LAYER_ONLY 1
#include <control.h>
#endif

// Text of the platform's own character type (char16_t on our layer, wchar_t on Windows).
using WString = std::basic_string<WCHAR>;

namespace conformance {

// A clean start for a test. Our layer: a fresh device. Windows: this thread's windows are
// destroyed, the test window classes unregistered, its queue emptied and the registry keys the
// tests make deleted.
void freshStart();

// Dispatches what is waiting now (posted messages, then paints and due timers); returns how many.
int drain();

// Lets time pass: the simulated clock on our layer, the real one on Windows.
void passTime(DWORD ms);

// This test process's id, to keep its scratch folders apart from those of parallel runs.
unsigned long processId();

// What a message box showed the user.
struct BoxSeen {
    HWND owner = nullptr;
    WString caption;
    WString text;
    UINT type = 0;     // the MB_* flags: known on our layer only
    WString buttons;   // the labels of the box's buttons in the order of their ids, joined by '|'
};

// From now on the user answers every message box by pressing the button `answer` (IDOK, IDNO,
// ...) and, with `seen`, notes what each box showed. Our layer: the scripted user. Windows: a
// hook that reads each box as it appears and clicks the button.
void answerMessageBoxes(int answer, std::vector<BoxSeen> *seen = nullptr);

// A modal dialog of this program, as the user sees it when their turn comes.
struct DialogSeen {
    HWND dialog = nullptr;
    HWND owner = nullptr;   // our layer: as DialogBox* was given it; Windows: the top-level owner
    WString title;
};

// From now on the user takes a turn in each modal dialog of this program once it is initialised
// and visible: `act` sets its controls and presses its buttons until the dialog procedure ends
// it. Posted messages waiting when the dialog appeared are dispatched first. Our layer: the
// scripted user. Windows: a hook sees the dialog activated and acts from inside its modal loop.
void answerDialogs(std::function<void(const DialogSeen &)> act);

// The user presses control `id` of a dialog: a push button sends its command, a check box or
// radio button changes as a click changes it. False when there is no such enabled, visible
// control. Our layer: a tap of the scripted user. Windows: BM_CLICK.
bool pressButton(HWND dialog, int id);

// A popup menu, as the user sees it when their turn comes.
struct MenuSeen {
    HWND owner = nullptr;
    HWND window = nullptr;   // the menu's own window
};

// From now on the user answers each popup menu with `choose`: the text of the item to pick from
// the menu, or an empty text to dismiss it. Our layer: the scripted user. Windows: a hook sees
// the menu window made and, from inside the menu's loop, presses the arrow keys down to the item
// and Enter, or Escape.
void answerMenus(std::function<WString(const MenuSeen &)> choose);

}   // namespace conformance

#endif
