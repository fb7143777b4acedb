#include "setup_flow.h"

#include "package/package_files.h"
#include "resource.h"

SetupState setupState;

static const char *const licenceDialogName = "AboutDlg";
static const char *const syncSoftwareKey = "SOFTWARE\\Microsoft\\Windows CE Services\\";
static const char *const installedDirValue = "InstalledDir";
static const char *const packageFolder = "Durvo plugin\\";
static const char *const applicationManager = "CEAppMgr.exe";
static const char *const textEditor = "notepad.exe";

static const char *const cancelledMessage = "Setup cancelled by user";
static const char *const noSyncSoftwareMessage = "Unable to locate ActiveSync installation.\r\n"
                                                 "Please install ActiveSync and run this setup again.";
static const char *const extractFailedMessage = "Unable to extract file ";
static const char *const failureCaption = "Setup not complete";
static const char *const successCaption = "Setup successful!";
static const char *const successMessage = "Please follow ActiveSync software setup procedure.\r\n"
                                          "Also note that you will need to restart your device on\r\n"
                                          "ActiveSync setup completion";
static const char *const abortQuestion = "Do you really want to abort installation?";
static const char *const abortCaption = "Durvo plugin Setup";

static const char *const aboutText = "Durvo Meter plugin for PocketPC, version 3.4.3\r\n"
                                     "Freeware. Copyright (c) 2003-2005 Norvane\r\n"
                                     "Contact: support@norvane.example";

// The five paragraphs of terms of License.txt without its heading and its signature, one line
// each (the edit control wraps them).
static const char *const licenceAgreement
    = "\r\n"
      "    1. Durvo Meter Plugin (\"the software\") is the property of Norvane and is protected"
      " by copyright law and international treaties. You may not change, translate, disassemble"
      " or decompile the software, nor remove or alter the notices it carries.\r\n"
      "\r\n"
      "    2. Norvane grants you a non-exclusive, non-transferable licence to install and use "
      "the software on your own handheld devices for private, non-commercial purposes, free of "
      "charge. You may pass the unchanged setup program on to others on the same terms, "
      "provided that you ask no payment for it.\r\n"
      "\r\n"
      "    3. Any commercial use of the software, including selling it, bundling it with goods "
      "or services, or using it within a business, requires the prior written permission of "
      "Norvane.\r\n"
      "\r\n"
      "    4. The software is provided \"as is\", without warranty of any kind, express or "
      "implied. Norvane shall not be liable for any damage or loss of data, time or profit that"
      " arises from the use of the software or from the inability to use it, even if Norvane "
      "has been told of the possibility of such damage.\r\n"
      "\r\n"
      "    5. By installing, copying or otherwise using the software you accept the terms of "
      "this agreement. If you do not accept them, do not install the software, and remove any "
      "copy of it that you hold.";

// RT_RCDATA in its 8-bit form, whichever character width the headers default to.
static LPCSTR const rawDataType = MAKEINTRESOURCEA(10);

// Appends as much of `text` as fits; the buffers are sized so that it always fits.
static void appendText(char *buffer, int capacity, const char *text)
{
    int length = lstrlenA(buffer);
    while (*text != 0 && length < capacity - 1) buffer[length++] = *text++;
    buffer[length] = 0;
}

static void copyText(char *buffer, int capacity, const char *text)
{
    buffer[0] = 0;
    appendText(buffer, capacity, text);
}

void failSetup(const char *message)
{
    copyText(setupState.failureMessage, failureMessageCapacity, message);
    throw SetupFailure();
}

void readRegistryString(const char *keyPath, const char *valueName, char *result)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_READ, &key) != ERROR_SUCCESS) return;
    DWORD type = REG_NONE;
    DWORD size = registryStringBytes;
    LONG status = RegQueryValueExA(key, valueName, NULL, &type, (BYTE *)result, &size);
    bool isString = type == REG_SZ || type == REG_EXPAND_SZ;
    if (status != ERROR_SUCCESS || !isString || size > (DWORD)registryStringBytes)
        size = 0;
    else if (size > 0 && result[size - 1] == 0)
        size -= 1;   // a value stored without its terminator keeps its last character
    result[size] = 0;
    RegCloseKey(key);
}

// installDir + "Durvo plugin\" + fileName.
static void packagePath(const char *fileName, char *path)
{
    copyText(path, packagePathCapacity, setupState.installDir);
    appendText(path, packagePathCapacity, packageFolder);
    appendText(path, packagePathCapacity, fileName);
}

static bool sameText(const char *a, const char *b)
{
    while (*a != 0 && *a == *b) {
        ++a;
        ++b;
    }
    return *a == *b;
}

// The raw-data resource that carries a package file, from the package table; null for a name
// the package does not have.
static const char *packageResourceName(const char *fileName)
{
    for (int i = 0; i < packageFileCount; ++i) {
        if (sameText(packageFiles[i].fileName, fileName)) return packageFiles[i].resourceName;
    }
    return NULL;
}

