// Reads a PE32 library image: the headers, the sections laid out at their addresses, the base
// relocations, the import, export and resource directories. See pe_image.h.
#include "pe_image.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace pe {
namespace {

constexpr uint16_t kPe32Magic = 0x10B;
constexpr uint16_t kFileDll = 0x2000;
constexpr size_t kCoffHeaderSize = 20;
constexpr size_t kSectionHeaderSize = 40;
constexpr size_t kDirectoriesOffset = 96;   // in the PE32 optional header
enum Directory { kExport = 0, kImport = 1, kResource = 2, kBaseRelocation = 5 };
constexpr uint16_t kRelocationAbsolute = 0;   // padding
constexpr uint16_t kRelocationHighLow = 3;
constexpr int kResourceLevels = 3;   // type, name, language
constexpr size_t kMaxResources = 4096;
// Directories may share subdirectories; a bound on the entries walked keeps a hostile tree from
// multiplying its walk.
constexpr size_t kMaxResourceEntries = 65536;

uint16_t word(const uint8_t *p)
{
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}
uint32_t dword(const uint8_t *p)
{
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}

std::string hex(uint32_t value, int digits = 8)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*X", digits, value);
    return text;
}

// Reads within the mapped image by RVA; every accessor checks its range first.
class Mapped {
public:
    explicit Mapped(const std::vector<uint8_t> &bytes) : bytes_(bytes) { }
    bool holds(uint32_t rva, uint64_t size) const
    {
        return rva <= bytes_.size() && size <= bytes_.size() - rva;
    }
    const uint8_t *at(uint32_t rva) const { return bytes_.data() + rva; }
    // A NUL-terminated ASCII string starting at rva.
    bool string(uint32_t rva, std::string *text) const
    {
        if (rva >= bytes_.size()) return false;
        const void *end = std::memchr(at(rva), 0, bytes_.size() - rva);
        if (!end) return false;
        text->assign(reinterpret_cast<const char *>(at(rva)), static_cast<const uint8_t *>(end) - at(rva));
        return true;
    }

private:
    const std::vector<uint8_t> &bytes_;
};

struct DataDirectory {
    uint32_t rva = 0;
    uint32_t size = 0;
};

bool fail(std::string *error, std::string message)
{
    *error = std::move(message);
    return false;
}

bool readRelocations(const Mapped &m, DataDirectory dir, Image *image, std::string *error)
{
    if (dir.size == 0) return true;
    if (!m.holds(dir.rva, dir.size)) return fail(error, "the base relocations lie outside the image");
    for (uint32_t at = dir.rva, end = dir.rva + dir.size; at < end;) {
        if (end - at < 8) return fail(error, "a base relocation block is cut short at " + hex(at));
        uint32_t page = dword(m.at(at));
        uint32_t blockSize = dword(m.at(at + 4));
        if (blockSize < 8 || blockSize > end - at || blockSize % 2 != 0)
            return fail(error,
                        "the base relocation block at " + hex(at) + " has a bad size "
                            + std::to_string(blockSize));
        for (uint32_t e = at + 8; e < at + blockSize; e += 2) {
            uint16_t entry = word(m.at(e));
            uint16_t type = entry >> 12;
            if (type == kRelocationAbsolute) continue;
            if (type != kRelocationHighLow)
                return fail(error,
                            "base relocation type " + std::to_string(type) + " at " + hex(e)
                                + " is not supported");
            uint64_t target = uint64_t(page) + (entry & 0xFFF);
            if (target > 0xFFFFFFFFu || !m.holds(static_cast<uint32_t>(target), 4))
                return fail(error, "a base relocation at " + hex(e) + " points outside the image");
            image->fixups.push_back(static_cast<uint32_t>(target));
        }
        at += blockSize;
    }
    return true;
}

