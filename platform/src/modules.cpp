// Libraries: LoadLibraryW over dlopen, with the export ordinals and resources that the build
// generated from the library's .def and .rc files (module_abi.h), the library's DllMain called as
// Windows calls it, and the shell library "AYGSHELL" built in. A CE library image (PE, "MZ" at
// its start) goes to the PE loader instead (pe_loader.h): the ARM device runs it.
#include "internal.h"
#include "module_image.h"
#include "pe_loader.h"
#include "system_libraries.h"

#include <aygshell.h>
#include <control.h>
#include <module_abi.h>

#include <dlfcn.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace {

using DllMainProc = BOOL (*)(HINSTANCE, DWORD, LPVOID);

enum class ModuleKind { Library, Shell, Program };

// An HMODULE is the address of one of these records.
struct Module {
    ModuleKind kind = ModuleKind::Library;
    std::u16string fileName;                        // "Library.dll": what GetModuleHandleW compares against
    void *library = nullptr;                        // dlopen handle
    std::unique_ptr<internal::LoadedImage> image;   // or the mapped CE library image
    std::filesystem::path hostFile;
    const PlatformModuleInfo *info = nullptr;
    DllMainProc dllMain = nullptr;
    int references = 0;
    // A program's own record, and the resources a test gave it in their place; or the resources
    // of a CE library image, as a .res image.
    const PlatformModuleInfo *ownInfo = nullptr;
    PlatformModuleInfo replacement{};
    std::vector<BYTE> replacementImage;
};

struct ShellMetrics {
    bool present = true;
    DWORD fontSizePixels = 0;
};

struct ModuleTable {
    std::vector<std::unique_ptr<Module>> modules;
    std::unique_ptr<Module> program;   // the executable the process started from
    Module *running = nullptr;         // a program that runProgram is running, in its place
    ShellMetrics shell;
};

ModuleTable &table()
{
    static ModuleTable t;
    return t;
}

bool equalsIgnoreCase(std::u16string_view a, std::u16string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](WCHAR x, WCHAR y) {
               return internal::foldCase(x) == internal::foldCase(y);
           });
}

std::u16string_view baseName(std::u16string_view path)
{
    size_t slash = path.find_last_of(u"\\/");
    return slash == std::u16string_view::npos ? path : path.substr(slash + 1);
}

// Windows adds ".dll" to a module name without an extension.
std::u16string withExtension(std::u16string_view name)
{
    std::u16string result(name);
    if (baseName(name).find(u'.') == std::u16string_view::npos) {
        result += u".dll";
    }
    return result;
}

bool isShellName(std::u16string_view path)
{
    return equalsIgnoreCase(baseName(withExtension(path)), u"aygshell.dll");
}

HMODULE handleOf(Module *m)
{
    return reinterpret_cast<HMODULE>(m);
}

Module *programModule()
{
    ModuleTable &t = table();
    if (t.running) {
        return t.running;
    }
    if (!t.program) {
        t.program = std::make_unique<Module>();
        t.program->kind = ModuleKind::Program;
        t.program->library = dlopen(nullptr, RTLD_NOW);
        if (t.program->library) {
            t.program->info = static_cast<const PlatformModuleInfo *>(
                dlsym(t.program->library, PLATFORM_MODULE_INFO_SYMBOL));
            t.program->ownInfo = t.program->info;
        }
    }
    return t.program.get();
}

// Null names the program itself, as for the resource calls.
Module *findModule(HMODULE handle)
{
    if (!handle) {
        return programModule();
    }
    ModuleTable &t = table();
    if (t.running && handleOf(t.running) == handle) {
        return t.running;
    }
    if (t.program && handleOf(t.program.get()) == handle) {
        return t.program.get();
    }
    for (auto &m : t.modules) {
        if (handleOf(m.get()) == handle) {
            return m.get();
        }
    }
    return nullptr;
}

void removeModule(Module *m)
{
    auto &modules = table().modules;
    modules.erase(std::find_if(modules.begin(), modules.end(), [m](const auto &p) { return p.get() == m; }));
}

}   // namespace

