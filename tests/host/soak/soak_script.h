// Long scenarios for durvo-today: days of use, sleep, charging, soft resets and other programs,
// drawn from a seed, the same script for the same seed on every machine.
#ifndef DURVO_TESTS_SOAK_SCRIPT_H
#define DURVO_TESTS_SOAK_SCRIPT_H

#include <cstdint>
#include <string>
#include <vector>

namespace soak {

struct Options {
    int days = 60;
    uint64_t seed = 1;
};

// The titles of the other programs' windows a script opens (UTF-8).
const std::vector<std::string> &windowTitles();

// A whole durvo-today script. `show` appears only right before a `softreset`, so that its
// "item:" lines in the output mark where a soft reset happened.
std::string generateScript(const Options &options);

}   // namespace soak

#endif
