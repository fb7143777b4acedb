// Reading dialog templates. Field offsets follow the Win32 layout:
//
//  classic header (18 bytes)          extended header (26 bytes)
//   0 DWORD style                      0 WORD dlgVer = 1, 2 WORD signature = 0xFFFF
//   4 DWORD exStyle                    4 DWORD helpID, 8 DWORD exStyle, 12 DWORD style
//   8 WORD  item count                16 WORD item count
//  10 short x, y, cx, cy              18 short x, y, cx, cy
// then the menu, the class and the title (WORD-aligned), and with DS_SETFONT the point size
// (extended: the point size, WORD weight, BYTE italic, BYTE charset) and the face name.
// Each item starts on a DWORD boundary from the template's start:
//  classic item (18 bytes)            extended item (24 bytes)
//   0 DWORD style, 4 DWORD exStyle     0 DWORD helpID, 4 DWORD exStyle, 8 DWORD style
//   8 short x, y, cx, cy              12 short x, y, cx, cy
//  16 WORD id                         20 DWORD id
// then the class, the title and a WORD counting the creation data bytes that follow it.
#include "dialog_template.h"

namespace dialogs {
namespace {

constexpr size_t kClassicHeaderSize = 18;
constexpr size_t kExtendedHeaderSize = 26;
constexpr size_t kClassicItemSize = 18;
constexpr size_t kExtendedItemSize = 24;
constexpr WORD kExtendedVersion = 1;
constexpr WORD kOrdinalMarker = 0xFFFF;
constexpr size_t kItemAlignment = 4;
// The predefined control classes, by ordinal from 0x0080 (or from 0).
constexpr WORD kFirstPredefinedClass = 0x0080;
constexpr WORD kPredefinedClassCount = 6;

// Reads little-endian fields from a bounded buffer; any read past the end sets `failed` and
// answers 0, so that a parse runs straight through and checks once per field group.
class Reader {
public:
    explicit Reader(std::span<const BYTE> bytes) : bytes_(bytes) { }

    bool failed() const { return failed_; }
    size_t position() const { return position_; }

    bool has(size_t count) const { return !failed_ && bytes_.size() - position_ >= count; }

    WORD word()
    {
        if (!has(2)) return fail();
        const WORD value = static_cast<WORD>(bytes_[position_] | bytes_[position_ + 1] << 8);
        position_ += 2;
        return value;
    }

    DWORD dword()
    {
        const DWORD low = word();
        const DWORD high = word();
        return low | high << 16;
    }

    short coordinate() { return static_cast<short>(word()); }

    BYTE byte()
    {
        if (!has(1)) return static_cast<BYTE>(fail());
        return bytes_[position_++];
    }

    // A NUL-terminated UTF-16 string; the terminator must lie inside the buffer.
    std::u16string string()
    {
        std::u16string text;
        for (;;) {
            const WORD unit = word();
            if (failed_ || unit == 0) return text;
            text += static_cast<char16_t>(unit);
        }
    }

    NameOrOrdinal nameOrOrdinal()
    {
        NameOrOrdinal field;
        if (!has(2)) {
            fail();
            return field;
        }
        const WORD first = static_cast<WORD>(bytes_[position_] | bytes_[position_ + 1] << 8);
        if (first == 0) {
            position_ += 2;
        } else if (first == kOrdinalMarker) {
            position_ += 2;
            field.kind = NameOrOrdinal::Kind::Ordinal;
            field.ordinal = word();
        } else {
            field.kind = NameOrOrdinal::Kind::String;
            field.text = string();
        }
        return field;
    }

    std::vector<BYTE> take(size_t count)
    {
        if (!has(count)) {
            fail();
            return {};
        }
        std::vector<BYTE> data(bytes_.begin() + position_, bytes_.begin() + position_ + count);
        position_ += count;
        return data;
    }

