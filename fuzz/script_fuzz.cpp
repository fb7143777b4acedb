// Feeds the scenario script parser of durvo-today arbitrary text. It must answer every input:
// either a script whose commands are sound, or one "NAME:LINE: message" per defect, on a line
// that exists. A duration it accepts must read back to the same milliseconds.
#include "script.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

void fail(const char *what, const std::string &detail)
{
    std::fprintf(stderr, "%s: %s\n", what, detail.c_str());
    std::abort();
}

}   // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t length)
{
    const std::string_view text(reinterpret_cast<const char *>(bytes), length);
    int lines = 0;
    for (size_t at = 0; at < text.size(); ++lines) {
        const size_t end = text.find('\n', at);
        at = end == std::string_view::npos ? text.size() : end + 1;
    }

    host::Script script;
    std::vector<std::string> errors;
    const bool ok = host::parseScript(text, "fuzz", &script, &errors);
    if (ok != errors.empty()) fail("the answer and the messages disagree", std::to_string(errors.size()));
    for (const std::string &error : errors) {
        int line = 0;
        if (std::sscanf(error.c_str(), "fuzz:%d: ", &line) != 1 || line < 1 || line > lines)
            fail("a message without a line of the script", error);
    }
    if (!ok) return 0;
    int previous = 0;
    for (const host::Command &c : script.commands) {
        if (c.line <= previous || c.line > lines) fail("commands out of line order", std::to_string(c.line));
        previous = c.line;
        const bool timed = c.kind == host::CommandKind::Run || c.kind == host::CommandKind::Sleep;
        if (timed && (c.number == 0 || c.stepMs == 0))
            fail("a run or sleep of no time", std::to_string(c.line));
        if (c.kind == host::CommandKind::Setting && !host::isSettingName(c.text))
            fail("an unknown setting", c.text);
    }

    // A duration is its parts added up; written back in milliseconds it reads the same.
    if (auto ms = host::parseDuration(text)) {
        auto again = host::parseDuration(std::to_string(*ms) + "ms");
        if (!again || *again != *ms) fail("a duration that does not read back", std::string(text));
    }
    return 0;
}