bool readImports(const Mapped &m, DataDirectory dir, Image *image, std::string *error)
{
    if (dir.size == 0) return true;
    for (uint32_t at = dir.rva;; at += 20) {
        if (!m.holds(at, 20)) return fail(error, "the import directory runs past the end of the image");
        uint32_t lookup = dword(m.at(at)), nameRva = dword(m.at(at + 12)), slots = dword(m.at(at + 16));
        if (nameRva == 0 && slots == 0) break;
        ImportLibrary library;
        if (!m.string(nameRva, &library.name))
            return fail(error, "the name of an imported library runs past the end of the image");
        if (lookup == 0) lookup = slots;
        for (uint32_t i = 0;; ++i) {
            uint64_t entryRva = uint64_t(lookup) + 4 * i, slotRva = uint64_t(slots) + 4 * i;
            if (entryRva > 0xFFFFFFFFu || slotRva > 0xFFFFFFFFu || !m.holds(uint32_t(entryRva), 4)
                || !m.holds(uint32_t(slotRva), 4))
                return fail(error, "the import table of " + library.name + " runs past the end of the image");
            uint32_t entry = dword(m.at(uint32_t(entryRva)));
            if (entry == 0) break;
            if (entry & 0x80000000u)
                return fail(error,
                            "imports " + library.name + " ordinal " + std::to_string(entry & 0xFFFF)
                                + ": only imports by name are bound");
            Import call;
            call.slotRva = uint32_t(slotRva);
            if (entry > 0xFFFFFFFDu || !m.string(entry + 2, &call.name))
                return fail(error, "an import name of " + library.name + " runs past the end of the image");
            library.calls.push_back(std::move(call));
        }
        image->imports.push_back(std::move(library));
    }
    return true;
}

bool readExports(const Mapped &m, DataDirectory dir, Image *image, std::string *error)
{
    if (dir.size == 0) return true;
    if (!m.holds(dir.rva, 40)) return fail(error, "the export directory lies outside the image");
    const uint8_t *d = m.at(dir.rva);
    uint32_t count = dword(d + 20), names = dword(d + 24);
    uint32_t functions = dword(d + 28), nameTable = dword(d + 32), ordinalTable = dword(d + 36);
    image->exportOrdinalBase = dword(d + 16);
    if (count > 0xFFFF || !m.holds(functions, uint64_t(count) * 4))
        return fail(error, "the export address table lies outside the image");
    if (names > count || !m.holds(nameTable, uint64_t(names) * 4)
        || !m.holds(ordinalTable, uint64_t(names) * 2))
        return fail(error, "the export name table lies outside the image");
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t rva = dword(m.at(functions + 4 * i));
        if (rva != 0 && !m.holds(rva, 4))
            return fail(error,
                        "export " + std::to_string(image->exportOrdinalBase + i)
                            + " points outside the image");
        image->exportRvas.push_back(rva);
    }
    for (uint32_t i = 0; i < names; ++i) {
        std::string name;
        uint16_t index = word(m.at(ordinalTable + 2 * i));
        if (!m.string(dword(m.at(nameTable + 4 * i)), &name) || index >= count)
            return fail(error, "an export name runs past the end of the image");
        image->exportNames.emplace_back(std::move(name), index);
    }
    return true;
}

// ---- Resources: the directory tree becomes a .res image, which resources.cpp serves ----------

void put16(std::vector<uint8_t> &out, uint16_t v)
{
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}
void put32(std::vector<uint8_t> &out, uint32_t v)
{
    put16(out, uint16_t(v));
    put16(out, uint16_t(v >> 16));
}
void pad4(std::vector<uint8_t> &out)
{
    while (out.size() % 4) out.push_back(0);
}

struct ResourceKey {
    bool isOrdinal = true;
    uint16_t ordinal = 0;
    std::vector<uint16_t> text;
};

void putKey(std::vector<uint8_t> &out, const ResourceKey &key)
{
    if (key.isOrdinal) {
        put16(out, 0xFFFF);
        put16(out, key.ordinal);
        return;
    }
    for (uint16_t unit : key.text) put16(out, unit);
    put16(out, 0);
}

void putRecord(std::vector<uint8_t> &out, const ResourceKey &type, const ResourceKey &name, uint16_t language,
               const uint8_t *data, uint32_t size)
{
    std::vector<uint8_t> keys;
    putKey(keys, type);
    putKey(keys, name);
    pad4(keys);
    put32(out, size);
    put32(out, uint32_t(8 + keys.size() + 16));
    out.insert(out.end(), keys.begin(), keys.end());
    put32(out, 0);        // DataVersion
    put16(out, 0x1030);   // MemoryFlags: moveable, pure, discardable
    put16(out, language);
    put32(out, 0);   // Version
    put32(out, 0);   // Characteristics
    out.insert(out.end(), data, data + size);
    pad4(out);
}

