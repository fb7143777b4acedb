// The Microsoft Cabinet ("MSCF") layout: offsets of the fields of each structure, the values
// this package writes and the format's limits. Shared by our writer and by the device
// installer's own checks; the data itself is read by libmspack.
#ifndef DURVO_SETUP_PACKAGE_CABINET_FORMAT_H
#define DURVO_SETUP_PACKAGE_CABINET_FORMAT_H

#include <cstddef>
#include <cstdint>

namespace package::cab {

// CFHEADER, at the start of the file.
inline constexpr uint8_t kSignature[4] = {'M', 'S', 'C', 'F'};
constexpr size_t kHeaderSize = 36;
constexpr size_t kHeaderSignature = 0;
constexpr size_t kHeaderReserved1 = 4;
constexpr size_t kHeaderCabinetBytes = 8;   // cbCabinet: the whole file
constexpr size_t kHeaderReserved2 = 12;
constexpr size_t kHeaderFilesOffset = 16;   // coffFiles: the first CFFILE
constexpr size_t kHeaderReserved3 = 20;
constexpr size_t kHeaderVersionMinor = 24;
constexpr size_t kHeaderVersionMajor = 25;
constexpr size_t kHeaderFolderCount = 26;
constexpr size_t kHeaderFileCount = 28;
constexpr size_t kHeaderFlags = 30;
constexpr size_t kHeaderSetId = 32;
constexpr size_t kHeaderCabinetIndex = 34;   // iCabinet: place in a set of cabinets

constexpr uint8_t kVersionMajor = 1;
constexpr uint8_t kVersionMinor = 3;

// Header flags. A cabinet that is part of a spanning set names its neighbours; one with
// reserved areas carries their sizes after the fixed header.
constexpr uint16_t kFlagPreviousCabinet = 0x0001;
constexpr uint16_t kFlagNextCabinet = 0x0002;
constexpr uint16_t kFlagReservePresent = 0x0004;

// CFFOLDER, one per folder, directly after the header when no reserved areas are present.
constexpr size_t kFolderSize = 8;
constexpr size_t kFolderFirstData = 0;     // coffCabStart: the folder's first CFDATA
constexpr size_t kFolderDataCount = 4;     // cCFData
constexpr size_t kFolderCompression = 6;   // typeCompress
constexpr uint16_t kCompressionNone = 0;

// CFFILE, one per member: a fixed part, then the name and its NUL.
constexpr size_t kFileFixedSize = 16;
constexpr size_t kFileBytes = 0;          // cbFile
constexpr size_t kFileFolderOffset = 4;   // uoffFolderStart: where the member begins in its folder's data
constexpr size_t kFileFolder = 8;         // iFolder
constexpr size_t kFileDate = 10;
constexpr size_t kFileTime = 12;
constexpr size_t kFileAttributes = 14;
constexpr size_t kFileName = 16;
constexpr uint16_t kAttributeArchive = 0x0020;   // _A_ARCH
constexpr uint16_t kAttributeNameIsUtf8 = 0x0080;

// CFDATA, one per block of a folder's data: a header, then the block's bytes.
constexpr size_t kDataHeaderSize = 8;
constexpr size_t kDataChecksum = 0;      // csum; 0 means none
constexpr size_t kDataStoredBytes = 4;   // cbData: bytes that follow in the file
constexpr size_t kDataPlainBytes = 6;    // cbUncomp: bytes the block stands for

// A block stands for at most 32 KB of a folder's data (the format's block size).
constexpr size_t kMaxBlockBytes = 32768;
// cCFData is 16 bits, so a folder holds at most this many blocks and bytes.
constexpr size_t kMaxBlocks = 65535;
constexpr uint64_t kMaxFolderBytes = uint64_t{kMaxBlockBytes} * kMaxBlocks;
// cFiles is 16 bits.
constexpr size_t kMaxMembers = 65535;
// Readers take member names of up to 255 bytes before the NUL.
constexpr size_t kMaxNameBytes = 255;

}   // namespace package::cab

#endif
