// Window frames and the calls around them: the border and caption a style asks for, client and
// screen coordinates, WM_SIZE with the client size, enabling, class names, and MulDiv.
#include "conformance.h"

#include <gtest/gtest.h>

#include <climits>
#include <ostream>
#include <string>
#include <vector>

#if OUR_LAYER_ONLY
static bool operator==(const RECT &a, const RECT &b)
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

static void PrintTo(const RECT &r, std::ostream *os)
{
    *os << "{" << r.left << ", " << r.top << ", " << r.right << ", " << r.bottom << "}";
}
#endif

namespace {

std::vector<LPARAM> sizes;     // WM_SIZE lParam
std::vector<WPARAM> enables;   // WM_ENABLE wParam

LRESULT CALLBACK frameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_SIZE) sizes.push_back(lParam);
    if (message == WM_ENABLE) enables.push_back(wParam);
    return DefWindowProcW(window, message, wParam, lParam);
}

class WindowFrames : public ::testing::Test {
protected:
    void SetUp() override
    {
        conformance::freshStart();
        sizes.clear();
        enables.clear();
        WNDCLASSW wc{};
        wc.lpfnWndProc = frameProc;
        wc.lpszClassName = TEXT("Framed");
        ASSERT_NE(RegisterClassW(&wc), 0);
    }
    void TearDown() override { conformance::freshStart(); }

    HWND make(DWORD style, RECT at, HWND parent = nullptr, DWORD exStyle = 0)
    {
        return CreateWindowExW(exStyle, TEXT("Framed"), TEXT("Framed"), style, at.left, at.top,
                               at.right - at.left, at.bottom - at.top, parent, nullptr, nullptr, nullptr);
    }
};

#if OUR_LAYER_ONLY
// The frame sizes are the device's (a caption as tall as its navigation bar, one-pixel
// borders), set through the control surface's dpi; desktop Windows draws its own.
TEST_F(WindowFrames, StylesGiveBorderAndCaption)
{
    const struct {
        const char *proves;
        DWORD style;
        DWORD exStyle;
        int dpi;
        RECT insets;   // how far the client area lies inside, each side
    } cases[] = {
        {"no frame", WS_POPUP, 0, 96, {0, 0, 0, 0}},
        {"a border", WS_POPUP | WS_BORDER, 0, 96, {1, 1, 1, 1}},
        {"a dialog frame", WS_POPUP | WS_DLGFRAME, 0, 96, {1, 1, 1, 1}},
        {"a modal frame", WS_POPUP, WS_EX_DLGMODALFRAME, 96, {1, 1, 1, 1}},
        {"a caption, as tall as the navigation bar", WS_POPUP | WS_CAPTION, 0, 96, {1, 27, 1, 1}},
        {"the caption scales with the dpi", WS_POPUP | WS_CAPTION, 0, 192, {1, 53, 1, 1}},
        {"a child's border too", WS_CHILD | WS_BORDER, 0, 96, {1, 1, 1, 1}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.proves);
        control::setDpi(c.dpi);
        RECT adjusted{100, 100, 200, 150};
        EXPECT_TRUE(AdjustWindowRectEx(&adjusted, c.style, FALSE, c.exStyle));
        EXPECT_EQ(
            adjusted,
            (RECT{100 - c.insets.left, 100 - c.insets.top, 200 + c.insets.right, 150 + c.insets.bottom}));
        HWND parent = make(WS_POPUP, RECT{0, 0, 240, 320});
        HWND window
            = make(c.style, RECT{10, 20, 110, 120}, (c.style & WS_CHILD) ? parent : nullptr, c.exStyle);
        ASSERT_NE(window, nullptr);
        RECT client{};
        GetClientRect(window, &client);
        EXPECT_EQ(client,
                  (RECT{0, 0, 100 - c.insets.left - c.insets.right, 100 - c.insets.top - c.insets.bottom}));
        // WM_SIZE carries the client size.
        ASSERT_FALSE(sizes.empty());
        EXPECT_EQ(sizes.back(), MAKELPARAM(client.right, client.bottom));
        POINT origin{0, 0};
        EXPECT_TRUE(ClientToScreen(window, &origin));
        EXPECT_EQ(origin.x, 10 + c.insets.left);
        EXPECT_EQ(origin.y, 20 + c.insets.top);
        DestroyWindow(window);
        DestroyWindow(parent);
    }
    EXPECT_FALSE(AdjustWindowRectEx(nullptr, WS_CAPTION, FALSE, 0));
}