class ResourceReader {
public:
    ResourceReader(const Mapped &m, DataDirectory dir, std::vector<uint8_t> *out, std::string *error)
        : m_(m), dir_(dir), out_(out), error_(error)
    { }

    bool read()
    {
        ResourceKey zero;
        putRecord(*out_, zero, zero, 0, nullptr, 0);   // the empty record that marks a .res file
        ResourceKey path[kResourceLevels];
        return directory(0, 0, path);
    }

private:
    bool inTree(uint32_t offset, uint32_t size) const
    {
        return offset <= dir_.size && size <= dir_.size - offset;
    }

    bool key(uint32_t field, ResourceKey *key)
    {
        if (!(field & 0x80000000u)) {
            if (field > 0xFFFF) return fail(error_, "a resource id is out of range");
            *key = ResourceKey{true, uint16_t(field), {}};
            return true;
        }
        uint32_t offset = field & 0x7FFFFFFFu;
        if (!inTree(offset, 2)) return fail(error_, "a resource name lies outside the resource section");
        uint16_t length = word(m_.at(dir_.rva + offset));
        if (!inTree(offset + 2, uint32_t(length) * 2))
            return fail(error_, "a resource name runs past the resource section");
        key->isOrdinal = false;
        key->text.clear();
        for (uint16_t i = 0; i < length; ++i) key->text.push_back(word(m_.at(dir_.rva + offset + 2 + 2 * i)));
        return true;
    }

    bool directory(uint32_t offset, int level, ResourceKey *path)
    {
        if (!inTree(offset, 16))
            return fail(error_, "a resource directory lies outside the resource section");
        const uint8_t *d = m_.at(dir_.rva + offset);
        uint32_t entries = uint32_t(word(d + 12)) + word(d + 14);
        if (!inTree(offset + 16, entries * 8))
            return fail(error_, "a resource directory's entries run past the resource section");
        for (uint32_t i = 0; i < entries; ++i) {
            if (++walked_ > kMaxResourceEntries)
                return fail(error_, "the resource tree has more than 65536 entries");
            const uint8_t *e = d + 16 + 8 * i;
            uint32_t target = dword(e + 4);
            bool isDirectory = target & 0x80000000u;
            if (level < kResourceLevels && !key(dword(e), &path[level])) return false;
            if (isDirectory != (level < kResourceLevels - 1))
                return fail(error_, "the resource tree is not three levels deep (type, name, language)");
            if (isDirectory) {
                if (!directory(target & 0x7FFFFFFFu, level + 1, path)) return false;
                continue;
            }
            if (!inTree(target, 16))
                return fail(error_, "a resource data entry lies outside the resource section");
            uint32_t dataRva = dword(m_.at(dir_.rva + target)), size = dword(m_.at(dir_.rva + target + 4));
            if (!m_.holds(dataRva, size)) return fail(error_, "resource data lies outside the image");
            if (++count_ > kMaxResources) return fail(error_, "more than 4096 resources");
            putRecord(*out_, path[0], path[1], path[2].ordinal, m_.at(dataRva), size);
        }
        return true;
    }

    const Mapped &m_;
    DataDirectory dir_;
    std::vector<uint8_t> *out_;
    std::string *error_;
    size_t count_ = 0;
    size_t walked_ = 0;
};

}   // namespace

std::string machineName(uint16_t machine)
{
    const char *name = machine == kMachineArm ? "ARM"
        : machine == kMachineAmd64            ? "x86-64"
        : machine == 0x0166                   ? "MIPS R4000"
        : machine == 0x01A2                   ? "SH-3"
        : machine == 0x014C                   ? "x86"
                                              : nullptr;
    return name ? std::string(name) + " (" + hex(machine, 4) + ")" : "machine " + hex(machine, 4);
}

