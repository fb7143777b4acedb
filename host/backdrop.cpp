#include "backdrop.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

namespace host {
namespace {

constexpr COLORREF kNavTop = RGB(38, 92, 178);
constexpr COLORREF kNavBottom = RGB(12, 44, 118);
constexpr COLORREF kNavText = RGB(255, 255, 255);
constexpr COLORREF kBandTop = RGB(255, 255, 255);
constexpr COLORREF kBandBottom = RGB(226, 236, 250);
constexpr COLORREF kBandText = RGB(14, 52, 124);
constexpr COLORREF kRule = RGB(140, 168, 214);
constexpr COLORREF kSkyTop = RGB(214, 228, 248);
constexpr COLORREF kSkyBottom = RGB(248, 251, 255);
constexpr COLORREF kWaveFar = RGB(200, 218, 244);
constexpr COLORREF kWaveNear = RGB(184, 206, 240);
constexpr COLORREF kBarTop = RGB(244, 246, 250);
constexpr COLORREF kBarBottom = RGB(212, 219, 232);
constexpr COLORREF kBarText = RGB(28, 40, 70);
constexpr COLORREF kItemText = RGB(8, 30, 80);

COLORREF mix(COLORREF a, COLORREF b, double t)
{
    t = std::clamp(t, 0.0, 1.0);
    auto channel = [t](int x, int y) { return static_cast<BYTE>(std::lround(x + (y - x) * t)); };
    return RGB(channel(GetRValue(a), GetRValue(b)), channel(GetGValue(a), GetGValue(b)),
               channel(GetBValue(a), GetBValue(b)));
}

void fill(HDC dc, int left, int top, int right, int bottom, COLORREF colour)
{
    if (right <= left || bottom <= top) return;
    RECT r{left, top, right, bottom};
    HBRUSH brush = CreateSolidBrush(colour);
    FillRect(dc, &r, brush);
    DeleteObject(brush);
}

// A vertical gradient over rows [top, bottom) of the screen, drawn in 2-pixel bands.
void gradient(HDC dc, const RECT &clip, POINT origin, int top, int bottom, COLORREF from, COLORREF to)
{
    int first = std::max<int>(top, clip.top), last = std::min<int>(bottom, clip.bottom);
    for (int y = first; y < last; y += 2) {
        double t = bottom - top > 1 ? double(y - top) / (bottom - top - 1) : 0.0;
        fill(dc, clip.left - origin.x, y - origin.y, clip.right - origin.x, std::min(y + 2, last) - origin.y,
             mix(from, to, t));
    }
}

// Two soft swells across the lower part of the sky, one behind the other.
void waves(HDC dc, const ScreenLook &look, const RECT &clip, POINT origin)
{
    struct Wave {
        double baseline;    // share of the screen height
        double amplitude;   // share of the screen height
        double cycles;      // across the width
        double phase;
        COLORREF colour;
    };
    static constexpr std::array<Wave, 2> kWaves{{
        {0.70, 0.025, 1.1, 0.6, kWaveFar},
        {0.76, 0.030, 0.8, 2.4, kWaveNear},
    }};
    const int floor = look.commandBarTop();
    for (const Wave &w : kWaves) {
        HBRUSH brush = CreateSolidBrush(w.colour);
        for (int x = std::max<int>(0, clip.left); x < std::min<int>(look.width, clip.right); ++x) {
            double angle = 2 * std::numbers::pi * w.cycles * x / look.width + w.phase;
            int crest = static_cast<int>(look.height * (w.baseline + w.amplitude * std::sin(angle)));
            // The swell fades into the sky: its body is a little lighter than its crest line.
            int top = std::max<int>(crest, clip.top), bottom = std::min<int>(floor, clip.bottom);
            if (bottom <= top) continue;
            RECT r{x - origin.x, top - origin.y, x + 1 - origin.x, bottom - origin.y};
            FillRect(dc, &r, brush);
        }
        DeleteObject(brush);
    }
}

class ScopedFont {
public:
    ScopedFont(HDC dc, int height, int weight) : dc_(dc)
    {
        LOGFONTW lf{};
        GetObjectW(GetStockObject(SYSTEM_FONT), sizeof lf, &lf);
        lf.lfHeight = -height;
        lf.lfWeight = weight;
        const char16_t face[] = u"Tahoma";
        std::copy(std::begin(face), std::end(face), lf.lfFaceName);
        font_ = CreateFontIndirectW(&lf);
        previous_ = SelectObject(dc_, font_);
    }
    ~ScopedFont()
    {
        SelectObject(dc_, previous_);
        DeleteObject(font_);
    }
    ScopedFont(const ScopedFont &) = delete;
    ScopedFont &operator=(const ScopedFont &) = delete;

private:
    HDC dc_;
    HFONT font_;
    HGDIOBJ previous_;
};

void text(HDC dc, const std::u16string &s, RECT r, UINT align, COLORREF colour)
{
    SetTextColor(dc, colour);
    DrawTextW(dc, s.c_str(), -1, &r, align | DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
}

// A battery outline with a fill for the charge; left edge at x, vertically centred at midY.
void batteryGauge(HDC dc, const ScreenLook &look, int x, int midY, const HeaderContent &h)
{
    const int w = look.scale(20), ht = look.scale(10), line = std::max(1, look.scale(1));
    const int top = midY - ht / 2;
    fill(dc, x, top, x + w, top + line, kNavText);
    fill(dc, x, top + ht - line, x + w, top + ht, kNavText);
    fill(dc, x, top, x + line, top + ht, kNavText);
    fill(dc, x + w - line, top, x + w, top + ht, kNavText);
    fill(dc, x + w, top + ht / 4, x + w + look.scale(2), top + ht - ht / 4, kNavText);
    if (h.batteryPercent < 0) return;
    COLORREF charge = h.onExternalPower ? RGB(120, 200, 255)
        : h.batteryPercent > 50         ? RGB(110, 220, 110)
        : h.batteryPercent > 20         ? RGB(250, 200, 60)
                                        : RGB(240, 80, 60);
    int inner = w - 4 * line;
    int filled = inner * std::min(h.batteryPercent, 100) / 100;
    fill(dc, x + 2 * line, top + 2 * line, x + 2 * line + filled, top + ht - 2 * line, charge);
}

std::u16string ascii(const std::string &s)
{
    return std::u16string(s.begin(), s.end());
}

}   // namespace

COLORREF itemTextColour()
{
    return kItemText;
}

HeaderContent currentHeader()
{
    static constexpr std::array<const char *, 7> days{"Sunday",   "Monday", "Tuesday", "Wednesday",
                                                      "Thursday", "Friday", "Saturday"};
    static constexpr std::array<const char *, 12> months{"January",   "February", "March",    "April",
                                                         "May",       "June",     "July",     "August",
                                                         "September", "October",  "November", "December"};
    SYSTEMTIME now{};
    GetLocalTime(&now);
    HeaderContent h;
    int hour12 = now.wHour % 12 == 0 ? 12 : now.wHour % 12;
    char buf[64];
    snprintf(buf, sizeof buf, "%d:%02d %s", hour12, now.wMinute, now.wHour < 12 ? "am" : "pm");
    h.time = ascii(buf);
    if (now.wDayOfWeek < 7 && now.wMonth >= 1 && now.wMonth <= 12) {
        snprintf(buf, sizeof buf, "%s, %s %d, %d", days[now.wDayOfWeek], months[now.wMonth - 1], now.wDay,
                 now.wYear);
        h.date = ascii(buf);
    }
    SYSTEM_POWER_STATUS_EX2 power{};
    if (GetSystemPowerStatusEx2(&power, sizeof power, FALSE) != 0) {
        if (power.BatteryLifePercent <= 100) h.batteryPercent = power.BatteryLifePercent;
        h.onExternalPower = power.ACLineStatus == AC_LINE_ONLINE;
    }
    return h;
}

RECT headerRect(const ScreenLook &look)
{
    return RECT{0, 0, look.width, look.itemsTop()};
}

void paintBackground(HDC dc, const ScreenLook &look, const RECT &area, POINT origin)
{
    gradient(dc, area, origin, look.itemsTop(), look.commandBarTop(), kSkyTop, kSkyBottom);
    waves(dc, look, area, origin);
}

void paintScreen(HDC dc, const ScreenLook &look, const HeaderContent &header)
{
    const RECT all{0, 0, look.width, look.height};
    const POINT origin{0, 0};
    const int navBottom = look.scale(26);
    const int ruleTop = look.itemsTop() - std::max(1, look.scale(1));
    const int pad = look.scale(8);
    SetBkMode(dc, TRANSPARENT);

    // Navigation bar: "Start" on the left, battery and clock on the right.
    gradient(dc, all, origin, 0, navBottom, kNavTop, kNavBottom);
    {
        ScopedFont font(dc, look.scale(12), FW_BOLD);
        text(dc, u"Start", RECT{pad, 0, look.width / 2, navBottom}, DT_LEFT, kNavText);
        RECT clock{look.width / 2, 0, look.width - pad, navBottom};
        text(dc, header.time, clock, DT_RIGHT, kNavText);
    }
    batteryGauge(dc, look, look.width - look.scale(92), navBottom / 2, header);

    // Date band under a thin rule.
    gradient(dc, all, origin, navBottom, ruleTop, kBandTop, kBandBottom);
    fill(dc, 0, ruleTop, look.width, look.itemsTop(), kRule);
    {
        ScopedFont font(dc, look.scale(12), FW_BOLD);
        text(dc, header.date, RECT{pad, navBottom, look.width - pad, ruleTop}, DT_LEFT, kBandText);
    }

    paintBackground(dc, look, RECT{0, look.itemsTop(), look.width, look.commandBarTop()}, origin);

    // Command bar.
    const int barTop = look.commandBarTop();
    fill(dc, 0, barTop, look.width, barTop + std::max(1, look.scale(1)), kRule);
    gradient(dc, all, origin, barTop + std::max(1, look.scale(1)), look.height, kBarTop, kBarBottom);
    {
        ScopedFont font(dc, look.scale(12), FW_BOLD);
        text(dc, u"New", RECT{pad, barTop, look.width / 2, look.height}, DT_LEFT, kBarText);
    }
}

}   // namespace host
