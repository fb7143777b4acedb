#include "cabinet_reader.h"

#include <cabinet_format.h>
#include <little_endian.h>

#include <mspack.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

namespace host {
namespace {

namespace cab = package::cab;
namespace le = package::le;

// ---- libmspack's system interface over memory ------------------------------------------------
// The "file name" libmspack hands to open() is ours to define: a Source for the cabinet, a Sink
// for an extracted member.
struct Source {
    std::span<const uint8_t> bytes;
};
struct Sink {
    std::vector<uint8_t> *bytes;
    size_t limit;
};
struct MemoryFile {
    const Source *source = nullptr;
    Sink *sink = nullptr;
    size_t position = 0;
};

MemoryFile *asMemory(mspack_file *file)
{
    return reinterpret_cast<MemoryFile *>(file);
}

mspack_file *memoryOpen(mspack_system *, const char *name, int mode)
{
    auto *file = new (std::nothrow) MemoryFile;
    if (!file) return nullptr;
    if (mode == MSPACK_SYS_OPEN_READ) {
        file->source = reinterpret_cast<const Source *>(name);
    } else if (mode == MSPACK_SYS_OPEN_WRITE) {
        file->sink = reinterpret_cast<Sink *>(const_cast<char *>(name));
        file->sink->bytes->clear();
    } else {
        delete file;
        return nullptr;
    }
    return reinterpret_cast<mspack_file *>(file);
}

void memoryClose(mspack_file *file)
{
    delete asMemory(file);
}

int memoryRead(mspack_file *handle, void *buffer, int bytes)
{
    MemoryFile *file = asMemory(handle);
    if (!file->source || bytes < 0) return -1;
    size_t size = file->source->bytes.size();
    size_t count = std::min(static_cast<size_t>(bytes), size - std::min(size, file->position));
    if (count > 0) std::memcpy(buffer, file->source->bytes.data() + file->position, count);
    file->position += count;
    return static_cast<int>(count);
}

int memoryWrite(mspack_file *handle, void *buffer, int bytes)
{
    MemoryFile *file = asMemory(handle);
    if (!file->sink || bytes < 0) return -1;
    std::vector<uint8_t> &out = *file->sink->bytes;
    if (static_cast<size_t>(bytes) > file->sink->limit - out.size()) return -1;
    auto *from = static_cast<const uint8_t *>(buffer);
    out.insert(out.end(), from, from + bytes);
    return bytes;
}

int memorySeek(mspack_file *handle, off_t offset, int mode)
{
    MemoryFile *file = asMemory(handle);
    if (!file->source) return -1;
    off_t size = static_cast<off_t>(file->source->bytes.size());
    off_t base = mode == MSPACK_SYS_SEEK_START ? 0
        : mode == MSPACK_SYS_SEEK_CUR          ? static_cast<off_t>(file->position)
        : mode == MSPACK_SYS_SEEK_END          ? size
                                               : -1;
    if (base < 0 || offset < -base || offset > size - base) return -1;
    file->position = static_cast<size_t>(base + offset);
    return 0;
}

off_t memoryTell(mspack_file *handle)
{
    return static_cast<off_t>(asMemory(handle)->position);
}

// libmspack's warnings repeat what its error codes say; ours are the messages shown.
void memoryMessage(mspack_file *, const char *, ...) { }

void *memoryAlloc(mspack_system *, size_t bytes)
{
    return std::malloc(bytes);
}
void memoryFree(void *pointer)
{
    std::free(pointer);
}
void memoryCopy(void *from, void *to, size_t bytes)
{
    std::memcpy(to, from, bytes);
}

mspack_system memorySystem = {memoryOpen,    memoryClose, memoryRead, memoryWrite, memorySeek, memoryTell,
                              memoryMessage, memoryAlloc, memoryFree, memoryCopy,  nullptr};

std::string number(uint64_t n)
{
    return std::to_string(n);
}

// libmspack's own name for a code, for the messages that have no better words.
std::string codeName(int code)
{
    switch (code) {
    case MSPACK_ERR_ARGS: return "MSPACK_ERR_ARGS, bad arguments";
    case MSPACK_ERR_OPEN: return "MSPACK_ERR_OPEN, cannot open";
    case MSPACK_ERR_READ: return "MSPACK_ERR_READ, read error";
    case MSPACK_ERR_WRITE: return "MSPACK_ERR_WRITE, write error";
    case MSPACK_ERR_SEEK: return "MSPACK_ERR_SEEK, seek error";
    case MSPACK_ERR_NOMEMORY: return "MSPACK_ERR_NOMEMORY, out of memory";
    case MSPACK_ERR_SIGNATURE: return "MSPACK_ERR_SIGNATURE, bad signature";
    case MSPACK_ERR_DATAFORMAT: return "MSPACK_ERR_DATAFORMAT, bad data format";
    case MSPACK_ERR_CHECKSUM: return "MSPACK_ERR_CHECKSUM, bad checksum";
    case MSPACK_ERR_CRUNCH: return "MSPACK_ERR_CRUNCH, compression error";
    case MSPACK_ERR_DECRUNCH: return "MSPACK_ERR_DECRUNCH, decompression error";
    default: return "unknown code";
    }
}

// Our own checks of the fixed header, before libmspack reads anything.
bool checkHeader(std::span<const uint8_t> bytes, std::string *error)
{
    if (bytes.size() < sizeof cab::kSignature
        || !std::equal(std::begin(cab::kSignature), std::end(cab::kSignature), bytes.begin())) {
        *error = "not a cabinet: it does not begin with \"MSCF\"";
        return false;
    }
    if (bytes.size() < cab::kHeaderSize) {
        *error = "short header: the file ends at byte " + number(bytes.size()) + " of the "
            + number(cab::kHeaderSize) + "-byte cabinet header";
        return false;
    }
    uint32_t declared = le::get32(bytes, cab::kHeaderCabinetBytes);
    if (declared > bytes.size()) {
        *error = "cut short: the header gives " + number(declared) + " bytes, the file ends after "
            + number(bytes.size());
        return false;
    }
    if (declared < bytes.size()) {
        *error = "the header gives " + number(declared) + " bytes, but the file has "
            + number(bytes.size() - declared) + " more after them";
        return false;
    }
    uint8_t major = bytes[cab::kHeaderVersionMajor], minor = bytes[cab::kHeaderVersionMinor];
    if (major != cab::kVersionMajor || minor != cab::kVersionMinor) {
        *error = "cabinet format version " + number(major) + "." + number(minor) + "; the device reads 1.3";
        return false;
    }
    uint16_t flags = le::get16(bytes, cab::kHeaderFlags);
    if (flags & (cab::kFlagPreviousCabinet | cab::kFlagNextCabinet)) {
        *error = "the cabinet is one part of a set spanning several cabinets; the device installs single "
                 "cabinets";
        return false;
    }
    if (le::get16(bytes, cab::kHeaderFolderCount) == 0) {
        *error = "the cabinet has no folder";
        return false;
    }
    if (le::get16(bytes, cab::kHeaderFileCount) == 0) {
        *error = "the cabinet has no members";
        return false;
    }
    uint32_t files = le::get32(bytes, cab::kHeaderFilesOffset);
    if (files < cab::kHeaderSize || files >= bytes.size()) {
        *error = "the member list (offset " + number(files) + ") lies outside the cabinet's "
            + number(bytes.size()) + " bytes";
        return false;
    }
    return true;
}

std::string openError(int code)
{
    switch (code) {
    case MSPACK_ERR_SIGNATURE: return "not a cabinet: it does not begin with \"MSCF\"";
    case MSPACK_ERR_READ: return "the folder or member list runs past the end of the cabinet";
    case MSPACK_ERR_NOMEMORY: return "out of memory while reading the cabinet's lists";
    case MSPACK_ERR_DATAFORMAT:
        return "the folder or member list is damaged (a member names no folder, or lies beyond the "
               "largest folder a cabinet can hold)";
    default:
        return "the cabinet cannot be read (libmspack error " + number(code) + ": " + codeName(code) + ")";
    }
}

std::string extractError(int code, const std::string &member, bool compressed)
{
    // Without compression, the copying "decompressor" fails only when the folder's blocks end
    // before the member does.
    if (code == MSPACK_ERR_DECRUNCH && !compressed) code = MSPACK_ERR_DATAFORMAT;
    switch (code) {
    case MSPACK_ERR_CHECKSUM: return "bad checksum: a data block of member " + member + " is damaged";
    case MSPACK_ERR_READ: return "member " + member + ": its data runs past the end of the cabinet";
    case MSPACK_ERR_DATAFORMAT:
        return "member " + member + ": its data lies outside its folder's data blocks, or a block is damaged";
    case MSPACK_ERR_DECRUNCH: return "member " + member + ": its compressed data cannot be unpacked";
    case MSPACK_ERR_WRITE: return "member " + member + " unpacks into more than it says it holds";
    case MSPACK_ERR_NOMEMORY: return "out of memory while unpacking member " + member;
    default:
        return "member " + member + " cannot be extracted (libmspack error " + number(code) + ": "
            + codeName(code) + ")";
    }
}

}   // namespace

struct CabinetReader::Library {
    Source source;
    mscab_decompressor *decompressor = nullptr;
    mscabd_cabinet *cabinet = nullptr;
    std::vector<mscabd_file *> files;

