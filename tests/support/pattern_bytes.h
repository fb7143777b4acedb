// Bytes that look random but are the same on every run: stand-ins for a library or a member's
// data where only their identity matters.
#ifndef DURVO_TESTS_PATTERN_BYTES_H
#define DURVO_TESTS_PATTERN_BYTES_H

#include <cstddef>
#include <cstdint>
#include <vector>

inline std::vector<uint8_t> patternBytes(size_t size, uint32_t seed)
{
    std::vector<uint8_t> b(size);
    for (size_t i = 0; i < size; ++i) {
        seed = seed * 1103515245 + 12345;
        b[i] = static_cast<uint8_t>(seed >> 16);
    }
    return b;
}

#endif
