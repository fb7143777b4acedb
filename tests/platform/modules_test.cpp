// Libraries and their resources through LoadLibraryW, GetProcAddressW and FindResourceW. The
// test libraries (testlib/) are copied into the simulated device's \Windows folder first.
#include "conformance.h"

#include <aygshell.h>

#include "platform/testlib/testlib.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#if OUR_LAYER_ONLY
#include <unistd.h>
#endif

namespace {

namespace fs = std::filesystem;

// Where a test library is: the device's \Windows folder on our layer, beside the test program
// on Windows.
WString testLibrary(const WCHAR *file)
{
#if OUR_LAYER_ONLY
    return WString(TEXT("\\Windows\\")) + file;
#else
    WCHAR program[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, program, MAX_PATH);
    WString folder(program, length);
    return folder.substr(0, folder.find_last_of(TEXT('\\')) + 1) + file;
#endif
}

const char *const kBadResourceImages[] = {
    "truncated_first_record", "no_empty_first_record", "header_size_past_end", "header_size_too_small",
    "unterminated_name",      "data_size_past_end",    "data_size_wraps",      "trailing_partial_record",
};

struct DllMainCall {
    DWORD reason;
    HMODULE module;

    bool operator==(const DllMainCall &) const = default;
};

void PrintTo(const DllMainCall &c, std::ostream *os)
{
    *os << "{reason " << c.reason << ", " << static_cast<const void *>(c.module) << "}";
}

// An export's type is known only to its caller: through the generic function type.
template <typename F> F exported(HMODULE module, LPCWSTR name)
{
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddressW(module, name)));
}

// The DllMain calls Testlib reported since the last look.
std::vector<DllMainCall> dllMainCalls()
{
    std::vector<DllMainCall> calls;
    MSG msg;
    while (PeekMessageW(&msg, reinterpret_cast<HWND>(-1), TESTLIB_DLLMAIN_MESSAGE, TESTLIB_DLLMAIN_MESSAGE,
                        PM_REMOVE)) {
        calls.push_back({static_cast<DWORD>(msg.wParam), reinterpret_cast<HMODULE>(msg.lParam)});
    }
    return calls;
}

class Modules : public ::testing::Test {
protected:
    void SetUp() override
    {
        conformance::freshStart();
#if OUR_LAYER_ONLY
        root_ = fs::temp_directory_path()
            / ("durvo-modules-" + std::to_string(::getpid()) + "-"
               + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root_);
        fs::create_directories(root_ / "Windows");
        fs::copy_file(fs::path(TESTLIB_DIR) / "Testlib.dll", root_ / "Windows" / "Testlib.dll");
        for (const char *defect : kBadResourceImages) {
            std::string file = std::string("bad_") + defect + ".dll";
            fs::copy_file(fs::path(TESTLIB_DIR) / file, root_ / "Windows" / file);
        }
        control::setDeviceRoot(root_);
#endif
    }

    void TearDown() override
    {
        conformance::freshStart();
#if OUR_LAYER_ONLY
        fs::remove_all(root_);
#endif
    }

    fs::path root_;
};

