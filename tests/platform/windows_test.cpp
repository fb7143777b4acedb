// Window classes, windows, messages, painting and timers, through the Win32 API. The tests that
// move the clock or add other programs' windows use the control surface; the rest would run
// against real Win32 as they are (they only look at their own windows and messages).
#include "conformance.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <ostream>
#include <set>
#include <string>
#include <vector>

static bool operator==(const RECT &a, const RECT &b)
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

static void PrintTo(const RECT &r, std::ostream *os)
{
    *os << "{" << r.left << ", " << r.top << ", " << r.right << ", " << r.bottom << "}";
}

namespace {

const WCHAR kClass[] = TEXT("TestWindow");
const HINSTANCE kInstance = reinterpret_cast<HINSTANCE>(0x1000);

struct Seen {
    UINT message;
    WPARAM wParam;   // kept for WM_TIMER and WM_USER messages, else 0

    bool operator==(const Seen &) const = default;
};

void PrintTo(const Seen &s, std::ostream *os)
{
    *os << "{0x" << std::hex << s.message << ", " << std::dec << s.wParam << "}";
}

// What the test window procedure does and records.
struct Script {
    std::vector<Seen> seen;
    std::vector<HWND> seenBy;
    LRESULT createResult = 0;
    LRESULT eraseResult = 1;
    bool eraseByDefault = false;   // WM_ERASEBKGND goes to DefWindowProcW
    bool invalidateOnTimer = false;
    UINT_PTR timerInCreate = 0;   // SetTimer(id, 1000) in WM_CREATE
    BOOL lastPaintErase = -1;     // PAINTSTRUCT.fErase of the last WM_PAINT
    RECT lastPaintRect{};
    std::vector<Seen> placement;   // the messages of kPlacement; WM_PARENTNOTIFY with its event
};
Script script;

const std::set<UINT> kRecorded
    = {WM_NCCREATE, WM_CREATE, WM_DESTROY, WM_NCDESTROY, WM_PAINT, WM_ERASEBKGND, WM_TIMER, WM_CLOSE};
// What showing, placing and parenting windows tells them.
const std::set<UINT> kPlacement = {WM_SHOWWINDOW, WM_WINDOWPOSCHANGING, WM_WINDOWPOSCHANGED, WM_SIZE,
                                   WM_MOVE,       WM_PARENTNOTIFY,      WM_DESTROY};

LRESULT CALLBACK testProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (kRecorded.count(msg) || msg >= WM_USER) {
        script.seen.push_back({msg, (msg == WM_TIMER || msg >= WM_USER) ? wParam : 0});
        script.seenBy.push_back(hwnd);
    }
    if (kPlacement.count(msg)) {
        script.placement.push_back({msg, msg == WM_PARENTNOTIFY ? WPARAM{LOWORD(wParam)} : WPARAM{0}});
    }
    switch (msg) {
    case WM_CREATE:
        if (script.timerInCreate) {
            SetTimer(hwnd, script.timerInCreate, 1000, nullptr);
        }
        return script.createResult;
    case WM_ERASEBKGND:
        if (script.eraseByDefault) {
            return DefWindowProcW(hwnd, msg, wParam, lParam);
        }
        return script.eraseResult;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        BeginPaint(hwnd, &ps);
        script.lastPaintErase = ps.fErase;
        script.lastPaintRect = ps.rcPaint;
        EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_TIMER:
        if (script.invalidateOnTimer) {
            InvalidateRect(hwnd, nullptr, TRUE);
        }
        return 0;
    default:
        if (msg >= WM_USER) {
            return static_cast<LRESULT>(wParam) * 2;
        }
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

ATOM registerTestClass(HBRUSH background = nullptr)
{
    WNDCLASSW wc{};
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = testProc;
    wc.hInstance = kInstance;
    wc.hbrBackground = background;
    wc.lpszClassName = kClass;
    return RegisterClassW(&wc);
}

HWND createTopLevel(const WCHAR *title, DWORD style = WS_POPUP | WS_VISIBLE)
{
    return CreateWindowExW(0, kClass, title, style, 0, 0, 100, 50, nullptr, nullptr, kInstance, nullptr);
}

HWND createChild(HWND parent, int x, int y, DWORD style = WS_CHILD | WS_VISIBLE)
{
    return CreateWindowExW(0, kClass, TEXT("child"), style, x, y, 20, 10, parent, nullptr, kInstance,
                           nullptr);
}

using conformance::drain;

class Windows : public ::testing::Test {
protected:
    void SetUp() override
    {
        conformance::freshStart();
        script = Script{};
        ASSERT_NE(registerTestClass(), 0);
    }
};

// ---- Classes ---------------------------------------------------------------------------------

TEST_F(Windows, ClassRegistrationIsPerNameAndInstance)
{
    WNDCLASSW wc{};
    wc.lpfnWndProc = testProc;
    wc.hInstance = kInstance;
    wc.lpszClassName = TEXT("TESTWINDOW");

    SetLastError(0);
    EXPECT_EQ(RegisterClassW(&wc), 0) << "names compare without regard to case";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS));

