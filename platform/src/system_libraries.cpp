// The device's system libraries for loaded CE libraries: one table per library, the one place
// that says which calls the device offers, and on the ARM device the entry thunks that let CE
// code call them.
//
// CE code on ARM keeps its stack aligned to 4 bytes; this platform's code (armhf) may rely on 8
// at every call. Each import is bound to a small thunk, made from the table, that loads the
// call's address and jumps to one bridge: the bridge saves the caller's stack pointer, aligns the
// stack down to 8, copies the caller's stack arguments (the first four travel in r0-r3), calls,
// and returns on the caller's stack. Calls the other way (window and dialog procedures, timer
// callbacks, the exports) need nothing: an 8-aligned stack is 4-aligned, and CE code returns with
// a move to pc, which on this processor goes back to ARM or Thumb code as the caller was.
#include "system_libraries.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <map>

#if defined(__arm__)
#include <sys/mman.h>
#endif

namespace {

struct SystemCall {
    const char *name;
    FARPROC address;
};

template <typename F> FARPROC procOf(F *function)
{
    // Through void (*)(): the one function type every other converts to without a warning.
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(function));
}

// COREDLL's floating-point emulation: doubles travel in core registers (r0:r1, r2:r3), which
// the base procedure call standard gives; armhf code otherwise passes them in VFP registers.
#if defined(__arm__)
#define SOFT_FLOAT __attribute__((pcs("aapcs")))
#else
#define SOFT_FLOAT
#endif
SOFT_FLOAT double addd(double a, double b)
{
    return a + b;
}
SOFT_FLOAT double subd(double a, double b)
{
    return a - b;
}
SOFT_FLOAT double muld(double a, double b)
{
    return a * b;
}
SOFT_FLOAT double divd(double a, double b)
{
    return a / b;
}
// Out-of-range conversions saturate, as the device's helpers do, instead of being undefined.
template <typename T> SOFT_FLOAT T toInteger(double a)
{
    if (!(a == a)) return 0;
    if (a <= static_cast<double>(std::numeric_limits<T>::min())) return std::numeric_limits<T>::min();
    if (a >= static_cast<double>(std::numeric_limits<T>::max())) return std::numeric_limits<T>::max();
    return static_cast<T>(a);
}
SOFT_FLOAT int dtoi(double a)
{
    return toInteger<int>(a);
}
SOFT_FLOAT unsigned dtou(double a)
{
    return toInteger<unsigned>(a);
}
SOFT_FLOAT long long dtoi64(double a)
{
    return toInteger<long long>(a);
}
SOFT_FLOAT double itod(int a)
{
    return a;
}
SOFT_FLOAT double utod(unsigned a)
{
    return a;
}
SOFT_FLOAT double i64tod(long long a)
{
    return static_cast<double>(a);
}
SOFT_FLOAT double u64tod(unsigned long long a)
{
    return static_cast<double>(a);
}

// clang-format off
#define CALL(name) {#name, procOf(&name)}
#define OVERLOAD(name, type) {#name, procOf(static_cast<type>(&name))}
// clang-format on

