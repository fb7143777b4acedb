// Loads CE library images on the device; see pe_loader.h.
#include "pe_loader.h"

#include "system_libraries.h"

#include <sys/mman.h>

#include <cstring>

namespace internal {

uint16_t deviceMachine()
{
#if defined(__arm__)
    return pe::kMachineArm;
#else
    return pe::kMachineAmd64;
#endif
}

bool checkImage(std::span<const uint8_t> file, uint16_t machine, pe::Image *image, std::string *error)
{
    if (!pe::readImage(file, image, error)) return false;
    if (image->machine != machine) {
        *error = "the library is built for " + pe::machineName(image->machine) + "; this device runs "
            + pe::machineName(machine) + " code";
        return false;
    }
    for (const pe::ImportLibrary &library : image->imports) {
        if (!isSystemLibrary(library.name)) {
            *error = "it imports from " + library.name + ", which this device does not have";
            return false;
        }
        for (const pe::Import &call : library.calls) {
            if (!systemCall(library.name, call.name)) {
                *error = "it imports " + call.name + " from " + library.name
                    + ", which this device does not offer";
                return false;
            }
        }
    }
    return true;
}

LoadedImage::~LoadedImage()
{
    if (base_) munmap(base_, size_);
}

void *LoadedImage::entryPoint() const
{
    return image_.entryRva ? base_ + image_.entryRva : nullptr;
}

FARPROC LoadedImage::exportAt(uint32_t index) const
{
    if (index >= image_.exportRvas.size() || image_.exportRvas[index] == 0) return nullptr;
    return reinterpret_cast<FARPROC>(base_ + image_.exportRvas[index]);
}

std::unique_ptr<LoadedImage> loadImage(std::span<const uint8_t> file, std::string *error)
{
    auto loaded = std::unique_ptr<LoadedImage>(new LoadedImage);
    pe::Image &image = loaded->image_;
    if (!checkImage(file, deviceMachine(), &image, error)) return nullptr;
#if !defined(__arm__)
    *error = "no processor here runs it (the ARM device does)";
    return nullptr;
#else
    // Wherever the system puts it: the relocations move it from its preferred base.
    loaded->size_ = image.mapped.size();
    void *at = mmap(nullptr, loaded->size_, PROT_READ | PROT_WRITE | PROT_EXEC, MAP_PRIVATE | MAP_ANONYMOUS,
                    -1, 0);
    if (at == MAP_FAILED) {
        *error = "no memory for its image";
        return nullptr;
    }
    loaded->base_ = static_cast<BYTE *>(at);
    std::memcpy(loaded->base_, image.mapped.data(), loaded->size_);
    pe::relocate(loaded->base_, image.fixups,
                 static_cast<uint32_t>(reinterpret_cast<uintptr_t>(at)) - image.preferredBase);
    for (const pe::ImportLibrary &library : image.imports) {
        for (const pe::Import &call : library.calls) {
            FARPROC address = systemCall(library.name, call.name);
            std::memcpy(loaded->base_ + call.slotRva, &address, sizeof address);
        }
    }
    __builtin___clear_cache(reinterpret_cast<char *>(loaded->base_),
                            reinterpret_cast<char *>(loaded->base_ + loaded->size_));
    image.mapped = {};
    image.fixups = {};
    return loaded;
#endif
}

}   // namespace internal
