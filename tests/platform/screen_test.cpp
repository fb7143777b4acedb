// The screen's size: a Pocket PC's until a desktop's is set; the desktop window and the device
// caps follow it and the dpi scales it.
#include <control.h>
#include <windows.h>

#include <gtest/gtest.h>

namespace {

TEST(Screen, SizeFollowsTheSettingAndTheDpi)
{
    struct Case {
        const char *proves;
        int width, height;   // set at 96 dpi; 0 = not set
        int dpi;
        LONG right, bottom;  // of GetDesktopWindow's rectangle
    };
    const Case cases[] = {
        {"a Pocket PC by default", 0, 0, 96, 240, 320},
        {"twice the pixels at 192 dpi", 0, 0, 192, 480, 640},
        {"a desktop", 800, 600, 96, 800, 600},
        {"a desktop at 192 dpi", 800, 600, 192, 1600, 1200},
        {"a size that is not positive changes nothing", -1, 600, 96, 240, 320},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.proves);
        control::resetDevice();
        control::setDpi(c.dpi);
        if (c.width != 0) control::setScreenSize(c.width, c.height);
        RECT rect{-1, -1, -1, -1};
        ASSERT_TRUE(GetWindowRect(GetDesktopWindow(), &rect));
        EXPECT_EQ(rect.left, 0);
        EXPECT_EQ(rect.top, 0);
        EXPECT_EQ(rect.right, c.right);
        EXPECT_EQ(rect.bottom, c.bottom);
        HDC dc = GetDC(nullptr);
        EXPECT_EQ(GetDeviceCaps(dc, HORZRES), c.right);
        EXPECT_EQ(GetDeviceCaps(dc, VERTRES), c.bottom);
        ReleaseDC(nullptr, dc);
    }
    control::setScreenSize(1024, 768);
    EXPECT_EQ(control::screenSizeAt96().cx, 1024);
    control::resetDevice();
    EXPECT_EQ(control::screenSizeAt96().cx, 240);
    EXPECT_EQ(control::screenSizeAt96().cy, 320);
}

}  // namespace