    wc.hInstance = reinterpret_cast<HINSTANCE>(0x2000);
    EXPECT_NE(RegisterClassW(&wc), 0) << "another module may use the same name";

    WNDCLASSW info{};
    ASSERT_NE(GetClassInfoW(kInstance, TEXT("testwindow"), &info), 0);
    EXPECT_EQ(info.style, static_cast<UINT>(CS_HREDRAW | CS_VREDRAW));
    EXPECT_EQ(info.lpfnWndProc, &testProc);

    HWND hwnd = createTopLevel(TEXT("w"));
    ASSERT_NE(hwnd, nullptr);
    SetLastError(0);
    EXPECT_EQ(UnregisterClassW(kClass, kInstance), FALSE) << "a window of the class exists";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_HAS_WINDOWS));
    DestroyWindow(hwnd);
    EXPECT_EQ(UnregisterClassW(kClass, kInstance), TRUE);

    SetLastError(0);
    EXPECT_EQ(UnregisterClassW(kClass, kInstance), FALSE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_DOES_NOT_EXIST));

    // A window created without an instance finds the class of the program's own module.
    wc.hInstance = GetModuleHandleW(nullptr);
    ASSERT_NE(RegisterClassW(&wc), 0);
    hwnd = CreateWindowExW(0, kClass, TEXT("w"), WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    EXPECT_NE(hwnd, nullptr);
    DestroyWindow(hwnd);
}

TEST_F(Windows, CreatingAWindowOfAMissingClassCannotFindTheClass)
{
    SetLastError(0);
    EXPECT_EQ(CreateWindowExW(0, TEXT("NoSuchClass"), TEXT("w"), WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                              kInstance, nullptr),
              nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANNOT_FIND_WND_CLASS));
}

// ---- Lifecycle -------------------------------------------------------------------------------

TEST_F(Windows, DestroyingAParentDestroysItsChildrenInWindowsOrder)
{
    HWND parent = createTopLevel(TEXT("parent"));
    HWND child = createChild(parent, 0, 0);
    ASSERT_NE(child, nullptr);
    script.seen.clear();
    script.seenBy.clear();

    EXPECT_EQ(DestroyWindow(parent), TRUE);

    // WM_DESTROY goes to the parent first, while its children still exist; WM_NCDESTROY last.
    const std::vector<Seen> expected
        = {{WM_DESTROY, 0}, {WM_DESTROY, 0}, {WM_NCDESTROY, 0}, {WM_NCDESTROY, 0}};
    const std::vector<HWND> by = {parent, child, child, parent};
    EXPECT_EQ(script.seen, expected);
    EXPECT_EQ(script.seenBy, by);
    EXPECT_EQ(IsWindow(parent), FALSE);
    EXPECT_EQ(IsWindow(child), FALSE);

    // Handles of destroyed windows do not come back.
    std::set<HWND> handles = {parent, child};
    for (int i = 0; i < 100; ++i) {
        HWND hwnd = createTopLevel(TEXT("again"));
        EXPECT_TRUE(handles.insert(hwnd).second) << "handle reused: " << hwnd;
        DestroyWindow(hwnd);
    }
    EXPECT_EQ(DestroyWindow(parent), FALSE);

#if OUR_LAYER_ONLY
    // Nor after a device reset, which drops windows without destroying them.
    HWND kept = createTopLevel(TEXT("kept"));
    control::resetDevice();
    registerTestClass();
    EXPECT_EQ(IsWindow(kept), FALSE);
    EXPECT_NE(createTopLevel(TEXT("new")), kept);
#endif
}