bool readImage(std::span<const uint8_t> file, Image *image, std::string *error)
{
    *image = Image{};
    if (file.size() < 64 || file[0] != 'M' || file[1] != 'Z')
        return fail(error, "not a PE image (no MZ header)");
    uint32_t pe = dword(&file[60]);
    if (pe > file.size() || file.size() - pe < 4 + kCoffHeaderSize)
        return fail(error,
                    "the PE header is cut short (the file has " + std::to_string(file.size()) + " bytes)");
    if (std::memcmp(&file[pe], "PE\0\0", 4) != 0)
        return fail(error, "not a PE image (no PE signature where the MZ header points)");
    const uint8_t *coff = &file[pe + 4];
    image->machine = word(coff);
    uint16_t sectionCount = word(coff + 2), optionalSize = word(coff + 16), characteristics = word(coff + 18);
    size_t optional = pe + 4 + kCoffHeaderSize;
    if (optionalSize < kDirectoriesOffset || file.size() - optional < optionalSize)
        return fail(error, "the optional header is cut short");
    const uint8_t *opt = &file[optional];
    if (word(opt) != kPe32Magic)
        return fail(error, "not a PE32 image (optional header magic " + hex(word(opt), 4) + ")");
    if (!(characteristics & kFileDll)) return fail(error, "the image is not a library (DLL flag not set)");
    image->entryRva = dword(opt + 16);
    image->preferredBase = dword(opt + 28);
    uint32_t imageSize = dword(opt + 56), headersSize = dword(opt + 60), directoryCount = dword(opt + 92);
    if (imageSize == 0 || imageSize > kMaxImageSize)
        return fail(error, "image size " + std::to_string(imageSize) + " is out of range (at most 16 MB)");
    if (headersSize > file.size() || headersSize > imageSize)
        return fail(error, "the headers lie outside the file or the image");
    if (image->preferredBase % 0x10000 != 0 || uint64_t(image->preferredBase) + imageSize > 0x80000000u)
        return fail(error, "image base " + hex(image->preferredBase) + " is not a library's");
    DataDirectory dirs[16];
    directoryCount
        = std::min<uint32_t>(directoryCount, std::min<uint32_t>(16, (optionalSize - kDirectoriesOffset) / 8));
    for (uint32_t i = 0; i < directoryCount; ++i)
        dirs[i] = {dword(opt + kDirectoriesOffset + 8 * i), dword(opt + kDirectoriesOffset + 8 * i + 4)};

    size_t sections = optional + optionalSize;
    if (sectionCount == 0 || sectionCount > 96
        || (file.size() - sections) / kSectionHeaderSize < sectionCount)
        return fail(error, "the section table is cut short or empty");
    image->mapped.assign(imageSize, 0);
    std::memcpy(image->mapped.data(), file.data(), headersSize);
    for (uint16_t i = 0; i < sectionCount; ++i) {
        const uint8_t *s = &file[sections + i * kSectionHeaderSize];
        std::string name(reinterpret_cast<const char *>(s), strnlen(reinterpret_cast<const char *>(s), 8));
        uint32_t virtualSize = dword(s + 8), rva = dword(s + 12), rawSize = dword(s + 16),
                 rawOffset = dword(s + 20);
        uint32_t copied = virtualSize ? std::min(virtualSize, rawSize) : rawSize;
        uint32_t extent = std::max(virtualSize, copied);
        if (rva < headersSize || rva > imageSize || extent > imageSize - rva)
            return fail(error, "section " + name + " lies outside the image");
        if (copied && (rawOffset > file.size() || copied > file.size() - rawOffset))
            return fail(error, "section " + name + " lies outside the file");
        if (copied) std::memcpy(&image->mapped[rva], &file[rawOffset], copied);
    }
    if (image->entryRva != 0 && image->entryRva >= imageSize)
        return fail(error, "the entry point lies outside the image");

    Mapped m(image->mapped);
    if (!readRelocations(m, dirs[kBaseRelocation], image, error)) return false;
    if (!readImports(m, dirs[kImport], image, error)) return false;
    if (!readExports(m, dirs[kExport], image, error)) return false;
    if (dirs[kResource].size != 0) {
        if (!m.holds(dirs[kResource].rva, dirs[kResource].size))
            return fail(error, "the resource section lies outside the image");
        if (!ResourceReader(m, dirs[kResource], &image->resources, error).read()) return false;
    }
    return true;
}

void relocate(uint8_t *mapped, const std::vector<uint32_t> &fixups, uint32_t delta)
{
    for (uint32_t rva : fixups) {
        uint32_t value;
        std::memcpy(&value, mapped + rva, 4);
        value += delta;
        std::memcpy(mapped + rva, &value, 4);
    }
}

void relocate(Image &image, uint32_t delta)
{
    relocate(image.mapped.data(), image.fixups, delta);
}

}   // namespace pe
