// Loading a CE library image (PE32) on the device: checks, mapping, relocation, import binding
// against the system libraries' tables, exports. modules.cpp keeps the module records.
#ifndef DURVO_PLATFORM_PE_LOADER_H
#define DURVO_PLATFORM_PE_LOADER_H

#include "pe_image.h"

#include <windows.h>

#include <memory>
#include <span>
#include <string>
#include <vector>

namespace internal {

// The machine type of the libraries this device runs: ARM on the ARM device, x86-64 here.
uint16_t deviceMachine();

// Reads the image and checks that a device with this machine type could load it: the machine,
// and every import offered by a system library. False with a message naming the first defect.
bool checkImage(std::span<const uint8_t> file, uint16_t machine, pe::Image *image, std::string *error);

// A library mapped into memory, relocated to where it lies and bound.
class LoadedImage {
public:
    ~LoadedImage();
    BYTE *base() const { return base_; }
    void *entryPoint() const;   // DllMain, or null
    // An export by ordinal, or by its index in the export address table; null when there is none.
    FARPROC exportByOrdinal(WORD ordinal) const { return exportAt(ordinal - image_.exportOrdinalBase); }
    FARPROC exportAt(uint32_t index) const;
    // The export names with their index in the export address table.
    const std::vector<std::pair<std::string, uint32_t>> &exportNames() const { return image_.exportNames; }
    const std::vector<uint8_t> &resources() const { return image_.resources; }

private:
    friend std::unique_ptr<LoadedImage> loadImage(std::span<const uint8_t>, std::string *);
    pe::Image image_;   // the checked image; its mapped bytes are dropped once copied
    BYTE *base_ = nullptr;
    size_t size_ = 0;
};

// Checks, maps, relocates and binds the file for this device; null with a message when it cannot.
std::unique_ptr<LoadedImage> loadImage(std::span<const uint8_t> file, std::string *error);

}   // namespace internal

#endif
