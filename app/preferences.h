// The Preferences dialog: the four switches and the cluster size of the current drive.
#pragma once

#include "settings/settings.h"

#include <windows.h>

// Runs the dialog modally. Returns 0 (cancelled), 1 (closed with OK, cluster size unchanged) or 2
// (the drive's cluster-size override was written or erased: the drive must be scanned again).
INT_PTR runPreferencesDialog(HWND owner);
// After a result of 2: scans again the drive whose cluster size the dialog wrote, which need not
// be the current drive any more (a scan that ends while the dialog is open shows its own drive),
// reselecting the directory that was shown when the dialog opened.
void rescanPreferencesDrive();

// A setting shown in a dialog's control. readEdit takes the first unsigned decimal number of at
// most 14 characters of an edit control, readCheckBox a check box's state; a value that changed
// is saved when asked. Text that is no number changes nothing.
void readEdit(IntSetting& setting, HWND dialog, int controlId, bool saveIfChanged);
void readCheckBox(IntSetting& setting, HWND dialog, int controlId, bool saveIfChanged);
void setCheckBox(const IntSetting& setting, HWND dialog, int controlId);
