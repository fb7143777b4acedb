// The setup record of a Windows CE cabinet (the member whose name ends in ".000"): the offsets of
// its header fields, the fixed parts of its entries and the values they hold. Shared by our
// writer and by the emulated device's installer, which reads and checks it.
#ifndef DURVO_SETUP_PACKAGE_SETUP_RECORD_FORMAT_H
#define DURVO_SETUP_PACKAGE_SETUP_RECORD_FORMAT_H

#include <cstddef>
#include <cstdint>

namespace package::ce {

inline constexpr uint8_t kSignature[4] = {'M', 'S', 'C', 'E'};
constexpr uint32_t kFormat = 1;

// The fixed header; the header strings follow it.
constexpr size_t kHeaderSize = 100;
constexpr size_t kSignatureAt = 0;
constexpr size_t kReserved1At = 4;
constexpr size_t kLengthAt = 8;   // the whole record
constexpr size_t kReserved2At = 12;
constexpr size_t kFormatAt = 16;
constexpr size_t kProcessorAt = 20;
constexpr size_t kMinOsMajorAt = 24;
constexpr size_t kMinOsMinorAt = 28;
constexpr size_t kMaxOsMajorAt = 32;
constexpr size_t kMaxOsMinorAt = 36;
constexpr size_t kMinBuildAt = 40;
constexpr size_t kMaxBuildAt = 44;
constexpr size_t kStringCountAt = 48;   // 16-bit counts of the six sections
constexpr size_t kDirectoryCountAt = 50;
constexpr size_t kFileCountAt = 52;
constexpr size_t kKeyCountAt = 54;
constexpr size_t kValueCountAt = 56;
constexpr size_t kShortcutCountAt = 58;
constexpr size_t kStringsAt = 60;   // 32-bit offsets of the six sections
constexpr size_t kDirectoriesAt = 64;
constexpr size_t kFilesAt = 68;
constexpr size_t kKeysAt = 72;
constexpr size_t kValuesAt = 76;
constexpr size_t kShortcutsAt = 80;
constexpr size_t kAppNameAt = 84;   // 16-bit offset and length (NUL included)
constexpr size_t kAppNameLengthAt = 86;
constexpr size_t kProviderAt = 88;
constexpr size_t kProviderLengthAt = 90;
constexpr size_t kUnsupportedAt = 92;   // NUL-terminated names closed by one more NUL
constexpr size_t kUnsupportedLengthAt = 94;
constexpr size_t kReserved3At = 96;

// Fixed parts of the entries; each begins with its own 16-bit identifier.
// String: id, length, then `length` bytes of 8-bit text with its NUL.
constexpr size_t kStringFixed = 4;
// Directory: id, length, then `length` bytes of 16-bit string ids ending in 0.
constexpr size_t kDirectoryFixed = 4;
// File: id, directory id, member number, copy flags (32), name length, then the name with its NUL.
constexpr size_t kFileFixed = 12;
constexpr size_t kFileDirectoryAt = 2;
constexpr size_t kFileMemberAt = 4;
constexpr size_t kFileFlagsAt = 6;
constexpr size_t kFileNameLengthAt = 10;
// Registry key: id, root, reserved, length, then `length` bytes of string ids ending in 0.
constexpr size_t kKeyFixed = 8;
constexpr size_t kKeyRootAt = 2;
constexpr size_t kKeyReservedAt = 4;
constexpr size_t kKeyLengthAt = 6;
// Registry value: id, key id, reserved, kind (32), length, then `length` bytes: the value name
// with its NUL directly followed by the data.
constexpr size_t kValueFixed = 12;
constexpr size_t kValueKeyAt = 2;
constexpr size_t kValueReservedAt = 4;
constexpr size_t kValueKindAt = 6;
constexpr size_t kValueLengthAt = 10;

// Target processors.
constexpr uint32_t kProcessorAny = 0;
constexpr uint32_t kProcessorStrongArm = 2577;     // PROCESSOR_STRONGARM
constexpr uint32_t kProcessorMipsR4000 = 4000;     // PROCESSOR_MIPS_R4000
constexpr uint32_t kProcessorHitachiSh3 = 10003;   // PROCESSOR_HITACHI_SH3
// The development device of durvo-today, which runs the plug-in built for the machine it runs
// on, as the SDK's x86 emulator ran x86 builds. Its cabinet is never shipped.
constexpr uint32_t kProcessorAmdX8664 = 8664;   // PROCESSOR_AMD_X8664

// How messages name a processor value.
constexpr const char *processorName(uint32_t processor)
{
    switch (processor) {
    case kProcessorAny: return "any";
    case kProcessorStrongArm: return "StrongARM";
    case kProcessorMipsR4000: return "MIPS R4000";
    case kProcessorHitachiSh3: return "Hitachi SH3";
    case kProcessorAmdX8664: return "x86-64";
    default: return "unknown";
    }
}

// Copy flags of a file entry.
constexpr uint32_t kCopyWarnIfSkip = 0x00000001;    // COPYFLG_WARN_IF_SKIP
constexpr uint32_t kCopyNoSkip = 0x00000002;        // COPYFLG_NOSKIP
constexpr uint32_t kCopyNoDateCheck = 0x40000000;   // CE_COPYFLG_NODATECHECK

// Registry roots of a key entry.
constexpr uint16_t kRootClassesRoot = 1;
constexpr uint16_t kRootCurrentUser = 2;
constexpr uint16_t kRootLocalMachine = 3;
constexpr uint16_t kRootUsers = 4;

// The kind of a registry value: the add-registry flags.
constexpr uint32_t kAddRegBinary = 0x00000001;      // FLG_ADDREG_BINARY
constexpr uint32_t kAddRegNoClobber = 0x00000002;   // FLG_ADDREG_NOCLOBBER
constexpr uint32_t kAddRegTypeMask = 0xFFFF0000 | kAddRegBinary;
constexpr uint32_t kAddRegTypeSz = 0x00000000;          // FLG_ADDREG_TYPE_SZ
constexpr uint32_t kAddRegTypeMultiSz = 0x00010000;     // FLG_ADDREG_TYPE_MULTI_SZ
constexpr uint32_t kAddRegTypeExpandSz = 0x00020000;    // FLG_ADDREG_TYPE_EXPAND_SZ
constexpr uint32_t kAddRegTypeBinary = kAddRegBinary;   // FLG_ADDREG_TYPE_BINARY
constexpr uint32_t kAddRegTypeDword = 0x00010001;       // FLG_ADDREG_TYPE_DWORD

// The installer's name for the device's \Windows folder, used as a directory's path.
inline constexpr char kWindowsFolderMacro[] = "%CE2%";

// The suffix of a cabinet member: ".000" is the setup record, ".NNN" the member of file
// entries with member number NNN.
constexpr size_t kMemberSuffixDigits = 3;

}   // namespace package::ce

#endif
