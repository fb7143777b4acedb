// FindResourceW and friends over a module's compiled resource image: the .res file that windres
// wrote, embedded in the library. The image is untrusted input; every length is checked before
// it is used, and an image with any defect holds no resources at all.
//
// A .res file is a sequence of records, each DWORD-aligned:
//   DWORD DataSize, DWORD HeaderSize,
//   TYPE, NAME        each 0xFFFF + WORD ordinal, or a NUL-terminated UTF-16 string,
//   (padding to a DWORD boundary)
//   DWORD DataVersion, WORD MemoryFlags, WORD LanguageId, DWORD Version, DWORD Characteristics,
//   then DataSize bytes of data at HeaderSize from the record's start, padded to a DWORD.
// The first record is an empty one (DataSize 0, TYPE ordinal 0) that marks the file's format.
#include "internal.h"
#include "module_image.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

constexpr size_t kDataSizeOffset = 0;
constexpr size_t kHeaderSizeOffset = 4;
constexpr size_t kTypeOffset = 8;
// DataVersion, MemoryFlags, LanguageId, Version, Characteristics.
constexpr size_t kHeaderTailSize = 4 + 2 + 2 + 4 + 4;
// The smallest header: the two sizes, TYPE and NAME as ordinals, and the tail.
constexpr size_t kMinHeaderSize = 4 + 4 + 4 + 4 + kHeaderTailSize;
constexpr WORD kOrdinalMarker = 0xFFFF;
constexpr size_t kAlignment = 4;

WORD readWord(const BYTE *p)
{
    return static_cast<WORD>(p[0] | (p[1] << 8));
}

DWORD readDword(const BYTE *p)
{
    return static_cast<DWORD>(p[0]) | (static_cast<DWORD>(p[1]) << 8) | (static_cast<DWORD>(p[2]) << 16)
        | (static_cast<DWORD>(p[3]) << 24);
}

size_t alignUp(size_t offset)
{
    return (offset + kAlignment - 1) & ~(kAlignment - 1);
}

// A TYPE or NAME field of a record.
struct Key {
    bool isOrdinal = false;
    WORD ordinal = 0;
    const BYTE *text = nullptr;   // UTF-16LE units, not terminated here
    size_t length = 0;            // in units
};

struct Record {
    Key type;
    Key name;
    const BYTE *data = nullptr;
    DWORD dataSize = 0;
    size_t next = 0;   // offset of the following record
};

enum class Image { Valid, Malformed };

// Reads a TYPE or NAME field that must end at or before `end`.
bool readKey(const BYTE *image, size_t *pos, size_t end, Key *key)
{
    if (end - *pos < sizeof(WORD)) {
        return false;
    }
    if (readWord(image + *pos) == kOrdinalMarker) {
        if (end - *pos < 2 * sizeof(WORD)) {
            return false;
        }
        key->isOrdinal = true;
        key->ordinal = readWord(image + *pos + sizeof(WORD));
        *pos += 2 * sizeof(WORD);
        return true;
    }
    size_t units = 0;
    for (size_t at = *pos;; at += sizeof(WORD), ++units) {
        if (end - at < sizeof(WORD)) {
            return false;   // no terminator inside the header
        }
        if (readWord(image + at) == 0) {
            break;
        }
    }
    key->isOrdinal = false;
    key->text = image + *pos;
    key->length = units;
    *pos += (units + 1) * sizeof(WORD);
    return true;
}

// Reads the record at `start`; false when any part of it lies outside the image.
bool readRecord(const BYTE *image, size_t size, size_t start, Record *record)
{
    if (start > size || size - start < kTypeOffset) {
        return false;
    }
    DWORD dataSize = readDword(image + start + kDataSizeOffset);
    DWORD headerSize = readDword(image + start + kHeaderSizeOffset);
    if (headerSize < kMinHeaderSize || headerSize > size - start) {
        return false;
    }
    size_t headerEnd = start + headerSize;
    size_t pos = start + kTypeOffset;
    if (!readKey(image, &pos, headerEnd, &record->type) || !readKey(image, &pos, headerEnd, &record->name)) {
        return false;
    }
    pos = alignUp(pos);
    if (pos > headerEnd || headerEnd - pos < kHeaderTailSize) {
        return false;
    }
    if (dataSize > size - headerEnd) {
        return false;
    }
    record->data = image + headerEnd;
    record->dataSize = dataSize;
    record->next = alignUp(headerEnd + dataSize);
    return true;
}

// Calls visit(record, offset) for every record in order, after checking the whole image; stops
// early when visit returns false.
template <typename Visit> Image walkImage(const BYTE *image, size_t size, Visit visit)
{
    Record first;
    if (!readRecord(image, size, 0, &first) || first.dataSize != 0 || !first.type.isOrdinal
        || first.type.ordinal != 0) {
        return Image::Malformed;
    }
    for (size_t at = first.next; at < size;) {
        Record r;
        if (!readRecord(image, size, at, &r)) {
            return Image::Malformed;
        }
        at = r.next;
    }
    for (size_t at = first.next; at < size;) {
        Record r;
        readRecord(image, size, at, &r);
        if (!visit(r, at)) {
            break;
        }
        at = r.next;
    }
    return Image::Valid;
}

