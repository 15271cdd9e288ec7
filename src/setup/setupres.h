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

// Texts of the installer's message boxes; %1, %2 stand for the values put in.
#define IDS_INSTALLED 200       // the installation succeeded
#define IDS_REINSTALL 201       // this version is installed: reinstall?
#define IDS_DOWNGRADE 202       // a newer version is installed: downgrade?
#define IDS_COPY_ERROR 203      // %1 the destination, %2 the error
#define IDS_NO_STAGING 210      // %1 the staging directory, %2 the monitor's library
#define IDS_NOT_INSTALLED 211   // a copy failed; %1 the staging directory
#define IDS_NOT_REGISTERED 212  // %1 the spooler's error
#define IDS_USAGE 213           // %1 the switch not understood
#define IDS_CONFIRM_REMOVE 220  // remove the monitor?
#define IDS_PORTS_IN_USE 221    // %1 the printers, one a line
#define IDS_NOT_REMOVED 222     // %1 the spooler's error
#define IDS_REMOVE_ERROR 223    // %1 the file, %2 the error
#define IDS_REMOVED 224         // the removal succeeded
