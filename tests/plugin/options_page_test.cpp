// The options page: its dialog template byte for byte, the round trip of every control, the
// mapped lists, the usage log at OK, the hidden style box, and unregistering.
#include <control.h>
#include <gtest/gtest.h>

#include "resource.h"
#include "support/durvo_fixtures.h"

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// ---- Dialog template 500, read from the built library's resources ---------------------------

// Offsets of the classic DLGTEMPLATE header and of a DLGITEMTEMPLATE, as the SDK lays them out.
constexpr size_t dlgStyle = 0;
constexpr size_t dlgExStyle = 4;
constexpr size_t dlgItemCount = 8;
constexpr size_t dlgX = 10;
constexpr size_t dlgY = 12;
constexpr size_t dlgWidth = 14;
constexpr size_t dlgHeight = 16;
constexpr size_t dlgMenu = 18;   // then the class and the title, each a string or an ordinal
constexpr size_t itemStyle = 0;
constexpr size_t itemExStyle = 4;
constexpr size_t itemX = 8;
constexpr size_t itemY = 10;
constexpr size_t itemWidth = 12;
constexpr size_t itemHeight = 14;
constexpr size_t itemId = 16;
constexpr size_t itemClass = 18;   // then the text and the count of creation bytes

constexpr WORD classAtomButton = 0x0080;
constexpr WORD classAtomComboBox = 0x0085;

// Reads little-endian fields of a template and fails the test, rather than reading past the
// resource, when a length runs out.
class TemplateReader {
public:
    TemplateReader(const BYTE *data, size_t size) : data_(data), size_(size) {}
    bool ok() const { return ok_; }
    size_t at() const { return at_; }
    void seek(size_t at) { at_ = at; }
    WORD word()
    {
        if (at_ + 2 > size_) {
            ok_ = false;
            return 0;
        }
        WORD w = WORD(data_[at_] | data_[at_ + 1] << 8);
        at_ += 2;
        return w;
    }
    DWORD dword()
    {
        DWORD low = word();
        return low | DWORD(word()) << 16;
    }
    std::u16string string()
    {
        std::u16string s;
        for (WORD unit = word(); ok_ && unit != 0; unit = word())
            s += char16_t(unit);
        return s;
    }
    // A string, or 0xFFFF and an ordinal: the ordinal, or 0 with the string in *text.
    WORD stringOrOrdinal(std::u16string *text)
    {
        size_t start = at_;
        if (word() == 0xFFFF)
            return word();
        at_ = start;
        *text = string();
        return 0;
    }
    void alignTo4() { at_ = (at_ + 3) & ~size_t(3); }

private:
    const BYTE *data_;
    size_t size_;
    size_t at_ = 0;
    bool ok_ = true;
};

struct TemplateItem {
    DWORD style;
    int id;
    WORD classAtom;
    const char16_t *text;
    short x, y, width, height;
};

// Template order, which is also the tab order.
const TemplateItem expectedItems[] = {
    {0x50010003, 1001, classAtomButton, u"Reset timer on full charge", 6, 7, 122, 10},
    {0x50010003, 1002, classAtomButton, u"Reset timer on soft reset", 6, 17, 122, 10},
    {0x50000009, 1003, classAtomButton, u"Brief view", 6, 101, 51, 10},
    {0x50000009, 1004, classAtomButton, u"Detailed view", 63, 101, 65, 10},
    {0x50210003, 1005, classAtomComboBox, u"", 6, 49, 122, 53},
    {0x50010001, 1009, classAtomButton, u"About", 14, 129, 44, 15},
    {0x50010000, 1010, classAtomButton, u"Unregister", 69, 129, 52, 15},
    {0x50010003, 1012, classAtomButton, u"PocketPC 2002 view style", 6, 112, 120, 10},
    {0x50010003, 1006, classAtomButton, u"Reset while on external power", 6, 27, 122, 10},
    {0x50210003, 1007, classAtomComboBox, u"", 6, 62, 122, 53},
    {0x50010003, 1008, classAtomButton, u"Gather process statistics", 6, 37, 122, 10},
    {0x50210003, 1013, classAtomComboBox, u"", 6, 75, 122, 53},
    {0x50210003, 1014, classAtomComboBox, u"", 6, 88, 122, 53},
};

