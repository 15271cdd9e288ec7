// Resource identifiers of the UI library: its string table and its one dialog template.
#pragma once

// Dialog template shared by the add-port and port properties dialogs, and its controls.
#define IDD_PORT 101
#define IDC_HELPBUTTON 11
#define IDC_ADDRESS 1002
#define IDC_NAMELABEL 1003
#define IDC_NAME 1004
#define IDC_INTRO 1005

// Add-port dialog texts.
#define IDS_ADD_TITLE 1
#define IDS_ADD_INTRO 2
#define IDS_ADD_ADDRESSLABEL 3
#define IDS_ADD_NAMELABEL 4

// Port properties dialog texts.
#define IDS_CFG_TITLE 25
#define IDS_CFG_ADDRESSLABEL 66
#define IDS_CFG_NAMELABEL 67

// Message texts and captions.
#define IDS_WARNING_CAPTION 272
#define IDS_COMMUNITY_READONLY 273
#define IDS_ERROR_CAPTION 288
#define IDS_NO_RESPONSE 289
#define IDS_NO_SNMP_RESPONSE 290
#define IDS_UNSUPPORTED_PRINTER 293
#define IDS_ADD_FAILED 294
#define IDS_ADDRESS_INVALID 295
#define IDS_ADDRESS_USED 296
#define IDS_ADDRESS_CHECK_FAILED 297
#define IDS_NAME_INVALID 298
#define IDS_NAME_USED 299
#define IDS_NAME_CHECK_FAILED 300
#define IDS_ADDRESS_NOT_FOUND 301
#define IDS_ADDRESS_REQUIRED 302
#define IDS_CONFIGURE_FAILED 312
#define IDS_RESTRICTED_CAPTION 346
#define IDS_RESTRICTED_QUESTION 347
#define IDS_PORT2501_CAPTION 348
#define IDS_PORT2501_QUESTION 349
