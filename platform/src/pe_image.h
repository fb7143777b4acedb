// The reader of Windows CE (PE32) library images for the module service: it checks a file's
// headers, lays its sections out as they are mapped, and reads its relocations, imports, exports
// and resources. The file is untrusted: every offset, size and string is checked against the
// file or the image before use, and the first defect refuses the whole image with a message.
// Nothing here runs code, so the reader works (and is tested and fuzzed) on every build.
#ifndef DURVO_PLATFORM_PE_IMAGE_H
#define DURVO_PLATFORM_PE_IMAGE_H

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace pe {

constexpr uint16_t kMachineArm = 0x01C0;
constexpr uint16_t kMachineAmd64 = 0x8664;
constexpr size_t kMaxImageSize = 16u << 20;   // half a CE process's 32 MB slot

struct Import {
    std::string name;       // the call, bound by name
    uint32_t slotRva = 0;   // its address slot in the import address table
};

struct ImportLibrary {
    std::string name;   // "COREDLL.dll"
    std::vector<Import> calls;
};

struct Image {
    uint16_t machine = 0;
    uint32_t preferredBase = 0;
    uint32_t entryRva = 0;          // DllMain; 0 when the library has none
    std::vector<uint8_t> mapped;    // headers and sections at their addresses, the rest zero
    std::vector<uint32_t> fixups;   // RVAs of the 32-bit absolute addresses to relocate
    std::vector<ImportLibrary> imports;
    uint32_t exportOrdinalBase = 0;
    std::vector<uint32_t> exportRvas;                            // by ordinal - base; 0: none
    std::vector<std::pair<std::string, uint32_t>> exportNames;   // name, index into exportRvas
    std::vector<uint8_t> resources;   // the resource tree as a .res image; empty when none
};

// A name for a machine type in messages: "ARM (0x01C0)".
std::string machineName(uint16_t machine);

// Reads and checks the whole file; false with a message naming the first defect.
bool readImage(std::span<const uint8_t> file, Image *image, std::string *error);

// Adds delta to every fixup of the mapped image (laid out for preferredBase).
void relocate(Image &image, uint32_t delta);
// The same on an image mapped elsewhere in memory.
void relocate(uint8_t *mapped, const std::vector<uint32_t> &fixups, uint32_t delta);

}   // namespace pe

#endif