TEST_F(Windows, DestroyingADestroyedWindowIsAnInvalidHandle)
{
    HWND hwnd = createTopLevel(TEXT("w"));
    ASSERT_EQ(DestroyWindow(hwnd), TRUE);
    SetLastError(0);
    EXPECT_EQ(DestroyWindow(hwnd), FALSE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

TEST_F(Windows, CreateFailsWhenWmCreateReturnsMinusOne)
{
    script.createResult = -1;
    EXPECT_EQ(createTopLevel(TEXT("refused")), nullptr);
    // The window is taken down without a WM_DESTROY: it was never fully made.
    const std::vector<Seen> expected = {{WM_NCCREATE, 0}, {WM_CREATE, 0}, {WM_NCDESTROY, 0}};
    EXPECT_EQ(script.seen, expected);
    EXPECT_EQ(UnregisterClassW(kClass, kInstance), TRUE) << "no window of the class is left";
}

TEST_F(Windows, MessageOrderOfCreateTimerAndPaint)
{
    script.timerInCreate = 7;
    script.invalidateOnTimer = true;
    HWND hwnd = createTopLevel(TEXT("ordered"));
    ASSERT_NE(hwnd, nullptr);
    drain();                       // the first paint of a window created visible
    conformance::passTime(1000);   // the timer falls due once
    drain();

    const std::vector<Seen> expected = {
        {WM_NCCREATE, 0},   {WM_CREATE, 0},
        {WM_ERASEBKGND, 0},   // a top-level window is erased as it appears
        {WM_PAINT, 0},      {WM_TIMER, 7},
        {WM_PAINT, 0},      {WM_ERASEBKGND, 0},   // the timer invalidated with erase
    };
    EXPECT_EQ(script.seen, expected);
}

// ---- The queue -------------------------------------------------------------------------------

TEST_F(Windows, PaintComesOnlyWhenTheQueueIsEmpty)
{
    HWND hwnd = createTopLevel(TEXT("w"));
    drain();
    InvalidateRect(hwnd, nullptr, FALSE);
    PostMessageW(hwnd, WM_USER + 1, 1, 0);
    PostMessageW(hwnd, WM_USER + 2, 2, 0);

    MSG msg;
    std::vector<UINT> order;
    for (int i = 0; i < 3 && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE); ++i) {
        order.push_back(msg.message);
    }
    const std::vector<UINT> expected = {WM_USER + 1, WM_USER + 2, WM_PAINT};
    EXPECT_EQ(order, expected);

    // Removing WM_PAINT does not validate: it stays until the window paints.
    ASSERT_EQ(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE), TRUE);
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_PAINT));
    DispatchMessageW(&msg);
    EXPECT_EQ(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE), FALSE);

    // A hidden window gathers no update region and is not painted; showing it invalidates it.
    ShowWindow(hwnd, SW_HIDE);
    drain();
    InvalidateRect(hwnd, nullptr, TRUE);
    EXPECT_EQ(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE), FALSE);
    RECT update;
    EXPECT_EQ(GetUpdateRect(hwnd, &update, FALSE), FALSE);
    ShowWindow(hwnd, SW_SHOW);
    EXPECT_EQ(GetUpdateRect(hwnd, &update, FALSE), TRUE);
}

TEST_F(Windows, SendCallsAtOncePostWaitsForTheLoop)
{
    HWND a = createTopLevel(TEXT("a"));
    HWND b = createTopLevel(TEXT("b"));
    HWND child = createChild(a, 0, 0);
    drain();
    script.seen.clear();
    script.seenBy.clear();

    EXPECT_EQ(SendMessageW(a, WM_USER, 21, 0), 42) << "the procedure's result comes back";
    EXPECT_EQ(script.seen.size(), 1u);

    EXPECT_EQ(PostMessageW(a, WM_USER, 1, 0), TRUE);
    EXPECT_EQ(script.seen.size(), 1u) << "posting calls nothing";
    EXPECT_EQ(drain(), 1);
    EXPECT_EQ(script.seen.size(), 2u);

    // Broadcasts reach top-level windows only. Programs talk to each other with registered
    // messages (private ones mean nothing to other programs).
    const UINT broadcast = RegisterWindowMessageW(TEXT("DurvoTestBroadcast"));
    script.seenBy.clear();
    SendMessageW(HWND_BROADCAST, broadcast, 0, 0);
    EXPECT_EQ(std::set<HWND>(script.seenBy.begin(), script.seenBy.end()), (std::set<HWND>{a, b}));
    script.seenBy.clear();
    PostMessageW(HWND_BROADCAST, broadcast, 1, 0);
    EXPECT_EQ(script.seenBy.size(), 0u);
    drain();
    EXPECT_EQ(std::set<HWND>(script.seenBy.begin(), script.seenBy.end()), (std::set<HWND>{a, b}));
    EXPECT_NE(child, nullptr);

    // Messages queued for a window die with it.
    PostMessageW(b, WM_USER + 7, 0, 0);
    DestroyWindow(b);
    EXPECT_EQ(drain(), 0);
    SetLastError(0);
    EXPECT_EQ(PostMessageW(b, WM_USER, 0, 0), FALSE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

TEST_F(Windows, RegisteredMessagesIgnoreCase)
{
    UINT a = RegisterWindowMessageW(TEXT("SH_UIMETRIC_CHANGE"));
    EXPECT_GE(a, 0xC000u);
    EXPECT_LE(a, 0xFFFFu);
    EXPECT_EQ(RegisterWindowMessageW(TEXT("sh_uimetric_change")), a);
    EXPECT_NE(RegisterWindowMessageW(TEXT("SH_UIMETRIC_CHANGE2")), a);
}

// ---- Timers ----------------------------------------------------------------------------------

int countPending(UINT message)
{
    int n = 0;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, message, message, PM_REMOVE)) {
        ++n;
    }
    return n;
}

