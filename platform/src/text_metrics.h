// The text metrics model: font heights, character advances, and how DrawTextW cuts text into
// lines, the same on every machine (text_metrics.cpp says how).
#ifndef DURVO_PLATFORM_TEXT_METRICS_H
#define DURVO_PLATFORM_TEXT_METRICS_H

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

namespace gdi {

struct TextMetrics {
    int charHeight = 0;
    int ascent = 0;
    int descent = 0;
    int lineHeight = 0;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;
};

// The metrics of a font; lfHeight 0 stands for the stock font's character height.
TextMetrics metricsOf(const LOGFONTW &lf, int defaultCharHeight);
// The pixels one UTF-16 unit advances.
int advanceOf(char16_t c, const TextMetrics &m);
int widthOf(std::u16string_view text, const TextMetrics &m);

// A line as shown: '&' marks the next character as the mnemonic (underlined) and "&&" shows
// one '&', unless DT_NOPREFIX.
struct ShownLine {
    std::u16string text;
    int underlined = -1;   // index into text
};

ShownLine shownLine(std::u16string_view line, bool prefixes);
// Each CR LF, LF CR, lone CR or lone LF ends a line; a break at the very end starts no
// new line.
std::vector<std::u16string_view> splitLines(std::u16string_view text);
// DT_WORDBREAK: the pieces one line of text wraps into within `width` pixels.
void wrapLine(std::u16string_view rest, int width, const TextMetrics &m, UINT format,
              std::vector<std::u16string_view> &out);

}   // namespace gdi

#endif