fs::path buildDir()
{
    const char *dir = std::getenv("DURVO_BUILD_DIR");
    return dir ? fs::path(dir) : fs::path();
}

TEST(OptionsTemplate, CompiledBytesAreTheClassicTemplateOfThePage)
{
    ASSERT_FALSE(buildDir().empty()) << "DURVO_BUILD_DIR is not set";
    control::resetDevice();
    fs::path device = fs::path(::testing::TempDir()) / ("options_template_" + std::to_string(getpid()));
    HMODULE module = loadBuiltDurvo(buildDir(), device);
    ASSERT_NE(module, nullptr);
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(IDD_OPTIONS), RT_DIALOG);
    ASSERT_NE(found, nullptr);
    const BYTE *bytes = static_cast<const BYTE *>(LockResource(LoadResource(module, found)));
    ASSERT_NE(bytes, nullptr);
    TemplateReader in(bytes, SizeofResource(module, found));

    in.seek(dlgStyle);
    EXPECT_EQ(in.dword(), 0x80C800C0u);   // WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT
    in.seek(dlgExStyle);
    EXPECT_EQ(in.dword(), 0u);
    in.seek(dlgItemCount);
    WORD count = in.word();
    ASSERT_EQ(count, 13);
    in.seek(dlgX);
    EXPECT_EQ(in.word(), 0);
    in.seek(dlgY);
    EXPECT_EQ(in.word(), 0);
    in.seek(dlgWidth);
    EXPECT_EQ(in.word(), 136);
    in.seek(dlgHeight);
    EXPECT_EQ(in.word(), 154);
    in.seek(dlgMenu);
    std::u16string menu, windowClass;
    EXPECT_EQ(in.stringOrOrdinal(&menu), 0);
    EXPECT_EQ(menu, u"");   // no menu
    EXPECT_EQ(in.stringOrOrdinal(&windowClass), 0);
    EXPECT_EQ(windowClass, u"");   // the default dialog class
    EXPECT_EQ(in.string(), u"Durvo settings");
    EXPECT_EQ(in.word(), 8);   // points
    EXPECT_EQ(in.string(), u"System");

    for (const TemplateItem &expected : expectedItems) {
        SCOPED_TRACE(testing::Message() << "control " << expected.id);
        in.alignTo4();
        size_t start = in.at();
        in.seek(start + itemStyle);
        EXPECT_EQ(in.dword(), expected.style);
        in.seek(start + itemExStyle);
        EXPECT_EQ(in.dword(), 0u);
        in.seek(start + itemX);
        EXPECT_EQ(short(in.word()), expected.x);
        in.seek(start + itemY);
        EXPECT_EQ(short(in.word()), expected.y);
        in.seek(start + itemWidth);
        EXPECT_EQ(short(in.word()), expected.width);
        in.seek(start + itemHeight);
        EXPECT_EQ(short(in.word()), expected.height);
        in.seek(start + itemId);
        EXPECT_EQ(in.word(), expected.id);
        in.seek(start + itemClass);
        std::u16string className, text;
        EXPECT_EQ(in.stringOrOrdinal(&className), expected.classAtom) << control::toUtf8(className);
        EXPECT_EQ(in.stringOrOrdinal(&text), 0);
        EXPECT_EQ(control::toUtf8(text), control::toUtf8(expected.text));
        EXPECT_EQ(in.word(), 0);   // no creation data
        ASSERT_TRUE(in.ok()) << "the template ends inside control " << expected.id;
    }
    EXPECT_TRUE(in.ok());
    FreeLibrary(module);
    fs::remove_all(device);
}

}  // namespace
