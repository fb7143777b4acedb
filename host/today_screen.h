// The emulated Today screen: the top-level "Desktop" window, and the custom items it loads from
// the Today item keys, stacked one under the other by the heights they report.
#ifndef DURVO_HOST_TODAY_SCREEN_H
#define DURVO_HOST_TODAY_SCREEN_H

#include "backdrop.h"

#include <today_host.h>
#include <windows.h>

#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace host {

// Where the Today screen finds its items.
inline constexpr const char16_t *kTodayItemsKey = u"SOFTWARE\\Microsoft\\Today\\Items";

class TodayScreen {
public:
    // Notes about items that could not be loaded go to `diagnostics`.
    TodayScreen(const ScreenLook &look, std::ostream &diagnostics);
    ~TodayScreen();
    TodayScreen(const TodayScreen &) = delete;
    TodayScreen &operator=(const TodayScreen &) = delete;

    // Creates the Desktop window and its items. `beforeItemsStart` runs once the items'
    // libraries are loaded and before any item is initialised. Returns false when the Desktop
    // window cannot be created.
    bool start(const std::function<void()> &beforeItemsStart = {});
    // Destroys the items, unloads their libraries and destroys the Desktop window.
    void stop();

    HWND desktop() const { return desktop_; }

    struct ItemView {
        std::u16string name;   // the item's key name
        HWND window;
        RECT bounds;       // in the Desktop's client coordinates
        HMODULE module;    // the item's library
        bool hasOptions;   // its key's "Options" is not 0: the Today settings can open its page
    };
    std::vector<ItemView> items() const;

    // Tells the item its selection by the Today screen's navigation, as the d-pad would.
    void select(HWND itemWindow);

    // While held, a rebuild that an item asks for waits: the item's own code (its menu, its
    // options page) is still running and must not be unloaded under it. Releasing the hold
    // carries out a rebuild that was asked for meanwhile.
    void holdRebuild(bool hold);

    // Asks every item its height (message 1267) and stacks them anew when one changed.
    void queryHeights();
    // Repaints the clock, date and battery bands when what they show has changed.
    void refreshHeader();

private:
    struct Item {
        std::unique_ptr<TODAYLISTITEM> record;   // its address is handed to the item
        HMODULE module = nullptr;
        HWND window = nullptr;
        int top = 0;
        int height = 0;
        bool selectable = true;
    };

    static LRESULT CALLBACK desktopProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    void loadItems(const std::function<void()> &beforeItemsStart);
    void unloadItems();
    void layout();
    void paint();
    void drawWatermark(const TODAYDRAWWATERMARKINFO &info);
    void takeSelection(HWND itemWindow);
    void rebuild();
    const Item *itemOf(HWND window) const;

    ScreenLook look_;
    std::ostream &diagnostics_;
    HWND desktop_ = nullptr;
    std::vector<Item> items_;
    HWND selected_ = nullptr;
    bool rebuildHeld_ = false;
    bool rebuildPending_ = false;
    HeaderContent shownHeader_;
};

}   // namespace host

#endif