void extractPackageFile(const char *fileName)
{
    char path[packagePathCapacity];
    packagePath(fileName, path);
    DeleteFileA(path);
    const char *resourceName = packageResourceName(fileName);

    char message[failureMessageCapacity];
    copyText(message, failureMessageCapacity, extractFailedMessage);
    appendText(message, failureMessageCapacity, path);

    HMODULE program = GetModuleHandleA(NULL);
    HRSRC resource = resourceName != NULL ? FindResourceA(program, resourceName, rawDataType) : NULL;
    DWORD size = 0;
    const void *data = NULL;
    if (resource != NULL) {
        size = SizeofResource(program, resource);
        data = LockResource(LoadResource(program, resource));
    }
    if (size == 0 || data == NULL) failSetup(message);

    HANDLE file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) failSetup(message);
    DWORD written = 0;
    BOOL wrote = WriteFile(file, data, size, &written, NULL);
    BOOL closed = CloseHandle(file);
    if (!wrote || written != size || !closed) {
        // A cut-off cabinet must not stay behind for the application manager to find.
        DeleteFileA(path);
        failSetup(message);
    }
}

static void centreOnDesktop(HWND dialog)
{
    RECT desktop;
    RECT own;
    GetWindowRect(GetDesktopWindow(), &desktop);
    GetWindowRect(dialog, &own);
    // The desktop's right and bottom edges stand for its width and height.
    int x = (desktop.right - (own.right - own.left)) / 2;
    int y = (desktop.bottom - (own.bottom - own.top)) / 2;
    SetWindowPos(dialog, NULL, x, y, 0, 0, SWP_NOSIZE);
}

INT_PTR CALLBACK licenceDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        centreOnDesktop(dialog);
        SetDlgItemTextA(dialog, IDC_ABOUT_TEXT, aboutText);
        SetDlgItemTextA(dialog, IDC_LICENCE_TEXT, licenceAgreement);
        return FALSE;   // no initial keyboard focus
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK: EndDialog(dialog, IDOK); return TRUE;
        case IDCANCEL:
            if (MessageBoxA(dialog, abortQuestion, abortCaption, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2)
                == IDYES)
                EndDialog(dialog, IDCANCEL);
            return TRUE;
        default: return FALSE;
        }
    default: return FALSE;
    }
}

// A drive's root ("C:\...") or a share ("\\server\share"). "Sync", "\Sync" and "C:Sync" depend on
// the current folder and drive, so the package would land wherever the setup happens to run.
static bool isFullPath(const char *path)
{
    bool letter = (path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z');
    if (letter && path[1] == ':') return path[2] == '\\' || path[2] == '/';
    return (path[0] == '\\' || path[0] == '/') && (path[1] == '\\' || path[1] == '/');
}

// Starts a program; whether it started changes nothing for the setup.
static void startProgram(const char *program, const char *argumentFile)
{
    char *line = setupState.commandLine;
    copyText(line, commandLineCapacity, program);
    appendText(line, commandLineCapacity, " \"");
    appendText(line, commandLineCapacity, setupState.installDir);
    appendText(line, commandLineCapacity, packageFolder);
    appendText(line, commandLineCapacity, argumentFile);
    appendText(line, commandLineCapacity, "\"");
    WinExec(line, SW_SHOW);
}

void runSetup()
{
    CoInitialize(NULL);
    try {
        if (DialogBoxParamA(GetModuleHandleA(NULL), licenceDialogName, NULL, licenceDialogProc, 0) != IDOK)
            failSetup(cancelledMessage);

        setupState.installDir[0] = 0;
        readRegistryString(syncSoftwareKey, installedDirValue, setupState.installDir);
        // Without a full path every path below would be relative to wherever the setup runs.
        if (setupState.installDir[0] == 0 || !isFullPath(setupState.installDir))
            failSetup(noSyncSoftwareMessage);
        if (setupState.installDir[lstrlenA(setupState.installDir) - 1] != '\\')
            appendText(setupState.installDir, installDirCapacity, "\\");

        char folder[packagePathCapacity];
        packagePath("", folder);
        CreateDirectoryA(folder, NULL);   // an existing folder is fine

        // In the table's order; a failure leaves the files before it on disk. The package has
        // a cabinet only for each processor the library was built for; one without any fails
        // on the ARM cabinet, which every package has.
        HMODULE program = GetModuleHandleA(NULL);
        int cabinets = 0;
        for (int i = 0; i < packageFileCount; ++i) {
            if (isCabinet(i) && FindResourceA(program, packageFiles[i].resourceName, rawDataType) == NULL)
                continue;
            extractPackageFile(packageFiles[i].fileName);
            cabinets += isCabinet(i) ? 1 : 0;
        }
        if (cabinets == 0) extractPackageFile(packageFiles[armCabinetIndex].fileName);

        // The program path is quoted: unquoted, a directory with spaces such as
        // "C:\Program Files\..." would let Windows start "C:\Program.exe" instead.
        char manager[packagePathCapacity];
        copyText(manager, packagePathCapacity, "\"");
        appendText(manager, packagePathCapacity, setupState.installDir);
        appendText(manager, packagePathCapacity, applicationManager);
        appendText(manager, packagePathCapacity, "\"");
        startProgram(manager, packageFiles[descriptionFileIndex].fileName);
        startProgram(textEditor, packageFiles[readMeFileIndex].fileName);

        MessageBoxA(NULL, successMessage, successCaption, MB_OK | MB_ICONINFORMATION);
    } catch (SetupFailure &) {
        MessageBoxA(NULL, setupState.failureMessage, failureCaption, MB_OK | MB_ICONINFORMATION);
    }
    CoUninitialize();
}