// A name or type argument: an ordinal (MAKEINTRESOURCE or "#123") or a string compared without
// regard to case.
bool keyMatches(const Key &key, LPCWSTR wanted)
{
    WORD ordinal = 0;
    bool wantOrdinal = IS_INTRESOURCE(wanted);
    if (wantOrdinal) {
        ordinal = static_cast<WORD>(reinterpret_cast<uintptr_t>(wanted));
    } else if (wanted[0] == u'#' && wanted[1]) {
        DWORD value = 0;
        const WCHAR *p = wanted + 1;
        for (; *p >= u'0' && *p <= u'9' && value <= 0xFFFF; ++p) {
            value = value * 10 + static_cast<DWORD>(*p - u'0');
        }
        if (!*p && value <= 0xFFFF) {
            wantOrdinal = true;
            ordinal = static_cast<WORD>(value);
        }
    }
    if (wantOrdinal || key.isOrdinal) {
        return wantOrdinal && key.isOrdinal && key.ordinal == ordinal;
    }
    for (size_t i = 0; i < key.length; ++i) {
        WCHAR unit = static_cast<WCHAR>(readWord(key.text + i * sizeof(WORD)));
        if (!wanted[i] || internal::foldCase(unit) != internal::foldCase(wanted[i])) {
            return false;
        }
    }
    return wanted[key.length] == 0;
}

// The record that an HRSRC names: only a real record start of the module's image is accepted.
bool recordOf(HMODULE module, HRSRC resource, Record *out)
{
    if (!resource) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    if (!module) {
        module = internal::moduleHoldingAddress(resource);
    }
    const BYTE *image = nullptr;
    DWORD size = 0;
    if (!internal::moduleResourceImage(module, &image, &size) || !image) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    auto wanted = reinterpret_cast<const BYTE *>(resource);
    bool found = false;
    walkImage(image, size, [&](const Record &r, size_t at) {
        if (image + at == wanted) {
            *out = r;
            found = true;
        }
        return !found;
    });
    if (!found) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
    }
    return found;
}

}   // namespace

namespace internal {

bool resourceBytesFrom(const void *address, DWORD *bytesLeft)
{
    HMODULE module = moduleHoldingAddress(address);
    const BYTE *image = nullptr;
    DWORD size = 0;
    if (!module || !moduleResourceImage(module, &image, &size) || !image) {
        return false;
    }
    auto wanted = static_cast<const BYTE *>(address);
    bool found = false;
    walkImage(image, size, [&](const Record &r, size_t) {
        if (wanted >= r.data && wanted < r.data + r.dataSize) {
            *bytesLeft = static_cast<DWORD>(r.data + r.dataSize - wanted);
            found = true;
        }
        return !found;
    });
    return found;
}

}   // namespace internal

HRSRC WINAPI FindResourceW(HMODULE hModule, LPCWSTR lpName, LPCWSTR lpType)
{
    const BYTE *image = nullptr;
    DWORD size = 0;
    if (!internal::moduleResourceImage(hModule, &image, &size)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (!lpName || !lpType) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (!image || size == 0) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return nullptr;
    }
    bool typeSeen = false;
    const BYTE *found = nullptr;
    Image state = walkImage(image, size, [&](const Record &r, size_t at) {
        if (!keyMatches(r.type, lpType)) {
            return true;
        }
        typeSeen = true;
        if (keyMatches(r.name, lpName)) {
            found = image + at;
            return false;
        }
        return true;
    });
    if (state == Image::Malformed) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return nullptr;
    }
    if (!found) {
        SetLastError(typeSeen ? ERROR_RESOURCE_NAME_NOT_FOUND : ERROR_RESOURCE_TYPE_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<HRSRC>(const_cast<BYTE *>(found));
}

// Names and types by ordinal pass through; strings are widened from Windows-1252.
HRSRC WINAPI FindResourceA(HMODULE hModule, LPCSTR lpName, LPCSTR lpType)
{
    auto widen = [](LPCSTR text, std::u16string *storage) -> LPCWSTR {
        if (!text || IS_INTRESOURCE(text)) {
            return reinterpret_cast<LPCWSTR>(text);
        }
        *storage = internal::ansiToWide(text);
        return storage->c_str();
    };
    std::u16string name;
    std::u16string type;
    return FindResourceW(hModule, widen(lpName, &name), widen(lpType, &type));
}

HGLOBAL WINAPI LoadResource(HMODULE hModule, HRSRC hResInfo)
{
    Record r;
    if (!recordOf(hModule, hResInfo, &r)) {
        return nullptr;
    }
    return const_cast<BYTE *>(r.data);
}

DWORD WINAPI SizeofResource(HMODULE hModule, HRSRC hResInfo)
{
    Record r;
    return recordOf(hModule, hResInfo, &r) ? r.dataSize : 0;
}

// Resource data stays where the image is for as long as the module is loaded.
LPVOID WINAPI LockResource(HGLOBAL hResData)
{
    return hResData;
}
