// The control surface: what a test or the emulated Today screen uses to set up and drive the
// simulated device — the clock, the battery, the OS identity, the registry file, faults, other
// programs' windows, the message loop and the display. The code under test never includes this.
#ifndef DURVO_PLATFORM_CONTROL_H
#define DURVO_PLATFORM_CONTROL_H

#include <windows.h>

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace control {

// Puts the whole device back to its power-on defaults: empty registry, no windows, classes,
// timers or queued messages, clock 2005-06-10 08:00:00, tick count 0, battery on AC at 100 %,
// OS 4.20 "PocketPC", 96 dpi, "SHGetUIMetrics" present, no faults.
void resetDevice();

// ---- Clock -----------------------------------------------------------------------------------
// Local time and the 32-bit tick count are simulated; nothing reads the host clock.
void setLocalTime(const SYSTEMTIME &localTime);
void setTickCount(DWORD tickCount);
// Moves the local time and the tick count (which wraps) forward; fires nothing.
void advanceClock(DWORD milliseconds);

// ---- Power -----------------------------------------------------------------------------------
// The record GetSystemPowerStatusEx2 reports (all 56 bytes); the short form sets the AC line,
// battery flag and percent bytes, which is what most callers read.
void setPowerStatus(const SYSTEM_POWER_STATUS_EX2 &status);
void setPowerStatus(BYTE acLineStatus, BYTE batteryFlag, BYTE batteryLifePercent);
void setPowerCallFails(bool fails);

// ---- OS identity -----------------------------------------------------------------------------
void setOsVersion(DWORD major, DWORD minor);
void setVersionCallFails(bool fails);
void setPlatformType(std::u16string_view name);
void setPlatformTypeCallFails(bool fails);

// ---- Registry --------------------------------------------------------------------------------
void clearRegistry();
// "Windows Registry Editor Version 5.00" text: binary values as hex:, dwords as dword:,
// strings quoted. A load replaces the whole registry; on a syntax error it changes nothing and
// returns false with "line N: message" in *error.
// Key and value names with a control character or a lone surrogate cannot be written (the
// format has no escape for a line break): the text then holds them as they are and
// *unwritable (when given) names the first; saveRegistry refuses such a registry and keeps the
// old file. The reader refuses such names too.
std::string registryToRegText(std::string *unwritable = nullptr);
bool registryFromRegText(std::string_view text, std::string *error);
// The file is what regedit exports for version 5.00: UTF-16LE with a byte order mark and CR LF
// line ends. A load also takes UTF-8 text (with or without its mark), as people write it.
bool saveRegistry(const std::filesystem::path &file, std::string *error);
bool loadRegistry(const std::filesystem::path &file, std::string *error);
// The text (UTF-8, LF) of a .reg file's bytes: UTF-16LE with its mark, as saveRegistry writes,
// or UTF-8 with or without one.
std::string regFileText(std::string_view bytes);

// ---- Files -----------------------------------------------------------------------------------
// The device file system lives below this host folder: "\My Documents\x.txt" is
// ROOT/My Documents/x.txt. Lookup ignores letter case.
void setDeviceRoot(const std::filesystem::path &root);
// A desktop's drive: "C:\x.txt" is FOLDER/x.txt once drive C: is mapped to FOLDER (the letter in
// either case); ".." never climbs above FOLDER. An empty folder removes the mapping. A drive that
// is not mapped is the folder of its letter below the device root. False for a non-letter.
bool mapDrive(WCHAR letter, const std::filesystem::path &folder);
std::filesystem::path hostPathOf(std::u16string_view devicePath);
// Files opened with CreateFile* and not yet closed; a leak shows here.
int openFileHandles();
// The whole of a host file from outside, opened without blocking and checked before a byte is
// read: false, with *why ("a FIFO, not a regular file", "a folder, ...", "a device, ...",
// "larger than 64 MB", or the system's reason: "No such file or directory", "File name too
// long"), for anything but a regular file of at most `limit` bytes.
bool readRegularFile(const std::filesystem::path &file, size_t limit, std::string *bytes, std::string *why);

// ---- Faults ----------------------------------------------------------------------------------
// Each call a test may make fail passes through one fault point; one table in the platform
// (src/faults.cpp) gives each the error it answers. A fault changes nothing before it answers:
// a failed RegSetValueEx* keeps the old value, a failed WriteFile writes nothing.
enum class FaultPoint {
    CreateFile,        // CreateFile*: INVALID_HANDLE_VALUE, ERROR_ACCESS_DENIED
    WriteFile,         // FALSE, ERROR_DISK_FULL (or a short write, below)
    DeleteFile,        // DeleteFile*: FALSE, ERROR_ACCESS_DENIED
    MoveFile,          // FALSE, ERROR_ACCESS_DENIED
    CreateDirectory,   // CreateDirectory*: FALSE, ERROR_ACCESS_DENIED
    RegCreateKey,      // RegCreateKeyEx*: ERROR_ACCESS_DENIED (existing keys too)
    RegOpenKey,        // RegOpenKeyEx*: ERROR_ACCESS_DENIED
    RegSetValue,       // RegSetValueEx*: ERROR_WRITE_FAULT
    Count
};
struct Faults {
    std::vector<FaultPoint> points;   // the points that may fail; none by default
    // Calls through those points (counted together from setFaults) that work first.
    DWORD callsBefore = 0;
    // true: that call and every later one fails (a full storage, a locked key); false: only
    // that one, as in a sweep that fails call 1, 2, ... N in turn.
    bool persistent = true;
    // A failing WriteFile writes half the bytes (rounded down) and answers TRUE with that
    // count, as a storage that filled up midway.
    bool shortWrite = false;
};
void setFaults(const Faults &faults);   // resetDevice clears them
// Calls made through the chosen points since setFaults, the failed ones included: a sweep is
// done once a run makes no more calls than the one it was told to fail.
DWORD faultPointCalls();
// The point whose call failed first since setFaults; Count when none has.
FaultPoint firstFailedPoint();
std::vector<FaultPoint> fileAndRegistryFaultPoints();   // every point
const char *faultPointName(FaultPoint point);

// ---- Programs --------------------------------------------------------------------------------
// There are no processes: a program that WinExec starts is handed to the launcher, which stands
// in for it and returns once it has done its work. WinExec looks for the program file first
// (quoted name, or each blank of an unquoted line in turn; ".exe" added to a name without an
// extension; a bare name in the search folders) and calls the launcher for every attempt.
struct ProgramStart {
    std::u16string commandLine;   // as WinExec got it
    UINT showCommand = 0;
    std::u16string program;           // the file found ("C:\Windows\notepad.exe"); empty: none
    std::filesystem::path hostFile;   // that file on the host
};
// Answers whether the program ran; false makes WinExec answer ERROR_BAD_FORMAT (11). When no
// file was found, WinExec answers ERROR_FILE_NOT_FOUND (2) whatever the launcher says.
using ProgramLauncher = std::function<bool(const ProgramStart &)>;
// resetDevice removes the launcher (every found program then fails with 11) and the folders.
void setProgramLauncher(ProgramLauncher launcher);
// Where a program named without a path is looked for, in order ("C:\Windows\System32", ...).
void setProgramSearchPath(std::vector<std::u16string> folders);
// CoInitialize calls not yet matched by CoUninitialize.
int comInitializations();

// Runs a program built for this platform: a shared library holding WinMain and the record of its
// resources (module_abi.h). While WinMain runs, the program is the current program:
// GetModuleHandle*(NULL) and the resource calls with a null module answer its module.
// `arguments` is WinMain's command line. Returns WinMain's exit code, or -1 with *error set when
// the image cannot be loaded or has no WinMain.
int runProgram(const std::filesystem::path &image, std::string_view arguments, std::string *error);
// Gives the current program (the test executable when no runProgram is running) these resources,
// a windres .res image, in place of its own; an empty image restores its own. resetDevice does too.
void setProgramResources(std::vector<BYTE> image);

// ---- Shell library ---------------------------------------------------------------------------
// Whether "AYGSHELL" exports "SHGetUIMetrics", and the pixel font size it reports
// (0 = the call leaves the buffer untouched).
void setShellUiMetrics(bool present, DWORD fontSizePixels);

// ---- Display ---------------------------------------------------------------------------------
void setDpi(int dotsPerInch);   // LOGPIXELSX and LOGPIXELSY of every device context
int dpi();
// The screen in pixels (HORZRES, VERTRES, the desktop window, where dialogs and menus must lie),
// for a desktop rather than a Pocket PC; 0 x 0 goes back to 240 x 320 scaled with the dpi.
void setScreenSize(int width, int height);
void setSysColor(int index, COLORREF color);
// The stock SYSTEM_FONT's lfWeight (FW_BOLD by default), so a test can tell it from others.
void setSystemFontWeight(LONG weight);

// ---- Other programs' windows -----------------------------------------------------------------
// Visible top-level windows that belong to no module of ours, for EnumWindows.
HWND addForeignWindow(std::u16string_view title);
bool setForeignWindowVisible(std::u16string_view title, bool visible);   // first by that title
bool renameForeignWindow(std::u16string_view title, std::u16string_view newTitle);
bool closeForeignWindow(std::u16string_view title);

// ---- Message loop ----------------------------------------------------------------------------
// Dispatches every queued message, then sends WM_PAINT to each window with an update region,
// until nothing is left. Returns the number of messages dispatched.
int pumpMessages();
// Lets the device run: the clock and tick count advance in steps of stepMs; after each step the
// due timers post their WM_TIMER (one pending per timer) and the queue is pumped.
void run(DWORD milliseconds, DWORD stepMs = 1000);

// ---- Drawing ---------------------------------------------------------------------------------
// One drawing call into a window, with the device context's state as the call found it.
struct DrawnItem {
    enum class Kind { Text, Icon, Fill };
    Kind kind = Kind::Text;
    // Text: the rectangle DrawTextW was given. Icon: where it landed (x, y, x + width,
    // y + height). Fill: the rectangle filled.
    RECT rect{};
    // Text (DrawTextW, not DT_CALCRECT): the lines as split and wrapped, before '&' prefixes.
    std::vector<std::u16string> lines;
    UINT format = 0;
    LONG fontHeight = 0;   // the selected font's LOGFONTW lfHeight and lfWeight
    LONG fontWeight = 0;
    COLORREF textColor = 0;
    int bkMode = 0;
    // Icon (DrawIconEx): the icon group LoadImageW read (0 when named by a string) and the
    // image it chose from the group.
    int iconGroup = 0;
    int imageWidth = 0;
    int imageHeight = 0;
    int imageBitCount = 0;
    // Fill (FillRect with a brush that paints).
    COLORREF brushColor = 0;
};
// What was drawn into the window since its last paint began, in order.
std::vector<DrawnItem> paintRecord(HWND window);
// The text lines of paintRecord, in order.
std::vector<std::u16string> drawnText(HWND window);
// Renders the window with its visible children on top, at their positions, into a PNG file.
bool saveWindowPng(HWND window, const std::filesystem::path &file);
// GDI objects created by the code and not yet deleted: fonts, brushes, icons, device contexts.
struct GdiCounts {
    int fonts = 0;
    int brushes = 0;
    int icons = 0;
    int deviceContexts = 0;
    int menus = 0;   // menu handles not yet destroyed (USER objects, counted here all the same)
};
GdiCounts liveGdiObjects();

// ---- What a program leaves -------------------------------------------------------------------
// Windows not destroyed (other programs' too), timers not killed, and libraries loaded with
// LoadLibraryW and not freed, the built-in shell library included (GetDesktopWindow's window
// is part of the system and stays). A program that ends cleanly leaves none, and no GDI objects
// either (liveGdiObjects).
int liveWindowCount();
int liveTimerCount();
int loadedLibraryCount();
// All of the above that is not zero, with the GDI objects, menus, open files and COM
// initialisations not undone, as "2 windows, 1 timer, 3 fonts, 1 library"; empty when nothing
// is left.
std::string describeLeftovers();

// ---- The user ----------------------------------------------------------------------------------
// Message boxes, popup menus and modal dialogs are shown to a scripted user instead of a person.
// Each prompt is handed to the matching callback, which answers it; a prompt with no callback,
// or one the callback leaves unanswered, fails at once (MessageBox* returns 0, TrackPopupMenuEx
// returns 0, DialogBox* ends the dialog and returns -1) and is recorded, so a test or a script
// sees a clear message and never a hang.
struct MessageBoxShown {
    HWND owner = nullptr;
    std::u16string caption;
    std::u16string text;
    UINT type = 0;   // MB_* flags as passed
    // The box's own top-level window while the callback runs (caption, text, buttons), so that
    // saveWindowPng(window, ...) or saveScreenPng pictures the open box.
    HWND window = nullptr;
};
struct MenuItemShown {
    UINT id = 0;
    UINT flags = 0;   // MF_* flags as appended (MF_SEPARATOR for a separator)
    std::u16string text;
};
struct MenuShown {
    HWND owner = nullptr;
    POINT point{};    // the screen point TrackPopupMenuEx was given
    UINT flags = 0;   // TPM_* flags
    std::vector<MenuItemShown> items;
    // The menu's own top-level popup window while the callback runs: its client area shows the
    // items, so saveWindowPng(window, ...) or saveScreenPng pictures the open menu.
    HWND window = nullptr;
};
// One control of a dialog as the user sees it.
struct ControlShown {
    int id = 0;
    std::u16string className;   // "button", "combobox", "static", "edit" (lower case)
    std::u16string text;
    DWORD style = 0;
    RECT rect{};           // in the dialog's client coordinates, in pixels
    bool visible = true;   // the control's own WS_VISIBLE
    bool enabled = true;
    int check = 0;                           // buttons: BST_UNCHECKED, BST_CHECKED
    std::vector<std::u16string> listItems;   // combo boxes
    int selection = -1;                      // combo boxes: the current selection, -1 for none
};
struct DialogShown {
    HWND dialog = nullptr;
    HWND owner = nullptr;   // as DialogBox* was given it
    std::u16string title;
    DWORD shellFlags = 0;   // the SHIDIF_* flags of SHInitDialog, 0 when it was not called
};
// What a message box callback answers: IDOK, IDYES, IDNO, IDCANCEL ...; 0 leaves it unanswered.
using MessageBoxAnswer = std::function<int(const MessageBoxShown &)>;
// What a menu callback answers: the chosen item's id, 0 to dismiss the menu, or -1 to leave it
// unanswered.
using MenuAnswer = std::function<int(const MenuShown &)>;
// A dialog callback runs once the dialog is initialised and visible; it acts on the controls
// (clickControl, selectListItem, ...) until the dialog procedure calls EndDialog. Returning
// while the dialog is still open leaves it unanswered.
using DialogAnswer = std::function<void(const DialogShown &)>;
struct ScriptedUser {
    MessageBoxAnswer messageBox;
    MenuAnswer menu;
    DialogAnswer dialog;
};
// Installs the user (replacing the previous one); resetDevice removes it.
void setUser(ScriptedUser user);
// Descriptions of the prompts that failed unanswered since the last call ("message box
// \"Error\": Unable to ... was not answered"), oldest first; the list is emptied.
std::vector<std::string> takeUnansweredPrompts();

// What the user does inside a dialog. Each acts as a tap on the control would: a push button
// sends WM_COMMAND (BN_CLICKED) to the dialog; an auto check box toggles and notifies; an auto
// radio button checks itself, clears the others of its group and notifies. Returns false when
// the dialog has no such enabled, visible control (a group box takes no tap). On a dialog whose
// caption carries the OK button (SHInitDialog's SHIDIF_DONEBUTTON) and that has no control 1,
// IDOK taps that button: WM_COMMAND IDOK goes to the dialog. Pending paints and posted messages
// are dispatched afterwards, as the modal loop would between two taps.
bool clickControl(HWND dialog, int controlId);
// Selects item `index` of a combo box and notifies the dialog (CBN_SELCHANGE).
bool selectListItem(HWND dialog, int controlId, int index);
// The dialog's controls in template order, with their current state.
std::vector<ControlShown> dialogControls(HWND dialog);
// Renders the whole screen (every visible top-level window in z-order) into a PNG file.
bool saveScreenPng(const std::filesystem::path &file);

// ---- Text ------------------------------------------------------------------------------------
std::string toUtf8(std::u16string_view text);
std::u16string fromUtf8(std::string_view text);

}   // namespace control

#endif
