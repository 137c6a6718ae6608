// Resource ids of the program: shared by the resource script and the code.
#pragma once

// String table
#define IDS_TOTAL_DEVICE 9
#define IDS_TOTAL_DIRECTORY 10
#define IDS_FREE_SPACE 11
#define IDS_THIS_DIRECTORY 12
#define IDS_DIRECTORIES_ETC 13
#define IDS_REMOVE_DIRECTORY 15
#define IDS_REMOVE_FILE 16
#define IDS_ACCESS_DENIED 17
#define IDS_NOT_FOUND_REFRESH 18
#define IDS_SHARED_LINKS 19
#define IDS_SHARED_LINKS_HOVER 20
#define IDS_OTHER_NAME 21
#define IDS_REMOVE_LINK 22

// Menu and accelerator table of the main window, and the dialogs
#define IDR_MAINMENU 77
#define IDD_ABOUT 1
#define IDD_PREFERENCES 4

// Icon, toolbar bitmap and cursors
#define IDI_TARVALE 1
#define IDB_TOOLBAR 2
#define IDC_ZOOMOUT 1
#define IDC_ZOOMIN 2
#define IDC_DELETEFILE 3
#define IDC_ZOOMINDELETE 4
#define IDC_SPLITTER 5

// Commands of the menu, the toolbar, the accelerator and the drive list; the toolbar's tooltips
// are the strings of the same ids
#define IDM_COPY 7
#define IDM_PREFERENCES 102
#define IDM_UPLEVEL 103
#define IDM_REFRESH 104
#define IDM_RELATIVE 106
#define IDM_ABSOLUTE 107
#define IDM_HELPCONTENTS 109
#define IDM_WEBPAGE 11842
#define IDM_EXIT 24338
#define IDM_HELPONHELP 24345
#define IDM_ABOUT 24346
#define IDC_DRIVECOMBO 99

// Controls of the Preferences dialog
#define IDC_TREEGROUP 101
#define IDC_PIEGROUP 102
#define IDC_HELPBUTTON 9
#define IDC_SHOWFILES 105
#define IDC_ENABLEDELETE 106
#define IDC_AUTOEXPAND 11
#define IDC_AUTOCOLLAPSE 10
#define IDC_CLUSTERGROUP 103
#define IDC_DRIVELABEL 104
#define IDC_ADVISE 107
#define IDC_CLUSTERSIZE 108