    ~Library()
    {
        if (cabinet) decompressor->close(decompressor, cabinet);
        if (decompressor) mspack_destroy_cab_decompressor(decompressor);
    }
};

CabinetReader::CabinetReader(std::span<const uint8_t> bytes) : bytes_(bytes) { }

CabinetReader::~CabinetReader() = default;

bool CabinetReader::open(std::string *error)
{
    if (!checkHeader(bytes_, error)) return false;

    int selfTest = MSPACK_ERR_OK;
    MSPACK_SYS_SELFTEST(selfTest);
    if (selfTest != MSPACK_ERR_OK) {
        *error = "libmspack was built with another file offset size than this program";
        return false;
    }
    library_ = std::make_unique<Library>();
    library_->source.bytes = bytes_;
    library_->decompressor = mspack_create_cab_decompressor(&memorySystem);
    if (!library_->decompressor) {
        *error = "out of memory for libmspack";
        return false;
    }
    auto *d = library_->decompressor;
    library_->cabinet = d->open(d, reinterpret_cast<const char *>(&library_->source));
    if (!library_->cabinet) {
        *error = openError(d->last_error(d));
        return false;
    }
    for (mscabd_file *f = library_->cabinet->files; f; f = f->next) {
        library_->files.push_back(f);
        members_.push_back({f->filename, f->length});
    }
    return true;
}

bool CabinetReader::extract(size_t index, std::vector<uint8_t> *data, std::string *error)
{
    const Member &member = members_.at(index);
    if (member.size > kMaxMemberBytes) {
        *error = "member " + member.name + " holds " + number(member.size)
            + " bytes; the device takes at most " + number(kMaxMemberBytes);
        return false;
    }
    mscabd_file *file = library_->files[index];
    // A block stands for at most 32 KB, so a member that ends past the folder's blocks is
    // known to be out of reach before anything is unpacked.
    uint64_t folderLimit = uint64_t{file->folder->num_blocks} * cab::kMaxBlockBytes;
    if (uint64_t{file->offset} + file->length > folderLimit) {
        *error = "member " + member.name + " (bytes " + number(file->offset) + " to "
            + number(uint64_t{file->offset} + file->length)
            + " of its folder) lies beyond the folder's data (" + number(file->folder->num_blocks)
            + (file->folder->num_blocks == 1 ? " block" : " blocks") + " of at most "
            + number(cab::kMaxBlockBytes) + " bytes)";
        return false;
    }
    unpacked_ += uint64_t{file->offset} + file->length;
    if (unpacked_ > kMaxUnpackBytes) {
        *error = "member " + member.name + ": reaching it would unpack more than " + number(kMaxUnpackBytes)
            + " bytes of the cabinet's folders";
        return false;
    }
    data->clear();
    Sink sink{data, member.size};
    auto *d = library_->decompressor;
    int code = d->extract(d, file, reinterpret_cast<const char *>(&sink));
    if (code != MSPACK_ERR_OK) {
        bool compressed = MSCABD_COMP_METHOD(file->folder->comp_type) != MSCAB_COMP_NONE;
        *error = extractError(code, member.name, compressed);
        return false;
    }
    if (data->size() != member.size) {
        *error = "member " + member.name + " unpacks into " + number(data->size()) + " bytes, not the "
            + number(member.size) + " it says it holds";
        return false;
    }
    return true;
}

}   // namespace host
