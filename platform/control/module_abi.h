// How a library built for this platform tells LoadLibraryW what a Windows linker would have put
// in its image: the export ordinals (from the library's .def file) and the compiled resources
// (windres .res). The build generates one `platformModuleInfo` per library; LoadLibraryW finds
// it with dlsym, together with the library's DllMain.
#ifndef DURVO_PLATFORM_MODULE_ABI_H
#define DURVO_PLATFORM_MODULE_ABI_H

#include <windows.h>

struct PlatformOrdinalExport {
    WORD ordinal;
    const char *symbol;   // the exported C function, found with dlsym
    BOOL byName;          // listed without NONAME: GetProcAddressW finds it by name as well
};

struct PlatformModuleInfo {
    const PlatformOrdinalExport *exports;
    DWORD exportCount;
    const BYTE *resources;   // the .res file: a sequence of RESOURCEHEADER + data records
    DWORD resourcesSize;
};

#define PLATFORM_MODULE_INFO_SYMBOL "platformModuleInfo"

#endif
