// Where the device's files live on the host: a device path such as "\My Documents\x.txt" names
// ROOT/My Documents/x.txt. Windows ignores letter case in file names and the host does not, so
// each component is matched against what already exists on disk.
#include <windows.h>

#include "control.h"
#include "internal.h"

#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Kept across resetDevice: the root is where the device's storage is, not part of its state.
fs::path deviceRoot;

bool equalIgnoringCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (internal::foldCase(a[i]) != internal::foldCase(b[i])) return false;
    }
    return true;
}

// The name of the entry of `folder` that matches `component` without regard to case; an exact
// match wins, and a name that matches nothing is kept as written (the file may be created).
std::u16string matchOnDisk(const fs::path &folder, const std::u16string &component) {
    std::error_code error;
    if (fs::exists(folder / control::toUtf8(component), error)) return component;
    for (const auto &entry : fs::directory_iterator(folder, error)) {
        std::u16string name = control::fromUtf8(entry.path().filename().string());
        if (equalIgnoringCase(name, component)) return name;
    }
    return component;
}

// Splits a device path into its components. "." is dropped and ".." goes up one level but never
// above the root, as Windows resolves "\..\x" to "\x", so no device path reaches outside ROOT.
// A drive ("C:") becomes a folder of its letter.
std::vector<std::u16string> components(std::u16string_view devicePath) {
    std::vector<std::u16string> parts;
    std::u16string current;
    auto finish = [&] {
        if (current == u"..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!current.empty() && current != u".") {
            parts.push_back(current);
        }
        current.clear();
    };
    for (WCHAR unit : devicePath) {
        if (unit == 0) break;
        if (unit == u'\\' || unit == u'/') {
            finish();
        } else {
            current += unit;
        }
    }
    finish();
    if (!parts.empty() && parts.front().size() == 2 && parts.front()[1] == u':')
        parts.front().resize(1);
    return parts;
}

}  // namespace

namespace internal {
void resetFiles() {
}
}  // namespace internal

namespace control {

void setDeviceRoot(const fs::path &root) {
    deviceRoot = root;
}

fs::path hostPathOf(std::u16string_view devicePath) {
    if (deviceRoot.empty()) return {};
    fs::path host = deviceRoot;
    bool onDisk = true;
    for (const auto &part : components(devicePath)) {
        std::u16string name = onDisk ? matchOnDisk(host, part) : part;
        host /= toUtf8(name);
        std::error_code error;
        onDisk = onDisk && fs::is_directory(host, error);
    }
    return host;
}

}  // namespace control
