// Resource ids of DurvoSetup; no number is used for two kinds of resource. The dialog, the icons
// and the package files are named resources (see setup.rc); these are the licence dialog's
// control ids.
#ifndef DURVO_SETUP_RESOURCE_H
#define DURVO_SETUP_RESOURCE_H

// Controls of the licence dialog "ABOUTDLG" (Install and Cancel are IDOK and IDCANCEL).
#define IDC_ABOUT_TEXT 100
#define IDC_LICENCE_TEXT 101
#define IDC_OUTER_FRAME 102
#define IDC_TOP_FRAME 103
#define IDC_LICENCE_HEADING 104
#define IDC_SETUP_ICON -1

#endif
