// The Preferences dialog: the four switches and the cluster size of the current drive.
#pragma once

#include <windows.h>

// Runs the dialog modally. Returns 0 (cancelled), 1 (closed with OK, cluster size unchanged) or 2
// (the drive's cluster-size override was written or erased: the drive must be scanned again).
INT_PTR runPreferencesDialog(HWND owner);
// After a result of 2: scans again the drive whose cluster size the dialog wrote, which need not
// be the current drive any more (a scan that ends while the dialog is open shows its own drive),
// reselecting the directory that was shown when the dialog opened.
void rescanPreferencesDrive();
