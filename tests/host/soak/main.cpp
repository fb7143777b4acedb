// durvo-soak-script: writes a long durvo-today scenario drawn from a seed.
#include "soak_script.h"

#include <charconv>
#include <cstring>
#include <iostream>
#include <string_view>

namespace {

constexpr const char *kUsage
    = "usage: durvo-soak-script [--days N] [--seed S]\n"
      "\n"
      "Writes a durvo-today script of N days (default 60) of use, sleep, charging, soft resets and\n"
      "other programs' windows on standard output, drawn from the seed S (default 1): the same\n"
      "arguments give the same script on every machine.\n"
      "Exit status: 0 done, 2 bad arguments.\n";

template <typename T> bool number(std::string_view text, T *out)
{
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), *out);
    return !text.empty() && ec == std::errc() && end == text.data() + text.size();
}

}   // namespace

int main(int argc, char **argv)
{
    soak::Options options;
    for (int i = 1; i < argc; ++i) {
        std::string_view a = argv[i];
        if (a == "--help" || a == "-h") {
            std::cout << kUsage;
            return 0;
        }
        const bool hasValue = i + 1 < argc;
        if (a == "--days" && hasValue && number(argv[i + 1], &options.days) && options.days > 0
            && options.days <= 3650) {
            ++i;
        } else if (a == "--seed" && hasValue && number(argv[i + 1], &options.seed)) {
            ++i;
        } else {
            std::cerr << "durvo-soak-script: bad argument " << a
                      << " (--days 1..3650, --seed a whole number)\n"
                      << kUsage;
            return 2;
        }
    }
    std::cout << soak::generateScript(options);
    return 0;
}
