// Resource and control identifiers of the installer.
#pragma once

#define IDD_PROGRESS 110     // the progress window
#define IDB_BANNER 112       // banner across the top of the progress window
#define IDI_SETUP 114        // the program's own icon
#define IDI_STEP_MARKER 116  // arrow beside the current step

#define IDC_STEP_CHECK 1000   // "Checking installed version"
#define IDC_STEP_UPDATE 1001  // "Updating files"
#define IDC_STEP_MARKER 1005  // the marker icon
#define IDC_PROGRESS 1007     // copy progress, in kilobytes
