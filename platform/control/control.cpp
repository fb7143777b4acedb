// resetDevice and the text conversions of the control surface. The other control calls live
// beside the state they drive, one service per file in platform/src.
#include "control.h"

#include "internal.h"

namespace control {

void resetDevice()
{
    // No fault may hit what the reset itself does.
    internal::resetFaults();
    // Windows first: destroying them may still touch the GDI and the modules they belong to.
    internal::resetWindows();
    internal::resetControls();
    internal::resetDialogs();
    internal::resetMenus();
    internal::resetUser();
    internal::resetGdi();
    internal::resetModules();
    internal::resetRegistry();
    internal::resetClock();
    internal::resetPower();
    internal::resetVersion();
    internal::resetFiles();
    internal::resetPrograms();
    SetLastError(ERROR_SUCCESS);
}

std::string describeLeftovers()
{
    const GdiCounts gdi = liveGdiObjects();
    const struct {
        int count;
        const char *one;
        const char *many;
    } kinds[] = {
        {liveWindowCount(), "window", "windows"},
        {liveTimerCount(), "timer", "timers"},
        {gdi.fonts, "font", "fonts"},
        {gdi.brushes, "brush", "brushes"},
        {gdi.icons, "icon", "icons"},
        {gdi.deviceContexts, "device context", "device contexts"},
        {gdi.menus, "menu", "menus"},
        {loadedLibraryCount(), "library", "libraries"},
        {openFileHandles(), "open file", "open files"},
        {comInitializations(), "COM initialisation", "COM initialisations"},
    };
    std::string text;
    for (const auto &kind : kinds) {
        if (kind.count == 0) continue;
        if (!text.empty()) text += ", ";
        text += std::to_string(kind.count) + " " + (kind.count == 1 ? kind.one : kind.many);
    }
    return text;
}

// Unpaired surrogates and malformed UTF-8 become U+FFFD, so a conversion never fails.
std::string toUtf8(std::u16string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00
            && text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::u16string fromUtf8(std::string_view text)
{
    std::u16string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        int trailing = lead < 0x80         ? 0
            : lead >= 0xC2 && lead <= 0xDF ? 1
            : lead >= 0xE0 && lead <= 0xEF ? 2
            : lead >= 0xF0 && lead <= 0xF4 ? 3
                                           : -1;
        char32_t c = trailing == 0 ? lead
            : trailing == 1        ? lead & 0x1F
            : trailing == 2        ? lead & 0x0F
                                   : lead & 0x07;
        size_t length = 1;
        bool valid = trailing >= 0 && i + trailing < text.size();
        for (int k = 1; valid && k <= trailing; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) {
                valid = false;
                break;
            }
            c = (c << 6) | (next & 0x3F);
            length = k + 1;
        }
        // Overlong forms, surrogates and values past U+10FFFF are malformed too.
        if (valid
            && ((trailing == 2 && c < 0x800) || (trailing == 3 && (c < 0x10000 || c > 0x10FFFF))
                || (c >= 0xD800 && c <= 0xDFFF)))
            valid = false;
        if (!valid) {
            out += u'\uFFFD';
            i += length;
            continue;
        }
        i += trailing + 1;
        if (c >= 0x10000) {
            c -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (c >> 10));
            out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
    }
    return out;
}

}   // namespace control
