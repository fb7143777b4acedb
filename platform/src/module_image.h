// What resources.cpp needs from the module table in modules.cpp.
#ifndef DURVO_PLATFORM_MODULE_IMAGE_H
#define DURVO_PLATFORM_MODULE_IMAGE_H

#include <windows.h>

namespace internal {

// The compiled resource image (.res bytes) of a loaded module; a null module is the program
// itself. False for a handle that names no loaded module. A module without resources answers
// true with an empty image.
bool moduleResourceImage(HMODULE module, const BYTE **image, DWORD *size);

// The loaded module whose resource image contains the address, or null.
HMODULE moduleHoldingAddress(const void *address);

}   // namespace internal

#endif
