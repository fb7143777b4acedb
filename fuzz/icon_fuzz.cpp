// Feeds the icon decoders arbitrary bytes: a group directory (RT_GROUP_ICON) and an image
// (RT_ICON). What they accept must be whole: every entry within the format's sizes, the pick
// inside the directory, and an image with one colour and one mask bit per pixel.
#include "gdi_icon.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>

namespace {

void fail(const char *what, int detail)
{
    std::fprintf(stderr, "%s: %d\n", what, detail);
    std::abort();
}

}   // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t length)
{
    FuzzedDataProvider input(bytes, length);
    const int cx = input.ConsumeIntegralInRange<int>(0, 300);
    const int cy = input.ConsumeIntegralInRange<int>(0, 300);
    const std::vector<BYTE> data = input.ConsumeRemainingBytes<BYTE>();
    const std::span<const BYTE> whole(data);

    if (auto entries = gdi::parseIconGroup(whole)) {
        if (entries->empty()) fail("an accepted directory without entries", 0);
        for (const gdi::IconDirEntry &e : *entries) {
            if (e.width < 1 || e.width > 256 || e.height < 1 || e.height > 256)
                fail("an entry's size", e.width);
        }
        const size_t pick = gdi::pickIconEntry(*entries, cx, cy);
        if (pick >= entries->size()) fail("a pick outside the directory", static_cast<int>(pick));
    }
    if (auto image = gdi::decodeIconImage(whole)) {
        if (image->width < 1 || image->width > 256 || image->height < 1 || image->height > 256)
            fail("an image's size", image->width);
        const size_t pixels = static_cast<size_t>(image->width) * static_cast<size_t>(image->height);
        if (image->colors.size() != pixels || image->andMask.size() != pixels)
            fail("an image's pixels", static_cast<int>(image->colors.size()));
    }
    return 0;
}
