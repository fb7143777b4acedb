// DurvoSetup's one straight run: the licence dialog, finding the synchronisation software,
// unpacking the install package below it, handing it to the application manager, opening the
// read-me, and the closing message. All text is 8-bit; the first failure ends the run.
#ifndef DURVO_SETUP_FLOW_H
#define DURVO_SETUP_FLOW_H

#include <windows.h>

// The registry hands back at most this many bytes, terminator included.
const int registryStringBytes = 250;
// The install directory with the "\" the flow may append, and its terminator.
const int installDirCapacity = registryStringBytes + 2;
// installDir + "Durvo plugin\" + the longest package file name + terminator, with room to spare.
const int packagePathCapacity = installDirCapacity + 64;
// Two quoted paths and a program name.
const int commandLineCapacity = 2 * packagePathCapacity;
// "Unable to extract file " and a package path.
const int failureMessageCapacity = packagePathCapacity + 64;

struct SetupState {
    char installDir[installDirCapacity];   // ends in "\" once located
    char failureMessage[failureMessageCapacity];
    char commandLine[commandLineCapacity];
};

extern SetupState setupState;

// The one exception of the program; its text is setupState.failureMessage.
struct SetupFailure { };

// The whole run; every outcome ends in a message box. The process then exits with 0.
void runSetup();

INT_PTR CALLBACK licenceDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Reads a string value of a key below HKEY_LOCAL_MACHINE into `result` (room for
// registryStringBytes + 1 characters). A key that cannot be opened leaves `result` as it was;
// any other failure, a value that is not a string or does not fit, leaves it empty.
void readRegistryString(const char *keyPath, const char *valueName, char *result);

// Writes one package file (e.g. "Durvo.ini") from the raw-data resource the package table names
// for it into the package folder below setupState.installDir; raises SetupFailure when it
// cannot.
void extractPackageFile(const char *fileName);

// Records `message` as the failure and raises SetupFailure.
[[noreturn]] void failSetup(const char *message);

#endif