const SystemCall kCoreDll[] = {
    CALL(AdjustWindowRectEx),
    CALL(AppendMenuW),
    CALL(BeginPaint),
    CALL(CheckRadioButton),
    CALL(ClientToScreen),
    CALL(CloseHandle),
    CALL(CreateDirectoryW),
    CALL(CreateFileW),
    CALL(CreateFontIndirectW),
    CALL(CreateMenu),
    CALL(CreatePopupMenu),
    CALL(CreateSolidBrush),
    CALL(CreateWindowExW),
    CALL(DefDlgProcW),
    CALL(DefWindowProcW),
    CALL(DeleteFileW),
    CALL(DeleteObject),
    CALL(DestroyIcon),
    CALL(DestroyMenu),
    CALL(DestroyWindow),
    CALL(DialogBoxIndirectParamW),
    CALL(DispatchMessageW),
    CALL(DrawIconEx),
    CALL(DrawTextW),
    CALL(EnableWindow),
    CALL(EndDialog),
    CALL(EndPaint),
    CALL(EnumWindows),
    CALL(FileTimeToSystemTime),
    CALL(FillRect),
    CALL(FindResourceW),
    CALL(FindWindowW),
    CALL(FreeLibrary),
    CALL(GetClassInfoW),
    CALL(GetClassNameW),
    CALL(GetClientRect),
    CALL(GetDC),
    CALL(GetDateFormatW),
    CALL(GetDesktopWindow),
    CALL(GetDeviceCaps),
    CALL(GetDialogBaseUnits),
    CALL(GetDlgCtrlID),
    CALL(GetDlgItem),
    CALL(GetDlgItemTextW),
    CALL(GetLastError),
    CALL(GetLocalTime),
    CALL(GetMessageW),
    CALL(GetModuleHandleW),
    CALL(GetObjectW),
    CALL(GetParent),
    CALL(GetProcAddressW),
    CALL(GetStockObject),
    CALL(GetSysColor),
    CALL(GetSysColorBrush),
    CALL(GetSystemPowerStatusEx2),
    CALL(GetTickCount),
    CALL(GetTimeFormatW),
    CALL(GetUpdateRect),
    CALL(GetVersionExW),
    CALL(GetWindowLongW),
    CALL(GetWindowRect),
    CALL(GetWindowTextLengthW),
    CALL(GetWindowTextW),
    CALL(IntersectRect),
    CALL(InvalidateRect),
    CALL(IsRectEmpty),
    CALL(IsWindow),
    CALL(IsWindowEnabled),
    CALL(IsWindowVisible),
    CALL(KillTimer),
    CALL(LoadImageW),
    CALL(LoadLibraryW),
    CALL(LoadResource),
    CALL(MapDialogRect),
    CALL(MessageBoxW),
    CALL(MoveFileW),
    CALL(MoveWindow),
    CALL(OffsetRect),
    CALL(PeekMessageW),
    CALL(PostMessageW),
    CALL(PostQuitMessage),
    CALL(PtInRect),
    CALL(ReadFile),
    CALL(RegCloseKey),
    CALL(RegCreateKeyExW),
    CALL(RegDeleteKeyW),
    CALL(RegDeleteValueW),
    CALL(RegEnumKeyExW),
    CALL(RegEnumValueW),
    CALL(RegOpenKeyExW),
    CALL(RegQueryValueExW),
    CALL(RegSetValueExW),
    CALL(RegisterClassW),
    CALL(RegisterWindowMessageW),
    CALL(ReleaseDC),
    CALL(ScreenToClient),
    CALL(SelectObject),
    CALL(SendDlgItemMessageW),
    CALL(SendMessageW),
    CALL(SetBkColor),
    CALL(SetBkMode),
    CALL(SetDlgItemTextW),
    CALL(SetLastError),
    CALL(SetRect),
    CALL(SetTextColor),
    CALL(SetTimer),
    CALL(SetWindowLongW),
    CALL(SetWindowPos),
    CALL(SetWindowTextW),
    CALL(ShowWindow),
    CALL(SizeofResource),
    CALL(SystemParametersInfoW),
    CALL(SystemTimeToFileTime),
    CALL(TrackPopupMenuEx),
    CALL(TranslateMessage),
    CALL(UnionRect),
    CALL(UnregisterClassW),
    CALL(UpdateWindow),
    CALL(ValidateRect),
    CALL(WriteFile),
    CALL(lstrcmpW),
    CALL(lstrcmpiW),
    OVERLOAD(wcslen, size_t (*)(const WCHAR *)),
    OVERLOAD(wcscmp, int (*)(const WCHAR *, const WCHAR *)),
    OVERLOAD(wcsncmp, int (*)(const WCHAR *, const WCHAR *, size_t)),
    OVERLOAD(wcscpy, WCHAR *(*)(WCHAR *, const WCHAR *)),
    OVERLOAD(wcsncpy, WCHAR *(*)(WCHAR *, const WCHAR *, size_t)),
    OVERLOAD(wcscat, WCHAR *(*)(WCHAR *, const WCHAR *)),
    CALL(wsprintfW),
    {"memcpy", procOf(&std::memcpy)},
    {"memmove", procOf(&std::memmove)},
    {"memset", procOf(&std::memset)},
    {"__addd", procOf(&addd)},
    {"__subd", procOf(&subd)},
    {"__muld", procOf(&muld)},
    {"__divd", procOf(&divd)},
    {"__dtoi", procOf(&dtoi)},
    {"__dtou", procOf(&dtou)},
    {"__dtoi64", procOf(&dtoi64)},
    {"__itod", procOf(&itod)},
    {"__utod", procOf(&utod)},
    {"__i64tod", procOf(&i64tod)},
    {"__u64tod", procOf(&u64tod)},
};