HRESULT internal::shGetUIMetrics(SHUIMETRIC shuim, PVOID pvBuffer, DWORD cbBufferSize, DWORD *pcbRequired)
{
    if (pcbRequired) {
        *pcbRequired = sizeof(DWORD);
    }
    if (shuim != SHUIM_FONTSIZE_PIXEL || !pvBuffer || cbBufferSize < sizeof(DWORD)) {
        return E_INVALIDARG;
    }
    DWORD pixels = table().shell.fontSizePixels;
    if (pixels != 0) {
        std::memcpy(pvBuffer, &pixels, sizeof pixels);
    }
    return S_OK;
}

namespace {

// Export names are ASCII; a name with any other unit matches nothing.
bool sameAsciiName(LPCWSTR wide, const char *narrow)
{
    size_t i = 0;
    for (; wide[i] && narrow[i]; ++i) {
        if (wide[i] > 0x7F || wide[i] != static_cast<unsigned char>(narrow[i])) {
            return false;
        }
    }
    return wide[i] == 0 && narrow[i] == 0;
}

FARPROC libraryExport(const Module &m, LPCWSTR procName)
{
    if (m.image) {
        if (IS_INTRESOURCE(procName)) {
            return m.image->exportByOrdinal(static_cast<WORD>(reinterpret_cast<uintptr_t>(procName)));
        }
        for (const auto &[name, index] : m.image->exportNames()) {
            if (sameAsciiName(procName, name.c_str())) {
                return m.image->exportAt(index);
            }
        }
        return nullptr;
    }
    if (!m.info || !m.library) {
        return nullptr;
    }
    for (DWORD i = 0; i < m.info->exportCount; ++i) {
        const PlatformOrdinalExport &e = m.info->exports[i];
        bool match = IS_INTRESOURCE(procName)
            ? e.ordinal == static_cast<WORD>(reinterpret_cast<uintptr_t>(procName))
            : e.byName && sameAsciiName(procName, e.symbol);
        if (match) {
            return reinterpret_cast<FARPROC>(dlsym(m.library, e.symbol));
        }
    }
    return nullptr;
}

HMODULE loadShell()
{
    ModuleTable &t = table();
    for (auto &m : t.modules) {
        if (m->kind == ModuleKind::Shell) {
            ++m->references;
            return handleOf(m.get());
        }
    }
    auto m = std::make_unique<Module>();
    m->kind = ModuleKind::Shell;
    m->fileName = u"aygshell.dll";
    m->references = 1;
    t.modules.push_back(std::move(m));
    return handleOf(t.modules.back().get());
}

// Adds the record and calls its DllMain; a library whose DllMain fails is taken away again.
HMODULE attachLibrary(std::unique_ptr<Module> record)
{
    record->references = 1;
    Module *m = record.get();
    table().modules.push_back(std::move(record));
    // Listed before DllMain runs, so that DllMain may ask for its own module.
    HMODULE handle = handleOf(m);
    if (m->dllMain && !m->dllMain(handle, DLL_PROCESS_ATTACH, nullptr)) {
        m->dllMain(handle, DLL_PROCESS_DETACH, nullptr);
        void *library = m->library;
        removeModule(m);
        if (library) {
            dlclose(library);
        }
        SetLastError(ERROR_DLL_INIT_FAILED);
        return nullptr;
    }
    return handle;
}

bool isPeImage(const std::filesystem::path &file)
{
    char magic[2] = {};
    std::ifstream in(file, std::ios::binary);
    return in.read(magic, 2) && magic[0] == 'M' && magic[1] == 'Z';
}

// A bad image is refused with its defect on stderr, as the error code cannot say it, and the
// device goes on.
HMODULE loadPeLibrary(const std::filesystem::path &hostPath, std::u16string_view devicePath)
{
    for (auto &m : table().modules) {
        if (m->image && m->hostFile == hostPath) {
            ++m->references;
            return handleOf(m.get());
        }
    }
    // No library a device keeps comes near the image limit; a larger file is not read at all.
    std::error_code sizeError;
    uintmax_t size = std::filesystem::file_size(hostPath, sizeError);
    std::string error = sizeError  ? "cannot read it"
        : size > pe::kMaxImageSize ? "the file is larger than 16 MB"
                                   : "";
    std::vector<uint8_t> bytes;
    if (error.empty()) {
        std::ifstream in(hostPath, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        if (in.bad()) error = "cannot read it";
    }
    std::unique_ptr<internal::LoadedImage> image
        = error.empty() ? internal::loadImage(bytes, &error) : nullptr;
    if (!image) {
        std::fprintf(stderr, "LoadLibraryW: %s: %s\n", control::toUtf8(devicePath).c_str(), error.c_str());
        SetLastError(ERROR_BAD_EXE_FORMAT);
        return nullptr;
    }
    auto record = std::make_unique<Module>();
    record->fileName = std::u16string(baseName(devicePath));
    record->hostFile = hostPath;
    record->replacement.resources = image->resources().empty() ? nullptr : image->resources().data();
    record->replacement.resourcesSize = static_cast<DWORD>(image->resources().size());
    record->info = &record->replacement;
    record->dllMain = reinterpret_cast<DllMainProc>(image->entryPoint());
    record->image = std::move(image);
    return attachLibrary(std::move(record));
}

}   // namespace

// ---- Seams -----------------------------------------------------------------------------------

namespace internal {

bool moduleResourceImage(HMODULE module, const BYTE **image, DWORD *size)
{
    Module *m = findModule(module);
    if (!m) {
        return false;
    }
    *image = m->info ? m->info->resources : nullptr;
    *size = m->info && m->info->resources ? m->info->resourcesSize : 0;
    return true;
}

HMODULE moduleHoldingAddress(const void *address)
{
    auto holds = [address](const Module &m) {
        if (!m.info || !m.info->resources) {
            return false;
        }
        auto p = static_cast<const BYTE *>(address);
        return p >= m.info->resources && p < m.info->resources + m.info->resourcesSize;
    };
    for (auto &m : table().modules) {
        if (holds(*m)) {
            return handleOf(m.get());
        }
    }
    Module *program = programModule();
    return holds(*program) ? handleOf(program) : nullptr;
}

// A device reset is a power cycle: every process is gone, so libraries are closed without their
// DllMain being asked.
void resetModules()
{
    ModuleTable &t = table();
    for (auto &m : t.modules) {
        if (m->kind == ModuleKind::Library && m->library) {
            dlclose(m->library);
        }
    }
    t.modules.clear();
    t.shell = ShellMetrics{};
    control::setProgramResources({});
}

}   // namespace internal

namespace control {

void setShellUiMetrics(bool present, DWORD fontSizePixels)
{
    table().shell = ShellMetrics{present, fontSizePixels};
}

// Every LoadLibraryW wants its FreeLibrary, the built-in shell library's too.
int loadedLibraryCount()
{
    const auto &modules = table().modules;
    return static_cast<int>(std::count_if(modules.begin(), modules.end(),
                                          [](const auto &m) { return m->kind != ModuleKind::Program; }));
}

void setProgramResources(std::vector<BYTE> image)
{
    Module *program = programModule();
    if (image.empty()) {
        program->info = program->ownInfo;
        program->replacementImage.clear();
        return;
    }
    program->replacementImage = std::move(image);
    program->replacement = program->ownInfo ? *program->ownInfo : PlatformModuleInfo{};
    program->replacement.resources = program->replacementImage.data();
    program->replacement.resourcesSize = static_cast<DWORD>(program->replacementImage.size());
    program->info = &program->replacement;
}

int runProgram(const std::filesystem::path &image, std::string_view arguments, std::string *error)
{
    using WinMainProc = int (*)(HINSTANCE, HINSTANCE, LPSTR, int);
    void *library = dlopen(image.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        *error = dlerror();
        return -1;
    }
    auto winMain = reinterpret_cast<WinMainProc>(dlsym(library, "WinMain"));
    if (!winMain) {
        *error = image.string() + ": the program has no WinMain";
        dlclose(library);
        return -1;
    }
    Module record;
    record.kind = ModuleKind::Program;
    record.fileName = fromUtf8(image.filename().string());
    record.library = library;
    record.info = static_cast<const PlatformModuleInfo *>(dlsym(library, PLATFORM_MODULE_INFO_SYMBOL));
    record.ownInfo = record.info;

    ModuleTable &t = table();
    Module *previous = t.running;
    t.running = &record;
    std::string commandLine(arguments);
    int exitCode = winMain(handleOf(&record), nullptr, commandLine.data(), SW_SHOWNORMAL);
    t.running = previous;
    dlclose(library);
    return exitCode;
}

}   // namespace control

// ---- API -------------------------------------------------------------------------------------

HMODULE WINAPI LoadLibraryW(LPCWSTR lpLibFileName)
{
    if (!lpLibFileName || !*lpLibFileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::u16string_view requested(lpLibFileName);
    if (isShellName(requested)) {
        return loadShell();
    }
    // A bare name is looked for where the device keeps its libraries.
    std::u16string devicePath = withExtension(requested);
    if (devicePath.find_first_of(u"\\/") == std::u16string::npos) {
        devicePath = u"\\Windows\\" + devicePath;
    }
    std::filesystem::path hostPath = control::hostPathOf(devicePath);
    std::error_code error;
    if (hostPath.empty() || !std::filesystem::is_regular_file(hostPath, error)) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    if (isPeImage(hostPath)) {
        return loadPeLibrary(hostPath, devicePath);
    }
    void *library = dlopen(hostPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        // The file is there but will not load: say why, the error code cannot.
        std::fprintf(stderr, "LoadLibraryW: %s\n", dlerror());
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    ModuleTable &t = table();
    for (auto &m : t.modules) {
        if (m->library == library) {
            dlclose(library);   // drop the reference this dlopen added; ours is counted below
            ++m->references;
            return handleOf(m.get());
        }
    }
    auto record = std::make_unique<Module>();
    record->fileName = std::u16string(baseName(devicePath));
    record->library = library;
    record->info = static_cast<const PlatformModuleInfo *>(dlsym(library, PLATFORM_MODULE_INFO_SYMBOL));
    record->dllMain = reinterpret_cast<DllMainProc>(dlsym(library, "DllMain"));
    return attachLibrary(std::move(record));
}

BOOL WINAPI FreeLibrary(HMODULE hLibModule)
{
    Module *m = hLibModule ? findModule(hLibModule) : nullptr;
    if (!m) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (m->kind == ModuleKind::Program || --m->references > 0) {
        return TRUE;
    }
    if (m->dllMain) {
        m->dllMain(hLibModule, DLL_PROCESS_DETACH, nullptr);
    }
    void *library = m->library;
    removeModule(m);   // unmaps a CE library image
    if (library) {
        dlclose(library);
    }
    return TRUE;
}

FARPROC WINAPI GetProcAddressW(HMODULE hModule, LPCWSTR lpProcName)
{
    Module *m = findModule(hModule);
    if (!m) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    FARPROC proc = nullptr;
    if (lpProcName && m->kind == ModuleKind::Shell) {
        if (!IS_INTRESOURCE(lpProcName) && table().shell.present
            && sameAsciiName(lpProcName, "SHGetUIMetrics")) {
            proc = internal::systemCall("aygshell.dll", "SHGetUIMetrics");
        }
    } else if (lpProcName) {
        proc = libraryExport(*m, lpProcName);
    }
    if (!proc) {
        SetLastError(ERROR_PROC_NOT_FOUND);
    }
    return proc;
}

HMODULE WINAPI GetModuleHandleA(LPCSTR lpModuleName)
{
    if (!lpModuleName) {
        return handleOf(programModule());
    }
    std::u16string wide = internal::ansiToWide(lpModuleName);
    return GetModuleHandleW(wide.c_str());
}

HMODULE WINAPI GetModuleHandleW(LPCWSTR lpModuleName)
{
    if (!lpModuleName) {
        return handleOf(programModule());
    }
    std::u16string wanted = withExtension(baseName(lpModuleName));
    for (auto &m : table().modules) {
        if (equalsIgnoreCase(m->fileName, wanted)) {
            return handleOf(m.get());
        }
    }
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
}
