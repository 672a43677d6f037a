// Resource identifiers for Veltmor. Shared by the resource script and the code.
#ifndef VELTMOR_RESOURCE_H
#define VELTMOR_RESOURCE_H

// Dialog templates
#define IDD_ABOUTBOX                    100
#define IDD_MAIN                        102
#define IDD_PROPERTIES                  131

// Icons and bitmaps
#define IDI_MAIN                        128
#define IDB_STATUS                      129
#define IDB_BANNER                      130

// Strings
#define IDS_ABOUTBOX                    101
#define IDS_COL_ITEM                    102
#define IDS_COL_VALUE                   103
#include "../scan/ScanResources.h"  // IDS_LINK_PATTERN, 104
#define IDS_HOME_PAGE                   105
#define IDS_ERROR                       107
#define IDS_WORKING_DIR                 108
#define IDS_ICON_LOCATION               109
#define IDS_ARGUMENTS                   110
#define IDS_DESCRIPTION                 111
#define IDS_HOTKEY                      112
#define IDS_PATH                        113
#define IDS_TITLE_FONT                  1000

// Controls
#define IDC_IGNORE_REMOVABLE            1001
#define IDC_LIST                        1002
#define IDC_EDIT                        1003
#define IDC_BROWSE                      1004
#define IDC_LINK_PATH                   1008
#define IDC_TITLE                       1009
#define IDC_DISPLAY_ALL                 1011
#define IDC_SCAN                        1012

// System-menu command (low four bits are reserved by the system)
#define IDM_ABOUTBOX                    0x0010

// Framework help command
#ifndef ID_HELP
#define ID_HELP                         0xE146
#endif

#endif
