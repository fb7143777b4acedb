// Window classes and atoms: the program's classes keyed by name and instance, the platform's
// own classes registered on first need, and the atoms classes and registered messages share.
#include "internal.h"
#include "window_system.h"

#include <algorithm>

using namespace window_system;

// ---- Atoms -----------------------------------------------------------------------------------

namespace window_system {

UINT atomFor(std::u16string_view name)
{
    auto &atoms = sys().atoms;
    for (size_t i = 0; i < atoms.size(); ++i) {
        if (equalsIgnoreCase(atoms[i], name)) {
            return kFirstAtom + static_cast<UINT>(i);
        }
    }
    if (kFirstAtom + atoms.size() > kLastAtom) {
        return 0;
    }
    atoms.emplace_back(name);
    return kFirstAtom + static_cast<UINT>(atoms.size() - 1);
}

// A class name argument is either a string or an atom in MAKEINTATOM form.
bool classNameOf(LPCWSTR nameOrAtom, std::u16string *name)
{
    if (!nameOrAtom) {
        return false;
    }
    if (IS_INTRESOURCE(nameOrAtom)) {
        auto atom = static_cast<UINT>(reinterpret_cast<uintptr_t>(nameOrAtom));
        auto &atoms = sys().atoms;
        if (atom < kFirstAtom || atom - kFirstAtom >= atoms.size()) {
            return false;
        }
        *name = atoms[atom - kFirstAtom];
        return true;
    }
    *name = nameOrAtom;
    return !name->empty();
}

}   // namespace window_system

// ---- Lookup ----------------------------------------------------------------------------------

namespace {

WindowClass *findClassExact(std::u16string_view name, HINSTANCE instance)
{
    for (auto &c : sys().classes) {
        if (c->info.hInstance == instance && equalsIgnoreCase(c->name, name)) {
            return c.get();
        }
    }
    return nullptr;
}

}   // namespace

namespace window_system {

// The module's own class first (no instance means the program's own module, as on Windows);
// classes registered without an instance serve every module, as the system's and global classes
// do on Windows.
WindowClass *findClassForUse(std::u16string_view name, HINSTANCE instance)
{
    if (WindowClass *c = findClassExact(name, instance)) {
        return c;
    }
    if (instance == nullptr) {
        if (WindowClass *c = findClassExact(name, GetModuleHandleW(nullptr))) {
            return c;
        }
    }
    return findClassExact(name, nullptr);
}

}   // namespace window_system

// ---- System classes --------------------------------------------------------------------------

namespace window_system {

// Registered on first need and again after each reset, without an instance, so that they serve
// every module as the system's classes do.
void ensureSystemClasses()
{
    WindowSystem &s = sys();
    if (s.systemClassesReady) {
        return;
    }
    s.systemClassesReady = true;
    internal::registerSystemClasses();
}

}   // namespace window_system

ATOM WINAPI RegisterClassW(const WNDCLASSW *lpWndClass)
{
    std::u16string name;
    if (!lpWndClass || !lpWndClass->lpfnWndProc || !classNameOf(lpWndClass->lpszClassName, &name)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (findClassExact(name, lpWndClass->hInstance)) {
        SetLastError(ERROR_CLASS_ALREADY_EXISTS);
        return 0;
    }
    auto c = std::make_unique<WindowClass>();
    c->name = name;
    c->atom = static_cast<ATOM>(atomFor(name));
    c->info = *lpWndClass;
    c->info.lpszClassName = nullptr;
    c->info.lpszMenuName = nullptr;   // no class menus on this platform
    ATOM atom = c->atom;
    sys().classes.push_back(std::move(c));
    return atom;
}

BOOL WINAPI UnregisterClassW(LPCWSTR lpClassName, HINSTANCE hInstance)
{
    std::u16string name;
    WindowClass *c = classNameOf(lpClassName, &name) ? findClassExact(name, hInstance) : nullptr;
    if (!c) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    if (c->liveWindows > 0) {
        SetLastError(ERROR_CLASS_HAS_WINDOWS);
        return FALSE;
    }
    // The class owns its background brush from registration on, as on Windows.
    HBRUSH brush = c->info.hbrBackground;
    if (reinterpret_cast<uintptr_t>(brush) > kLastColorBrushValue) {
        DeleteObject(brush);
    }
    auto &classes = sys().classes;
    classes.erase(std::find_if(classes.begin(), classes.end(), [c](const auto &p) { return p.get() == c; }));
    return TRUE;
}

BOOL WINAPI GetClassInfoW(HINSTANCE hInstance, LPCWSTR lpClassName, LPWNDCLASSW lpWndClass)
{
    ensureSystemClasses();
    std::u16string name;
    WindowClass *c = classNameOf(lpClassName, &name) ? findClassForUse(name, hInstance) : nullptr;
    if (!c || !lpWndClass) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    *lpWndClass = c->info;
    lpWndClass->lpszClassName = lpClassName;
    return c->atom;
}