TEST_F(Modules, LoadIsCountedAndDllMainSeesFirstLoadAndLastRelease)
{
    HMODULE first = LoadLibraryW(testLibrary(TEXT("Testlib.dll")).c_str());
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(dllMainCalls(), (std::vector<DllMainCall>{{DLL_PROCESS_ATTACH, first}}));

    // A bare name is looked for in \Windows; case and the extension do not matter.
    HMODULE second = LoadLibraryW(TEXT("TESTLIB"));
    EXPECT_EQ(second, first);
    EXPECT_EQ(GetModuleHandleW(TEXT("testlib.dll")), first);
    EXPECT_EQ(dllMainCalls(), std::vector<DllMainCall>{}) << "only the first load attaches";

    EXPECT_EQ(FreeLibrary(first), TRUE);
    EXPECT_EQ(dllMainCalls(), std::vector<DllMainCall>{}) << "one reference is left";
    EXPECT_EQ(FreeLibrary(first), TRUE);
    EXPECT_EQ(dllMainCalls(), (std::vector<DllMainCall>{{DLL_PROCESS_DETACH, first}}));
    EXPECT_EQ(GetModuleHandleW(TEXT("Testlib.dll")), nullptr);

    SetLastError(0);
    EXPECT_EQ(LoadLibraryW(testLibrary(TEXT("Missing.dll")).c_str()), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
}

#if OUR_LAYER_ONLY
// What a program leaves behind is counted, each kind in its own words; giving each back
// empties the description again.
TEST_F(Modules, LeftoversAreCountedUntilGivenBack)
{
    EXPECT_EQ(control::describeLeftovers(), "");
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.lpszClassName = u"Leftover";
    ASSERT_NE(RegisterClassW(&wc), 0);
    HWND parent
        = CreateWindowExW(0, u"Leftover", u"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    HWND child
        = CreateWindowExW(0, u"Leftover", u"", WS_CHILD, 0, 0, 5, 5, parent, nullptr, nullptr, nullptr);
    ASSERT_NE(child, nullptr);
    SetTimer(child, 1, 1000, nullptr);
    UINT_PTR threadTimer = SetTimer(nullptr, 0, 500, nullptr);
    LOGFONTW font{};
    font.lfHeight = -12;
    HFONT first = CreateFontIndirectW(&font);
    HFONT second = CreateFontIndirectW(&font);
    HBRUSH brush = CreateSolidBrush(RGB(1, 2, 3));
    HMODULE library = LoadLibraryW(u"Testlib");
    HMODULE shell = LoadLibraryW(u"AYGSHELL");   // built in, but a load still wants its free
    ASSERT_NE(shell, nullptr);
    ASSERT_NE(GetDesktopWindow(), nullptr);   // the screen, part of the system: never counted
    HMENU menu = CreatePopupMenu();
    HANDLE file = CreateFileW(u"\\leftover.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CoInitialize(nullptr);
    EXPECT_EQ(
        control::describeLeftovers(),
        "2 windows, 2 timers, 2 fonts, 1 brush, 1 menu, 2 libraries, 1 open file, 1 COM initialisation");
    DestroyMenu(menu);
    CloseHandle(file);
    CoUninitialize();
    FreeLibrary(shell);

    const struct {
        const char *what;
        std::function<void()> giveBack;
        std::string left;
    } steps[] = {
        {"the library", [&] { FreeLibrary(library); }, "2 windows, 2 timers, 2 fonts, 1 brush"},
        {"one font", [&] { DeleteObject(first); }, "2 windows, 2 timers, 1 font, 1 brush"},
        {"the thread timer", [&] { KillTimer(nullptr, threadTimer); }, "2 windows, 1 timer, 1 font, 1 brush"},
        {"the windows, and their timer with them", [&] { DestroyWindow(parent); }, "1 font, 1 brush"},
        {"the rest", [&] { DeleteObject(second), DeleteObject(brush); }, ""},
    };
    for (const auto &step : steps) {
        SCOPED_TRACE(step.what);
        step.giveBack();
        EXPECT_EQ(control::describeLeftovers(), step.left);
    }
}
#endif

TEST_F(Modules, AReloadedLibraryStartsWithFreshStatics)
{
    for (int load = 0; load < 2; ++load) {
        SCOPED_TRACE(load == 0 ? "first load" : "after FreeLibrary");
        HMODULE module = LoadLibraryW(testLibrary(TEXT("Testlib.dll")).c_str());
        ASSERT_NE(module, nullptr);
        auto next = exported<TestlibIntProc>(module, MAKEINTRESOURCEW(TESTLIB_ORDINAL_NEXT_COUNT));
        ASSERT_NE(next, nullptr);
        EXPECT_EQ(next(), 1);
        EXPECT_EQ(next(), 2);
        EXPECT_EQ(FreeLibrary(module), TRUE);
    }
}

TEST_F(Modules, ExportsAreFoundByOrdinalAndOnlyNamedOnesByName)
{
    HMODULE module = LoadLibraryW(testLibrary(TEXT("Testlib.dll")).c_str());
    ASSERT_NE(module, nullptr);
    struct Case {
        LPCWSTR name;
        bool found;
        const char *what;
    };
    const Case cases[] = {
        {MAKEINTRESOURCEW(TESTLIB_ORDINAL_NEXT_COUNT), true, "a NONAME export by its ordinal"},
        {MAKEINTRESOURCEW(TESTLIB_ORDINAL_NAMED), true, "a named export by its ordinal"},
        {TEXT("testlibNamed"), true, "a named export by its name"},
        {TEXT("testlibNextCount"), false, "NONAME: the name is not exported"},
        {TEXT("TESTLIBNAMED"), false, "export names are case-sensitive"},
        {MAKEINTRESOURCEW(3), false, "an ordinal the .def does not list"},
        {TEXT("DllMain"), false, "a function the .def does not list"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        SetLastError(0);
        FARPROC proc = GetProcAddressW(module, c.name);
        EXPECT_EQ(proc != nullptr, c.found);
        if (!c.found) {
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
        }
    }
    auto named = exported<TestlibIntProc>(module, TEXT("testlibNamed"));
    ASSERT_NE(named, nullptr);
    EXPECT_EQ(named(), TESTLIB_NAMED_RESULT);
    FreeLibrary(module);
}

#if OUR_LAYER_ONLY
// ---- The shell library -----------------------------------------------------------------------

TEST_F(Modules, ShellLibraryReportsTheUiFontSizeWhenItHasTheCall)
{
    struct Case {
        bool present;
        DWORD pixels;
        DWORD expected;   // the buffer after the call; it held 12 before
        const char *what;
    };
    const Case cases[] = {
        {true, 14, 14, "the shell's font size is written"},
        {true, 0, 12, "a shell that does not fill the value leaves the buffer alone"},
        {false, 14, 12, "an older shell has no SHGetUIMetrics"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        control::setShellUiMetrics(c.present, c.pixels);
        for (const WCHAR *name : {TEXT("AYGSHELL"), TEXT("aygshell.dll"), TEXT("AygShell.DLL")}) {
            HMODULE shell = LoadLibraryW(name);
            ASSERT_NE(shell, nullptr);
            SetLastError(0);
            auto get = exported<PFN_SHGetUIMetrics>(shell, TEXT("SHGetUIMetrics"));
            EXPECT_EQ(get != nullptr, c.present);
            DWORD value = 12;
            if (get) {
                EXPECT_EQ(get(SHUIM_FONTSIZE_PIXEL, &value, sizeof value, nullptr), S_OK);
            } else {
                EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
            }
            EXPECT_EQ(value, c.expected);
            EXPECT_EQ(FreeLibrary(shell), TRUE);
        }
    }
}

#endif

// ---- Resources -------------------------------------------------------------------------------

TEST_F(Modules, ResourcesAreFoundByOrdinalOrNameWithoutRegardToCase)
{
    HMODULE module = LoadLibraryW(testLibrary(TEXT("Testlib.dll")).c_str());
    ASSERT_NE(module, nullptr);
    struct Case {
        LPCWSTR name;
        LPCWSTR type;
        DWORD error;              // 0: found
        std::vector<BYTE> data;   // when found
        const char *what;
    };
    const Case cases[] = {
        {TEXT("HI_RES_AWARE"), TEXT("CEUX"), 0, {1, 0}, "string name and type: the 16-bit value 1"},
        {TEXT("hi_res_aware"), TEXT("ceux"), 0, {1, 0}, "strings compare without regard to case"},
        {MAKEINTRESOURCEW(TESTLIB_RCDATA_ORDINAL), RT_RCDATA, 0, {1, 2, 3, 4}, "ordinals"},
        {TEXT("#7"), RT_RCDATA, 0, {1, 2, 3, 4}, "\"#7\" names ordinal 7"},
        {TEXT("Greeting"), RT_RCDATA, 0, {'a', 'b', 'c'}, "a string name under an ordinal type"},
        {TEXT("HI_RES_AWAR"), TEXT("CEUX"), ERROR_RESOURCE_NAME_NOT_FOUND, {}, "a prefix is not the name"},
        {MAKEINTRESOURCEW(8), RT_RCDATA, ERROR_RESOURCE_NAME_NOT_FOUND, {}, "no such ordinal"},
        {TEXT("HI_RES_AWARE"), TEXT("CEUY"), ERROR_RESOURCE_TYPE_NOT_FOUND, {}, "no such type"},
        {MAKEINTRESOURCEW(1),
         MAKEINTRESOURCEW(2),
         ERROR_RESOURCE_TYPE_NOT_FOUND,
         {},
         "no bitmaps (type 2) at all"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        SetLastError(0);
        HRSRC found = FindResourceW(module, c.name, c.type);
        if (c.error) {
            EXPECT_EQ(found, nullptr);
            EXPECT_EQ(GetLastError(), c.error);
            continue;
        }
        ASSERT_NE(found, nullptr);
        ASSERT_EQ(SizeofResource(module, found), c.data.size());
        auto bytes = static_cast<const BYTE *>(LockResource(LoadResource(module, found)));
        ASSERT_NE(bytes, nullptr);
        EXPECT_EQ(std::vector<BYTE>(bytes, bytes + c.data.size()), c.data);
    }
    FreeLibrary(module);
}

#if OUR_LAYER_ONLY
TEST_F(Modules, AMalformedResourceImageHoldsNoResources)
{
    for (const char *defect : kBadResourceImages) {
        SCOPED_TRACE(defect);
        std::string file = std::string("\\Windows\\bad_") + defect + ".dll";
        HMODULE module = LoadLibraryW(control::fromUtf8(file).c_str());
        ASSERT_NE(module, nullptr) << "the library itself loads";
        // Each image but the first two holds this resource before its defect.
        SetLastError(0);
        EXPECT_EQ(FindResourceW(module, TEXT("HI_RES_AWARE"), TEXT("CEUX")), nullptr);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_DATA_NOT_FOUND));
        FreeLibrary(module);
    }
}

#endif

}   // namespace
