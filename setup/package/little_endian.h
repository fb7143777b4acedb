// Little-endian fields of the cabinet and setup-record formats, read and written byte by byte
// so that nothing depends on the host's byte order or on structure layout.
#ifndef DURVO_SETUP_PACKAGE_LITTLE_ENDIAN_H
#define DURVO_SETUP_PACKAGE_LITTLE_ENDIAN_H

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace package::le {

inline void put16(std::span<uint8_t> out, size_t at, uint16_t value)
{
    out[at] = static_cast<uint8_t>(value);
    out[at + 1] = static_cast<uint8_t>(value >> 8);
}

inline void put32(std::span<uint8_t> out, size_t at, uint32_t value)
{
    put16(out, at, static_cast<uint16_t>(value));
    put16(out, at + 2, static_cast<uint16_t>(value >> 16));
}

inline void append16(std::vector<uint8_t> &out, uint16_t value)
{
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

inline void append32(std::vector<uint8_t> &out, uint32_t value)
{
    append16(out, static_cast<uint16_t>(value));
    append16(out, static_cast<uint16_t>(value >> 16));
}

// The caller has checked that the field lies inside `in`.
inline uint16_t get16(std::span<const uint8_t> in, size_t at)
{
    return static_cast<uint16_t>(in[at] | in[at + 1] << 8);
}

inline uint32_t get32(std::span<const uint8_t> in, size_t at)
{
    return get16(in, at) | static_cast<uint32_t>(get16(in, at + 2)) << 16;
}

}   // namespace package::le

#endif