TEST_F(WindowFrames, ChildrenLiveInTheClientArea)
{
    HWND framed = make(WS_POPUP | WS_CAPTION | WS_VISIBLE, RECT{5, 10, 105, 110});
    HWND child = make(WS_CHILD | WS_VISIBLE, RECT{3, 4, 23, 14}, framed);
    HWND grandchild = make(WS_CHILD | WS_VISIBLE, RECT{1, 1, 5, 5}, child);
    RECT r{};
    GetWindowRect(child, &r);
    EXPECT_EQ(r, (RECT{5 + 1 + 3, 10 + 27 + 4, 5 + 1 + 23, 10 + 27 + 14}));
    GetWindowRect(grandchild, &r);
    EXPECT_EQ(r, (RECT{10, 42, 14, 46}));
    POINT p{50, 60};
    EXPECT_TRUE(ScreenToClient(grandchild, &p));
    EXPECT_EQ(p.x, 40);
    EXPECT_EQ(p.y, 18);
    EXPECT_TRUE(ClientToScreen(grandchild, &p));
    EXPECT_EQ(p.x, 50);
    EXPECT_EQ(p.y, 60);
    EXPECT_FALSE(ClientToScreen(reinterpret_cast<HWND>(0x7777), &p));
    EXPECT_FALSE(ClientToScreen(child, nullptr));

    // Moving the frame moves what it holds, and WM_SIZE reports the new client size.
    sizes.clear();
    SetWindowPos(framed, nullptr, 0, 0, 150, 100, SWP_NOZORDER);
    GetWindowRect(child, &r);
    EXPECT_EQ(r, (RECT{0 + 1 + 3, 0 + 27 + 4, 0 + 1 + 23, 0 + 27 + 14}));
    EXPECT_EQ(sizes, (std::vector<LPARAM>{MAKELPARAM(148, 72)}));
}
#endif

TEST_F(WindowFrames, EnableWindowAnswersThePreviousState)
{
    HWND window = make(WS_POPUP, RECT{0, 0, 10, 10});
    const struct {
        BOOL enable;
        BOOL wasDisabled;
        bool told;
    } steps[] = {
        {TRUE, FALSE, false},   // already enabled: nothing to tell
        {FALSE, FALSE, true},
        {FALSE, TRUE, false},
        {TRUE, TRUE, true},
    };
    for (const auto &s : steps) {
        enables.clear();
        EXPECT_EQ(EnableWindow(window, s.enable), s.wasDisabled);
        EXPECT_EQ(IsWindowEnabled(window), s.enable);
        EXPECT_EQ(enables,
                  s.told ? std::vector<WPARAM>{static_cast<WPARAM>(s.enable)} : std::vector<WPARAM>{});
        EXPECT_EQ((GetWindowLongW(window, GWL_STYLE) & WS_DISABLED) != 0, !s.enable);
    }
    EXPECT_FALSE(IsWindowEnabled(reinterpret_cast<HWND>(0x7777)));
}

TEST_F(WindowFrames, ClassNameIsCopiedWithWin32Truncation)
{
    HWND window = make(WS_POPUP, RECT{0, 0, 10, 10});
    WCHAR buffer[8];
    std::fill(std::begin(buffer), std::end(buffer), static_cast<WCHAR>(0xBDBD));
    EXPECT_EQ(GetClassNameW(window, buffer, 8), 6);
    EXPECT_EQ(WString(buffer), TEXT("Framed"));
    std::fill(std::begin(buffer), std::end(buffer), static_cast<WCHAR>(0xBDBD));
    EXPECT_EQ(GetClassNameW(window, buffer, 4), 3);
    EXPECT_EQ(WString(buffer), TEXT("Fra"));
    EXPECT_EQ(buffer[4], 0xBDBD);
    EXPECT_EQ(GetClassNameW(window, buffer, 0), 0);
    EXPECT_EQ(GetClassNameW(reinterpret_cast<HWND>(0x7777), buffer, 8), 0);
}

TEST(MulDiv, RoundsHalfAwayFromZeroAndFailsWithMinusOne)
{
    const struct {
        int number, numerator, denominator, result;
    } cases[] = {
        {10, 3, 2, 15},
        {5, 3, 2, 8},     // 7.5 rounds up
        {-5, 3, 2, -8},   // -7.5 rounds away from zero
        {5, -3, 2, -8},
        {5, 3, -2, -8},
        {-5, -3, -2, -8},
        {8, 13, 8, 13},
        {7, 13, 8, 11},        // 11.375
        {49, 13, 8, 80},       // 79.625
        {1, 1, 0, -1},         // no denominator
        {INT_MAX, 2, 1, -1},   // too large
        {INT_MIN, 1, 1, -1},   // -2^31 counts as too large, as on Windows
        {INT_MAX, INT_MAX, INT_MAX, INT_MAX},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(MulDiv(c.number, c.numerator, c.denominator), c.result)
            << c.number << " * " << c.numerator << " / " << c.denominator;
    }
}

}   // namespace
