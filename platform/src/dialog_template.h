// Dialog templates (RT_DIALOG), read from untrusted bytes: the classic DLGTEMPLATE form and the
// extended DLGTEMPLATEEX form. Every length is checked before it is read; any defect gives no
// template at all.
#ifndef DURVO_PLATFORM_DIALOG_TEMPLATE_H
#define DURVO_PLATFORM_DIALOG_TEMPLATE_H

#include <windows.h>

#include <optional>
#include <span>
#include <string>
#include <vector>

namespace dialogs {

// A menu, class or title field: absent (a 0 WORD), an ordinal (0xFFFF and a WORD) or a
// NUL-terminated UTF-16 string.
struct NameOrOrdinal {
    enum class Kind { None, Ordinal, String };
    Kind kind = Kind::None;
    WORD ordinal = 0;
    std::u16string text;
};

struct ItemTemplate {
    DWORD helpId = 0;   // extended form only
    DWORD style = 0;
    DWORD exStyle = 0;
    short x = 0;
    short y = 0;
    short cx = 0;
    short cy = 0;
    DWORD id = 0;                // a WORD in the classic form
    NameOrOrdinal windowClass;   // never None: a string, or the ordinal of a predefined class
    NameOrOrdinal title;         // an ordinal names a resource, as the icon of an SS_ICON static
    std::vector<BYTE> creationData;
};

struct DialogTemplate {
    bool extended = false;
    DWORD helpId = 0;
    DWORD style = 0;
    DWORD exStyle = 0;
    short x = 0;
    short y = 0;
    short cx = 0;
    short cy = 0;
    NameOrOrdinal menu;
    NameOrOrdinal windowClass;
    std::u16string title;
    // Present when the style has DS_SETFONT.
    bool hasFont = false;
    WORD pointSize = 0;
    WORD weight = 0;   // extended form only; the classic form leaves it to the face
    BYTE italic = 0;
    BYTE charSet = 0;
    std::u16string faceName;
    std::vector<ItemTemplate> items;
};

std::optional<DialogTemplate> parseDialogTemplate(std::span<const BYTE> bytes);

// "Button", "Edit", "Static", "ListBox", "ScrollBar" or "ComboBox" for the ordinals 0x0080 to
// 0x0085 (and 0 to 5, which Windows takes the same way); empty for any other.
std::u16string predefinedClassName(WORD ordinal);

}   // namespace dialogs

#endif
