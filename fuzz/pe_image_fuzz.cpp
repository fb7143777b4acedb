// Feeds the CE library reader arbitrary bytes, as the ARM device's LoadLibraryW would meet them.
// What it accepts must hold together: every fixup, import slot, export and the resource image
// inside what it mapped.
#include "pe_loader.h"

#include <cstdio>
#include <cstdlib>

namespace {

void fail(const char *what, size_t detail)
{
    std::fprintf(stderr, "%s: %zu\n", what, detail);
    std::abort();
}

}   // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t length)
{
    pe::Image image;
    std::string error;
    if (!internal::checkImage({bytes, length}, pe::kMachineArm, &image, &error)) {
        if (error.empty()) fail("a refusal without a message", length);
        return 0;
    }
    const size_t size = image.mapped.size();
    for (uint32_t rva : image.fixups) {
        if (rva > size - 4) fail("a fixup outside the image", rva);
    }
    for (const pe::ImportLibrary &library : image.imports) {
        for (const pe::Import &call : library.calls) {
            if (call.slotRva > size - 4) fail("an import slot outside the image", call.slotRva);
        }
    }
    for (uint32_t rva : image.exportRvas) {
        if (rva > size) fail("an export outside the image", rva);
    }
    // Moving it anywhere touches only the image.
    pe::relocate(image, 0x12340000);
    return 0;
}
