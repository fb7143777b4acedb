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
    UINT type = 0;   // the MB_* flags: known on our layer only
    WString buttons;   // the labels of the box's buttons in the order of their ids, joined by '|'
};

// From now on the user answers every message box by pressing the button `answer` (IDOK, IDNO,
// ...) and, with `seen`, notes what each box showed. Our layer: the scripted user. Windows: a
// hook that reads each box as it appears and clicks the button.
void answerMessageBoxes(int answer, std::vector<BoxSeen> *seen = nullptr);

}  // namespace conformance

#endif
