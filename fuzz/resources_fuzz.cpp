// Feeds the resource calls an arbitrary .res image as the program's own resources: FindResourceW
// by ordinal, by "#N" and by name, LoadResource and SizeofResource, and LoadImageW of icons,
// which reads the group directory and the image it picks. Whatever is found must lie inside
// the image; an icon that loads must be a counted object that goes again with DestroyIcon.
#include <control.h>
#include <module_abi.h>
#include <windows.h>

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

// What the build generates for a library: here the image changes with every input.
extern "C" PlatformModuleInfo platformModuleInfo;
PlatformModuleInfo platformModuleInfo = {nullptr, 0, nullptr, 0};

namespace {

void fail(const char *what)
{
    std::fprintf(stderr, "%s\n", what);
    std::abort();
}

LPCWSTR resourceId(FuzzedDataProvider &input)
{
    static const LPCWSTR names[] = {u"#1", u"#2", u"ICON", u"durvo", u"#65535", u""};
    if (input.ConsumeBool()) return MAKEINTRESOURCEW(input.ConsumeIntegralInRange<WORD>(0, 8));
    return names[input.ConsumeIntegralInRange<size_t>(0, std::size(names) - 1)];
}

}   // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    control::resetDevice();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t length)
{
    FuzzedDataProvider input(bytes, length);
    const std::vector<LPCWSTR> ids = {resourceId(input), resourceId(input), resourceId(input)};
    const int cx = input.ConsumeIntegralInRange<int>(0, 64);
    const int cy = input.ConsumeIntegralInRange<int>(0, 64);
    // The image alone in a buffer of its own size, so that a read past it is caught.
    const std::vector<BYTE> image = input.ConsumeRemainingBytes<BYTE>();
    platformModuleInfo.resources = image.data();
    platformModuleInfo.resourcesSize = static_cast<DWORD>(image.size());

    const LPCWSTR types[] = {RT_ICON, RT_GROUP_ICON, RT_DIALOG, RT_RCDATA, u"CUSTOM"};
    for (LPCWSTR type : types) {
        for (LPCWSTR id : ids) {
            HRSRC found = FindResourceW(nullptr, id, type);
            if (!found) continue;
            const BYTE *data = static_cast<const BYTE *>(LockResource(LoadResource(nullptr, found)));
            const DWORD size = SizeofResource(nullptr, found);
            if (data == nullptr && size != 0) fail("a found resource without data");
            if (data != nullptr
                && (data < image.data() || size > image.size()
                    || data - image.data() > static_cast<ptrdiff_t>(image.size() - size)))
                fail("a resource outside the image");
        }
    }
    for (LPCWSTR id : ids) {
        HANDLE icon = LoadImageW(nullptr, id, IMAGE_ICON, cx, cy, 0);
        if (icon == nullptr) continue;
        if (control::liveGdiObjects().icons != 1) fail("a loaded icon is not counted");
        if (!DestroyIcon(static_cast<HICON>(icon))) fail("a loaded icon does not go");
    }
    if (control::liveGdiObjects().icons != 0) fail("an icon is left");
    platformModuleInfo.resources = nullptr;
    platformModuleInfo.resourcesSize = 0;
    return 0;
}
