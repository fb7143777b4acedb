// Arbitrary bytes as a dialog template: the reader must refuse them or read a template out of
// them without touching a byte past the end (AddressSanitizer watches every read, since the
// input is copied into an allocation of exactly its size). A template it accepts must hold what
// its header promised.
#include "dialog_template.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::vector<BYTE> bytes(data, data + size);
    const auto parsed = dialogs::parseDialogTemplate(bytes);
    if (!parsed) return 0;
    // The item count sits at byte 8 (classic) or 16 (extended).
    const size_t countAt = parsed->extended ? 16 : 8;
    const size_t count = bytes[countAt] | bytes[countAt + 1] << 8;
    if (parsed->items.size() != count) std::abort();
    for (const dialogs::ItemTemplate &item : parsed->items) {
        if (item.windowClass.kind == dialogs::NameOrOrdinal::Kind::None) std::abort();
        if (item.creationData.size() > size) std::abort();
    }
    return 0;
}