const SystemCall kAygShell[] = {
    CALL(SHInitDialog),
    {"SHGetUIMetrics", procOf(&internal::shGetUIMetrics)},
};

struct SystemLibrary {
    const char *name;
    const SystemCall *calls;
    size_t count;
};

const SystemLibrary kLibraries[] = {
    {"coredll.dll", kCoreDll, std::size(kCoreDll)},
    {"aygshell.dll", kAygShell, std::size(kAygShell)},
};

bool equalsAsciiIgnoreCase(std::string_view a, std::string_view b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        return lower(x) == lower(y);
    });
}

const SystemLibrary *findLibrary(std::string_view name)
{
    for (const SystemLibrary &library : kLibraries) {
        if (equalsAsciiIgnoreCase(name, library.name)) return &library;
    }
    return nullptr;
}

#if defined(__arm__)
// The bridge (see the top of the file): ip holds the call's address, lr the return address in CE
// code, sp the CE stack. Sixteen words of stack arguments cover every call in the tables
// (CreateWindowExW has eight; wsprintfW up to eighteen values in all); the words above the
// caller's own arguments lie in its frames, so reading them is harmless.
asm(R"(
    .text
    .arm
    .p2align 2
    .hidden durvo_ce_bridge
    .type durvo_ce_bridge, %function
durvo_ce_bridge:
    push {r4, r5, r6, lr}
    mov r4, sp
    sub sp, sp, #64
    bic sp, sp, #7
    add r5, r4, #16
    mov r6, #0
1:  ldr lr, [r5, r6]
    str lr, [sp, r6]
    add r6, r6, #4
    cmp r6, #64
    blt 1b
    blx ip
    mov sp, r4
    pop {r4, r5, r6, pc}
    .size durvo_ce_bridge, .-durvo_ce_bridge
)");
extern "C" void durvo_ce_bridge();

// One thunk a call: ldr ip, [pc]; ldr pc, [pc]; the call's address; the bridge's.
struct Thunk {
    uint32_t loadCall;
    uint32_t jumpToBridge;
    FARPROC call;
    void (*bridge)();
};

// Thunks are made once per call and live as long as the process, in pages of their own.
FARPROC makeThunk(FARPROC call)
{
    static std::map<FARPROC, Thunk *> made;
    static Thunk *page = nullptr;
    static size_t used = 0;
    constexpr size_t kPageBytes = 4096, kPerPage = kPageBytes / sizeof(Thunk);
    if (auto found = made.find(call); found != made.end()) return reinterpret_cast<FARPROC>(found->second);
    if (!page || used == kPerPage) {
        void *at = mmap(nullptr, kPageBytes, PROT_READ | PROT_WRITE | PROT_EXEC, MAP_PRIVATE | MAP_ANONYMOUS,
                        -1, 0);
        if (at == MAP_FAILED) return nullptr;
        page = static_cast<Thunk *>(at);
        used = 0;
    }
    Thunk *thunk = &page[used++];
    *thunk = Thunk{0xE59FC000, 0xE59FF000, call, &durvo_ce_bridge};
    __builtin___clear_cache(reinterpret_cast<char *>(thunk), reinterpret_cast<char *>(thunk + 1));
    made.emplace(call, thunk);
    return reinterpret_cast<FARPROC>(thunk);
}
#endif

}   // namespace

namespace internal {

bool isSystemLibrary(std::string_view library)
{
    return findLibrary(library) != nullptr;
}

FARPROC systemCall(std::string_view libraryName, std::string_view call)
{
    const SystemLibrary *library = findLibrary(libraryName);
    if (!library) return nullptr;
    for (size_t i = 0; i < library->count; ++i) {
        if (call == library->calls[i].name) {
            return entryThunk(library->calls[i].address);
        }
    }
    return nullptr;
}

FARPROC entryThunk(FARPROC call)
{
#if defined(__arm__)
    return makeThunk(call);
#else
    return call;
#endif
}

}   // namespace internal