    void alignTo(size_t alignment)
    {
        const size_t aligned = (position_ + alignment - 1) / alignment * alignment;
        if (aligned > bytes_.size()) {
            fail();
            return;
        }
        position_ = aligned;
    }

private:
    WORD fail()
    {
        failed_ = true;
        return 0;
    }

    std::span<const BYTE> bytes_;
    size_t position_ = 0;
    bool failed_ = false;
};

bool isExtended(std::span<const BYTE> bytes)
{
    if (bytes.size() < 4) return false;
    const WORD version = static_cast<WORD>(bytes[0] | bytes[1] << 8);
    const WORD signature = static_cast<WORD>(bytes[2] | bytes[3] << 8);
    return version == kExtendedVersion && signature == kOrdinalMarker;
}

std::optional<ItemTemplate> readItem(Reader &in, bool extended)
{
    in.alignTo(kItemAlignment);
    if (!in.has(extended ? kExtendedItemSize : kClassicItemSize)) return std::nullopt;
    ItemTemplate item;
    if (extended) {
        item.helpId = in.dword();
        item.exStyle = in.dword();
        item.style = in.dword();
    } else {
        item.style = in.dword();
        item.exStyle = in.dword();
    }
    item.x = in.coordinate();
    item.y = in.coordinate();
    item.cx = in.coordinate();
    item.cy = in.coordinate();
    item.id = extended ? in.dword() : in.word();
    item.windowClass = in.nameOrOrdinal();
    if (item.windowClass.kind == NameOrOrdinal::Kind::None) return std::nullopt;   // no class
    item.title = in.nameOrOrdinal();
    const WORD dataSize = in.word();
    item.creationData = in.take(dataSize);
    if (in.failed()) return std::nullopt;
    return item;
}

}   // namespace

std::optional<DialogTemplate> parseDialogTemplate(std::span<const BYTE> bytes)
{
    DialogTemplate dialog;
    dialog.extended = isExtended(bytes);
    Reader in(bytes);
    if (!in.has(dialog.extended ? kExtendedHeaderSize : kClassicHeaderSize)) return std::nullopt;
    WORD count = 0;
    if (dialog.extended) {
        in.word();   // version
        in.word();   // signature
        dialog.helpId = in.dword();
        dialog.exStyle = in.dword();
        dialog.style = in.dword();
    } else {
        dialog.style = in.dword();
        dialog.exStyle = in.dword();
    }
    count = in.word();
    dialog.x = in.coordinate();
    dialog.y = in.coordinate();
    dialog.cx = in.coordinate();
    dialog.cy = in.coordinate();
    dialog.menu = in.nameOrOrdinal();
    dialog.windowClass = in.nameOrOrdinal();
    dialog.title = in.string();
    if (dialog.style & DS_SETFONT) {
        dialog.hasFont = true;
        dialog.pointSize = in.word();
        if (dialog.extended) {
            dialog.weight = in.word();
            dialog.italic = in.byte();
            dialog.charSet = in.byte();
        }
        dialog.faceName = in.string();
    }
    if (in.failed()) return std::nullopt;
    // No reserve of the declared count: a header may claim 65535 items over a few bytes, and
    // the reader would then allocate megabytes for every such input before refusing it.
    for (WORD i = 0; i < count; ++i) {
        auto item = readItem(in, dialog.extended);
        if (!item) return std::nullopt;
        dialog.items.push_back(std::move(*item));
    }
    return dialog;
}

std::u16string predefinedClassName(WORD ordinal)
{
    static const char16_t *const names[kPredefinedClassCount]
        = {u"Button", u"Edit", u"Static", u"ListBox", u"ScrollBar", u"ComboBox"};
    if (ordinal >= kFirstPredefinedClass) ordinal = static_cast<WORD>(ordinal - kFirstPredefinedClass);
    return ordinal < kPredefinedClassCount ? names[ordinal] : u"";
}

}   // namespace dialogs