// WM_TIMER is made up when the queue is read, so a timer that fell due many times while nobody
// read the queue has one message waiting, and a killed timer none.
TEST_F(Windows, ATimerThatFellDueManyTimesHasOneMessage)
{
    HWND hwnd = createTopLevel(TEXT("w"));
    drain();
    ASSERT_NE(SetTimer(hwnd, 3, 50, nullptr), 0u);
    conformance::passTime(300);   // six periods
    EXPECT_EQ(countPending(WM_TIMER), 1);
    EXPECT_EQ(KillTimer(hwnd, 3), TRUE);
    conformance::passTime(100);
    EXPECT_EQ(countPending(WM_TIMER), 0);
    EXPECT_EQ(KillTimer(hwnd, 3), FALSE);
}

#if OUR_LAYER_ONLY
// The boundaries below need the simulated clock: a millisecond either side of a period.

TEST_F(Windows, ATimerHasAtMostOneMessagePending)
{
    HWND hwnd = createTopLevel(TEXT("w"));
    drain();
    SetTimer(hwnd, 1, 1000, nullptr);
    control::advanceClock(5000);
    EXPECT_EQ(countPending(WM_TIMER), 1) << "five periods passed, one message";
    control::advanceClock(999);
    EXPECT_EQ(countPending(WM_TIMER), 0) << "the period restarts when the message is taken";
    control::advanceClock(1);
    EXPECT_EQ(countPending(WM_TIMER), 1);

    // Setting an existing id again restarts it.
    control::advanceClock(600);
    SetTimer(hwnd, 1, 1000, nullptr);
    control::advanceClock(600);
    EXPECT_EQ(countPending(WM_TIMER), 0);
    control::advanceClock(400);
    EXPECT_EQ(countPending(WM_TIMER), 1);

    EXPECT_EQ(KillTimer(hwnd, 1), TRUE);
    control::advanceClock(5000);
    EXPECT_EQ(countPending(WM_TIMER), 0);
    EXPECT_EQ(KillTimer(hwnd, 1), FALSE);
}

TEST_F(Windows, TimersFireAcrossTickCountWrap)
{
    struct Case {
        DWORD start;
        const char *what;
    };
    const Case cases[] = {
        {0xFFFFFF00u, "due time wraps past zero"},
        {0x7FFFFF00u, "due time crosses the sign bit"},
        {0xFFFFFC18u, "due exactly at tick 0"},
        {0u, "no wrap at all"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        control::resetDevice();
        registerTestClass();
        HWND hwnd = createTopLevel(TEXT("w"));
        drain();
        control::setTickCount(c.start);
        SetTimer(hwnd, 9, 1000, nullptr);
        control::advanceClock(999);
        EXPECT_EQ(countPending(WM_TIMER), 0);
        control::advanceClock(1);
        EXPECT_EQ(countPending(WM_TIMER), 1);
        control::advanceClock(1000);
        EXPECT_EQ(countPending(WM_TIMER), 1);
    }
}

// A timer whose due time has passed, by however much, fires once at the next opportunity and
// runs its period from then; moving the tick count is no time passing.
TEST_F(Windows, TimersSurviveAnyJumpOfTime)
{
    struct Case {
        const char *what;
        DWORD startTick;
        DWORD jumpMs;       // advanceClock, the device running (or asleep)
        DWORD setTickTo;    // then setTickCount, unless it is kKeepTick
        int pendingAfter;   // WM_TIMER messages waiting right after the jump
    };
    constexpr DWORD kKeepTick = 0xFFFFFFFF;
    const Case cases[] = {
        {"a jump of 2^31 ms", 5000, 0x80000000u, kKeepTick, 1},
        {"597 hours asleep", 5000, 597u * 3600 * 1000, kKeepTick, 1},
        {"596 hours asleep", 5000, 596u * 3600 * 1000, kKeepTick, 1},
        {"the longest jump the clock takes", 5000, 0xFFFFFFFFu, kKeepTick, 1},
        {"a jump that ends on the same tick count", 0, 0xFFFFFFFFu, 0xFFFFFFFFu - 1, 1},
        {"the tick count moved back, no time passed", 600000, 0, 5, 0},
        {"the tick count moved far forward, no time passed", 5, 0, 0x90000000u, 0},
        {"time passed and the tick count moved back", 600000, 2000, 5, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        control::resetDevice();
        registerTestClass();
        HWND hwnd = createTopLevel(u"w");
        drain();
        control::setTickCount(c.startTick);
        SetTimer(hwnd, 3, 1000, nullptr);
        control::advanceClock(c.jumpMs);
        if (c.setTickTo != kKeepTick) {
            control::setTickCount(c.setTickTo);
        }
        EXPECT_EQ(countPending(WM_TIMER), c.pendingAfter);
        // The period runs from the message taken (or from SetTimer when none was due).
        control::advanceClock(999);
        EXPECT_EQ(countPending(WM_TIMER), 0);
        control::advanceClock(1);
        EXPECT_EQ(countPending(WM_TIMER), 1);
        control::advanceClock(1000);
        EXPECT_EQ(countPending(WM_TIMER), 1);
    }
}

TEST_F(Windows, ALongRunStepFiresOnceThenEverySecond)
{
    HWND hwnd = createTopLevel(u"w");
    drain();
    SetTimer(hwnd, 4, 1000, nullptr);
    script.seen.clear();
    control::run(0x90000000u, 0x90000000u);   // one step of 671 hours
    EXPECT_EQ(script.seen, (std::vector<Seen>{{WM_TIMER, 4}}));
    script.seen.clear();
    control::run(5000, 1000);
    EXPECT_EQ(script.seen.size(), 5u);
    // GetMessageW sleeps until the next due time instead of waiting 2^31 ms for it.
    const DWORD before = GetTickCount();
    MSG msg;
    ASSERT_EQ(GetMessageW(&msg, nullptr, 0, 0), TRUE);
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_TIMER));
    EXPECT_EQ(GetTickCount() - before, 1000u);
}
#endif

