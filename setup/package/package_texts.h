// The package's text files, embedded by the build (cmake/embed_files.cmake) byte for byte.
#ifndef DURVO_SETUP_PACKAGE_PACKAGE_TEXTS_H
#define DURVO_SETUP_PACKAGE_PACKAGE_TEXTS_H

#include <cstddef>
#include <cstdint>

namespace package::embedded {

extern const uint8_t descriptionFile[];
extern const size_t descriptionFileSize;
extern const uint8_t licenceFile[];
extern const size_t licenceFileSize;
extern const uint8_t readMeFile[];
extern const size_t readMeFileSize;

}   // namespace package::embedded

#endif
