// Text metrics model. Line heights must come out the same on every machine, so no text is
// measured with a real font. From a font's lfHeight we derive, in whole pixels:
//   lfHeight < 0   character height ch = -lfHeight; ascent = ch; descent = (ch + 2) / 5
//                  (a fifth of ch, rounded); line height = ascent + descent;
//   lfHeight > 0   the cell (line) height is lfHeight; ch = (5 * lfHeight + 3) / 6, rounded;
//                  ascent = ch; descent = lfHeight - ch;
//   lfHeight = 0   as the stock SYSTEM_FONT's character height at the current dpi.
// The internal leading equals the descent, as in Tahoma (ascent ~ 1 em, descent ~ 0.2 em).
// Each UTF-16 unit advances by (ch * units + 50) / 100 pixels, where units (hundredths of
// ch) come from advanceUnits below: Tahoma-like widths, 55 for digits, 52 for most small
// letters, 62 for most capitals, 84 for m and W, 23 for i, j, l, 31 for a blank, 30 for
// . , : ; ' ! |, 60 outside ASCII; control characters take no room. Bold (lfWeight >= 600)
// is a tenth wider. DrawTextW lays lines out one line height apart, with no extra leading.
#include "text_metrics.h"

#include <algorithm>
#include <climits>

namespace gdi {
namespace {

constexpr int boldWeight = 600;   // FW_SEMIBOLD and heavier draw bold
constexpr int maxCharHeight = 2048;

}   // namespace

TextMetrics metricsOf(const LOGFONTW &lf, int defaultCharHeight)
{
    TextMetrics m;
    long long height = lf.lfHeight ? lf.lfHeight : -defaultCharHeight;
    if (height < 0) {
        m.charHeight = static_cast<int>(std::min<long long>(-height, maxCharHeight));
        m.ascent = m.charHeight;
        m.descent = (m.charHeight + 2) / 5;
        m.lineHeight = m.ascent + m.descent;
    } else {
        const int cell = static_cast<int>(std::min<long long>(height, maxCharHeight * 6 / 5));
        m.charHeight = std::max(1, (5 * cell + 3) / 6);
        m.ascent = m.charHeight;
        m.descent = cell - m.charHeight;
        m.lineHeight = cell;
    }
    m.bold = lf.lfWeight >= boldWeight;
    m.italic = lf.lfItalic != 0;
    m.underline = lf.lfUnderline != 0;
    m.strikeOut = lf.lfStrikeOut != 0;
    return m;
}

// Hundredths of the character height that one UTF-16 unit advances.
int advanceUnits(char16_t c)
{
    if (c < 0x20 || c == 0x7F) return 0;
    if (c >= 0xDC00 && c <= 0xDFFF) return 0;   // second half of a pair: the first carries it
    switch (c) {
    case u' ': return 31;
    case u'i':
    case u'j':
    case u'l': return 23;
    case u'I': return 34;
    case u'J': return 40;
    case u'f':
    case u't': return 33;
    case u'r': return 36;
    case u'm':
    case u'W': return 84;
    case u'M': return 76;
    case u'w': return 71;
    case u'%': return 84;
    case u'@': return 86;
    case u'.':
    case u',':
    case u':':
    case u';':
    case u'\'':
    case u'!':
    case u'|': return 30;
    case u'(':
    case u')':
    case u'[':
    case u']':
    case u'{':
    case u'}': return 38;
    case u'-': return 36;
    case u'/':
    case u'\\': return 38;
    default: break;
    }
    if (c >= u'0' && c <= u'9') return 55;
    if (c >= u'a' && c <= u'z') return 52;
    if (c >= u'A' && c <= u'Z') return 62;
    if (c < 0x80) return 55;
    return 60;
}

int advanceOf(char16_t c, const TextMetrics &m)
{
    int units = advanceUnits(c);
    if (m.bold) units += units / 10;
    return (m.charHeight * units + 50) / 100;
}

ShownLine shownLine(std::u16string_view line, bool prefixes)
{
    ShownLine shown;
    if (!prefixes) {
        shown.text.assign(line);
        return shown;
    }
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] == u'&' && i + 1 < line.size()) {
            ++i;
            if (line[i] != u'&') shown.underlined = static_cast<int>(shown.text.size());
        } else if (line[i] == u'&') {
            continue;   // a lone '&' at the end shows nothing
        }
        shown.text += line[i];
    }
    return shown;
}

int widthOf(std::u16string_view text, const TextMetrics &m)
{
    long long width = 0;
    for (char16_t c : text) width += advanceOf(c, m);
    return static_cast<int>(std::min<long long>(width, INT_MAX / 2));
}

// Each CR LF, LF CR, lone CR or lone LF ends a line; a break at the very end starts no
// new line.
std::vector<std::u16string_view> splitLines(std::u16string_view text)
{
    std::vector<std::u16string_view> lines;
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c != u'\r' && c != u'\n') continue;
        lines.push_back(text.substr(start, i - start));
        const char16_t pair = c == u'\r' ? u'\n' : u'\r';
        if (i + 1 < text.size() && text[i + 1] == pair) ++i;
        start = i + 1;
    }
    if (start < text.size() || lines.empty()) lines.push_back(text.substr(start));
    return lines;
}

// DT_WORDBREAK: break after the last blank that lets the line fit; a word wider than the
// rectangle keeps a line of its own, or with DT_EDITCONTROL (as an edit control wraps) is broken
// after its last character that fits, at least one. Blanks at a break vanish; the last piece
// keeps its own.
void wrapLine(std::u16string_view rest, int width, const TextMetrics &m, UINT format,
              std::vector<std::u16string_view> &out)
{
    const bool prefixes = (format & DT_NOPREFIX) == 0;
    const bool breakWords = (format & DT_EDITCONTROL) != 0;
    auto fits
        = [&](std::u16string_view piece) { return widthOf(shownLine(piece, prefixes).text, m) <= width; };
    while (true) {
        if (fits(rest)) {
            out.push_back(rest);
            return;
        }
        size_t fitEnd = std::u16string_view::npos;
        size_t k = 0;
        while (k < rest.size()) {
            size_t wordEnd = rest.find(u' ', k);
            if (wordEnd == std::u16string_view::npos) wordEnd = rest.size();
            if (fitEnd != std::u16string_view::npos && !fits(rest.substr(0, wordEnd))) break;
            fitEnd = wordEnd;
            k = wordEnd;
            while (k < rest.size() && rest[k] == u' ') ++k;
        }
        if (breakWords && !fits(rest.substr(0, fitEnd))) {
            fitEnd = 1;
            while (fitEnd < rest.size() && fits(rest.substr(0, fitEnd + 1))) ++fitEnd;
        }
        if (fitEnd == std::u16string_view::npos || fitEnd >= rest.size()) {
            out.push_back(rest);
            return;
        }
        out.push_back(rest.substr(0, fitEnd));
        size_t next = fitEnd;
        while (next < rest.size() && rest[next] == u' ') ++next;
        if (next >= rest.size()) return;
        rest = rest.substr(next);
    }
}

}   // namespace gdi