// ---- Painting --------------------------------------------------------------------------------

TEST_F(Windows, BeginPaintErasesAndReportsWhetherTheBackgroundIsLeft)
{
    struct Case {
        bool erase;            // InvalidateRect's bErase
        bool byDefault;        // WM_ERASEBKGND left to DefWindowProcW
        bool classBrush;       // the class has a background brush
        LRESULT eraseResult;   // else what the window procedure answers
        BOOL expectedFErase;
        const char *what;
    };
    const Case cases[] = {
        {true, false, false, 1, FALSE, "the window erased: nothing left to do"},
        {true, false, false, 0, TRUE, "the window did not erase: fErase asks the painter to"},
        {true, true, true, 0, FALSE, "the default erases with the class brush"},
        {true, true, false, 0, TRUE, "the default cannot erase without a class brush"},
        {false, false, false, 0, FALSE, "no erase requested: WM_ERASEBKGND is not sent"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        conformance::freshStart();
        script = Script{};
        registerTestClass(c.classBrush ? CreateSolidBrush(RGB(1, 2, 3)) : nullptr);
        HWND hwnd = createTopLevel(TEXT("w"));
        drain();
        script.seen.clear();
        script.eraseByDefault = c.byDefault;
        script.eraseResult = c.eraseResult;
        InvalidateRect(hwnd, nullptr, c.erase);
        drain();
        EXPECT_EQ(script.lastPaintErase, c.expectedFErase);
        bool erased
            = std::find(script.seen.begin(), script.seen.end(), Seen{WM_ERASEBKGND, 0}) != script.seen.end();
        EXPECT_EQ(erased, c.erase);
    }
}

TEST_F(Windows, UpdateRegionAccumulatesWithinTheClientArea)
{
    HWND hwnd = createTopLevel(TEXT("w"));   // 100 x 50
    drain();
    RECT a{10, 10, 20, 20};
    RECT b{30, 5, 200, 15};   // runs off the right edge
    InvalidateRect(hwnd, &a, FALSE);
    InvalidateRect(hwnd, &b, FALSE);
    RECT update{};
    EXPECT_EQ(GetUpdateRect(hwnd, &update, FALSE), TRUE);
    EXPECT_EQ(update, (RECT{10, 5, 100, 20}));
    drain();
    EXPECT_EQ(script.lastPaintRect, (RECT{10, 5, 100, 20}));
    EXPECT_EQ(GetUpdateRect(hwnd, &update, FALSE), FALSE);

    RECT outside{200, 200, 300, 300};
    InvalidateRect(hwnd, &outside, TRUE);
    EXPECT_EQ(GetUpdateRect(hwnd, &update, FALSE), FALSE) << "nothing of it is in the window";

    InvalidateRect(hwnd, nullptr, FALSE);
    ValidateRect(hwnd, nullptr);
    EXPECT_EQ(drain(), 0);
}

// ---- Text ------------------------------------------------------------------------------------

TEST_F(Windows, GetWindowTextTruncatesAsWin32)
{
    HWND hwnd = createTopLevel(TEXT("Durvo"));
    struct Case {
        int maxCount;
        int expectedLength;
        WString expectedText;   // what the buffer holds up to its terminator
        int touched;            // units written, terminator included
        const char *what;
    };
    const Case cases[] = {
        {100, 5, TEXT("Durvo"), 6, "room to spare"},
        {6, 5, TEXT("Durvo"), 6, "exactly the text and its terminator"},
        {5, 4, TEXT("Durv"), 5, "one short: the last character gives way to the terminator"},
        {1, 0, TEXT(""), 1, "room for the terminator only"},
        {0, 0, TEXT(""), 0, "no room: the buffer is not touched"},
        {-1, 0, TEXT(""), 0, "negative count: the buffer is not touched"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        WCHAR buffer[16];
        std::memset(buffer, 0xBD, sizeof buffer);
        EXPECT_EQ(GetWindowTextW(hwnd, buffer, c.maxCount), c.expectedLength);
        if (c.touched > 0) {
            EXPECT_EQ(WString(buffer), c.expectedText);
        }
        for (int i = c.touched; i < 16; ++i) {
            EXPECT_EQ(static_cast<unsigned>(buffer[i]), 0xBDBDu) << "unit " << i << " was written";
        }
    }
    EXPECT_EQ(GetWindowTextLengthW(hwnd), 5);
    EXPECT_EQ(SetWindowTextW(hwnd, TEXT("A much longer title")), TRUE);
    EXPECT_EQ(GetWindowTextLengthW(hwnd), 19);

    DestroyWindow(hwnd);
    WCHAR buffer[4] = {TEXT('x'), TEXT('x'), TEXT('x'), TEXT('x')};
    EXPECT_EQ(GetWindowTextW(hwnd, buffer, 4), 0);
    EXPECT_EQ(buffer[0], 0) << "a dead window reads as empty";
}

// ---- Visibility and geometry -----------------------------------------------------------------

TEST_F(Windows, VisibilityAndPositionFollowTheAncestors)
{
    HWND parent = CreateWindowExW(0, kClass, TEXT("p"), WS_POPUP | WS_VISIBLE, 30, 40, 100, 100, nullptr,
                                  nullptr, kInstance, nullptr);
    HWND child = createChild(parent, 5, 6);
    HWND grandchild = createChild(child, 1, 2);
    EXPECT_EQ(IsWindowVisible(grandchild), TRUE);
    ShowWindow(parent, SW_HIDE);
    EXPECT_EQ(IsWindowVisible(grandchild), FALSE) << "a hidden ancestor hides it";
    EXPECT_EQ(GetWindowLongW(grandchild, GWL_STYLE) & WS_VISIBLE, WS_VISIBLE) << "its own style";
    ShowWindow(parent, SW_SHOW);

    RECT r{};
    GetWindowRect(grandchild, &r);
    EXPECT_EQ(r.left, 30 + 5 + 1);
    EXPECT_EQ(r.top, 40 + 6 + 2);
    EXPECT_EQ(r.right - r.left, 20);
    GetClientRect(grandchild, &r);
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.bottom, 10);
    EXPECT_EQ(GetParent(grandchild), child);

    MoveWindow(child, 50, 60, 40, 30, TRUE);
    GetWindowRect(grandchild, &r);
    EXPECT_EQ(r.left, 30 + 50 + 1);
}

// What a window is told as it is made, shown, placed, hidden and destroyed (CE sends neither
// WM_GETMINMAXINFO nor WM_NCCALCSIZE, so neither is asked for).
TEST_F(Windows, ShowPlaceAndParentMessagesComeInWindowsOrder)
{
    using Steps = std::vector<Seen>;
    const Seen changing{WM_WINDOWPOSCHANGING, 0};
    const Seen changed{WM_WINDOWPOSCHANGED, 0};
    HWND overlapped = createTopLevel(TEXT("overlapped"), WS_OVERLAPPED);
    EXPECT_EQ(script.placement, Steps{}) << "no WM_SIZE or WM_MOVE before it is first shown";
    ShowWindow(overlapped, SW_SHOWNA);
    EXPECT_EQ(script.placement, (Steps{{WM_SHOWWINDOW, 0}, changing, changed, {WM_SIZE, 0}, {WM_MOVE, 0}}));
    DestroyWindow(overlapped);

    // A pop-up is told its size and place as it is made.
    script.placement.clear();
    HWND popup = createTopLevel(TEXT("hidden"), WS_POPUP);
    EXPECT_EQ(script.placement, (Steps{{WM_SIZE, 0}, {WM_MOVE, 0}}));
    script.placement.clear();
    ShowWindow(popup, SW_SHOWNA);
    EXPECT_EQ(script.placement, (Steps{{WM_SHOWWINDOW, 0}, changing, changed}));

    script.placement.clear();
    SetWindowPos(popup, nullptr, 5, 6, 30, 40, SWP_NOZORDER | SWP_NOACTIVATE);
    EXPECT_EQ(script.placement, (Steps{changing, changed, {WM_MOVE, 0}, {WM_SIZE, 0}}));

    script.placement.clear();
    SetWindowPos(popup, nullptr, 0, 0, 0, 0, SWP_HIDEWINDOW | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER);
    EXPECT_EQ(script.placement, (Steps{changing, changed})) << "SetWindowPos sends no WM_SHOWWINDOW";
    script.placement.clear();
    SetWindowPos(popup, nullptr, 0, 0, 0, 0,
                 SWP_SHOWWINDOW | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    EXPECT_EQ(script.placement, (Steps{changing, changed}));
    script.placement.clear();
    ShowWindow(popup, SW_HIDE);
    EXPECT_EQ(script.placement, (Steps{{WM_SHOWWINDOW, 0}, changing, changed}));

    // A window created visible is shown as ShowWindow shows it, once made.
    script.placement.clear();
    DestroyWindow(createTopLevel(TEXT("shown")));
    // (Windows may move a window it activates more than once before WM_WINDOWPOSCHANGED.)
    ASSERT_GE(script.placement.size(), 4u);
    EXPECT_EQ(Steps(script.placement.begin(), script.placement.begin() + 4),
              (Steps{{WM_SIZE, 0}, {WM_MOVE, 0}, {WM_SHOWWINDOW, 0}, changing}));
    EXPECT_NE(std::find(script.placement.begin() + 4, script.placement.end(), changed),
              script.placement.end());

    // The parent hears of a child's creation and destruction, unless the child asks otherwise.
    script.placement.clear();
    HWND child = createChild(popup, 0, 0, WS_CHILD);
    EXPECT_EQ(script.placement, (Steps{{WM_SIZE, 0}, {WM_MOVE, 0}, {WM_PARENTNOTIFY, WM_CREATE}}));
    script.placement.clear();
    DestroyWindow(child);
    ASSERT_FALSE(script.placement.empty());
    EXPECT_EQ(script.placement.front(), (Seen{WM_PARENTNOTIFY, WM_DESTROY}));
    EXPECT_EQ(script.placement.back(), (Seen{WM_DESTROY, 0}));
    script.placement.clear();
    HWND quiet = CreateWindowExW(WS_EX_NOPARENTNOTIFY, kClass, TEXT("quiet"), WS_CHILD, 0, 0, 5, 5, popup,
                                 nullptr, kInstance, nullptr);
    DestroyWindow(quiet);
    EXPECT_EQ(
        std::count(script.placement.begin(), script.placement.end(), Seen{WM_PARENTNOTIFY, WM_CREATE})
            + std::count(script.placement.begin(), script.placement.end(), Seen{WM_PARENTNOTIFY, WM_DESTROY}),
        0);
}

// Siblings start in creation order, the first on top; GetDlgItem takes the topmost of a shared id,
// so it follows a SetWindowPos that reorders them.
TEST_F(Windows, GetDlgItemSearchesChildrenInZOrder)
{
    HWND parent = createTopLevel(TEXT("parent"));
    HWND first = createChild(parent, 0, 0);
    HWND second = createChild(parent, 0, 0);
    EXPECT_EQ(GetDlgItem(parent, 0), first);
    ASSERT_EQ(SetWindowPos(first, second, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE), TRUE);
    EXPECT_EQ(GetDlgItem(parent, 0), second);
    ASSERT_EQ(SetWindowPos(first, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE), TRUE);
    EXPECT_EQ(GetDlgItem(parent, 0), first);
}

TEST_F(Windows, CloseByDefaultDestroys)
{
    HWND hwnd = createTopLevel(TEXT("w"));
    SendMessageW(hwnd, WM_CLOSE, 0, 0);
    EXPECT_EQ(IsWindow(hwnd), FALSE);
}

// ---- Enumeration -----------------------------------------------------------------------------

struct Enumerated {
    std::vector<HWND> windows;
    size_t stopAfter = 1000;
};

BOOL CALLBACK collect(HWND hwnd, LPARAM lParam)
{
    auto *e = reinterpret_cast<Enumerated *>(lParam);
    e->windows.push_back(hwnd);
    return e->windows.size() < e->stopAfter;
}

// Keeps only the windows of this test, so that other windows (real Win32) do not matter.
std::vector<HWND> only(const std::vector<HWND> &all, const std::set<HWND> &ours)
{
    std::vector<HWND> result;
    for (HWND h : all) {
        if (ours.count(h)) {
            result.push_back(h);
        }
    }
    return result;
}

TEST_F(Windows, EnumWindowsWalksTopLevelWindowsTopFirst)
{
    HWND first = createTopLevel(TEXT("first"));
    HWND second = createTopLevel(TEXT("second"));
    HWND hidden = createTopLevel(TEXT("hidden"), WS_POPUP);
    HWND child = createChild(first, 0, 0);
#if OUR_LAYER_ONLY
    HWND other = control::addForeignWindow(TEXT("Other program"));
#else
    HWND other = createTopLevel(TEXT("Other program"));
#endif
    std::set<HWND> ours = {first, second, hidden, child, other};

    Enumerated all;
    EXPECT_EQ(EnumWindows(collect, reinterpret_cast<LPARAM>(&all)), TRUE);
    const std::vector<HWND> expected = {other, hidden, second, first};
    EXPECT_EQ(only(all.windows, ours), expected) << "newest on top; hidden included; no children";

    Enumerated two;
    two.stopAfter = 2;
    EXPECT_EQ(EnumWindows(collect, reinterpret_cast<LPARAM>(&two)), FALSE);
    EXPECT_EQ(two.windows.size(), 2u) << "the callback's FALSE stops the walk";
}

struct Destroying {
    std::set<HWND> ours;
    std::vector<HWND> windows;   // those of ours that the walk reached
    HWND victim = nullptr;       // destroyed when the walk reaches the first of ours
};

BOOL CALLBACK destroyVictim(HWND hwnd, LPARAM lParam)
{
    auto *d = reinterpret_cast<Destroying *>(lParam);
    if (d->ours.count(hwnd) == 0) {
        return TRUE;
    }
    d->windows.push_back(hwnd);
    if (d->windows.size() == 1) {
        DestroyWindow(d->victim);
    }
    return TRUE;
}

TEST_F(Windows, EnumWindowsSkipsAWindowDestroyedByTheCallback)
{
    HWND bottom = createTopLevel(TEXT("bottom"));
    HWND middle = createTopLevel(TEXT("middle"));
    HWND top = createTopLevel(TEXT("top"));
    Destroying d;
    d.ours = {bottom, middle, top};
    d.victim = middle;
    EnumWindows(destroyVictim, reinterpret_cast<LPARAM>(&d));
    const std::vector<HWND> expected = {top, bottom};
    EXPECT_EQ(d.windows, expected);
}

#if OUR_LAYER_ONLY
// ---- Other programs' windows -----------------------------------------------------------------

TEST_F(Windows, OtherProgramsWindowsAreDrivenByTitle)
{
    HWND a = control::addForeignWindow(TEXT("Calendar"));
    HWND b = control::addForeignWindow(TEXT("Calendar"));
    EXPECT_EQ(IsWindowVisible(a), TRUE);

    EXPECT_TRUE(control::setForeignWindowVisible(TEXT("Calendar"), false));
    EXPECT_EQ(IsWindowVisible(a), FALSE) << "the first by that title is the oldest";
    EXPECT_EQ(IsWindowVisible(b), TRUE);

    EXPECT_TRUE(control::renameForeignWindow(TEXT("Calendar"), TEXT("Tasks")));
    WCHAR title[16];
    GetWindowTextW(a, title, 16);
    EXPECT_EQ(WString(title), TEXT("Tasks"));

    EXPECT_TRUE(control::closeForeignWindow(TEXT("Tasks")));
    EXPECT_EQ(IsWindow(a), FALSE);
    EXPECT_FALSE(control::closeForeignWindow(TEXT("Tasks")));
    EXPECT_FALSE(control::setForeignWindowVisible(TEXT("calendar"), true)) << "titles match exactly";
}

#endif

// ---- Rectangles ------------------------------------------------------------------------------

TEST(Rectangles, EmptyRectanglesFollowWin32)
{
    struct Case {
        RECT a, b;
        BOOL intersects;
        RECT intersection;
        RECT unionRect;
        const char *what;
    };
    const Case cases[] = {
        {{0, 0, 10, 10}, {5, 5, 15, 15}, TRUE, {5, 5, 10, 10}, {0, 0, 15, 15}, "overlap"},
        {{0, 0, 10, 10},
         {10, 0, 20, 10},
         FALSE,
         {0, 0, 0, 0},
         {0, 0, 20, 10},
         "touching edges do not intersect: right and bottom are exclusive"},
        {{0, 0, 10, 10},
         {50, 50, 50, 60},
         FALSE,
         {0, 0, 0, 0},
         {0, 0, 10, 10},
         "an empty rectangle adds nothing to a union, not even its position"},
        {{5, 5, 5, 5},
         {7, 7, 7, 9},
         FALSE,
         {0, 0, 0, 0},
         {0, 0, 0, 0},
         "two empty rectangles make an empty union"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        RECT r;
        EXPECT_EQ(IntersectRect(&r, &c.a, &c.b), c.intersects);
        EXPECT_EQ(r, c.intersection);
        UnionRect(&r, &c.a, &c.b);
        EXPECT_EQ(r, c.unionRect);
    }
    RECT r{0, 0, 10, 10};
    EXPECT_EQ(PtInRect(&r, POINT{9, 9}), TRUE);
    EXPECT_EQ(PtInRect(&r, POINT{10, 9}), FALSE);
}

}   // namespace
