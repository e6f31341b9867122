// Resource ids of the packager (Vellumix.exe): dialog templates, controls, images and
// the string table. Shared by Vellumix.rc and the window code.
#pragma once

// Dialog templates
#define IDD_ABOUTBOX 100
#define IDD_VELLUMIX_DIALOG 102

// Icon and button bitmaps
#define IDR_MAINFRAME 128
#define IDB_MOVE_DOWN 132
#define IDB_ADD 133
#define IDB_MOVE_UP 134
#define IDB_REMOVE 135

// System-menu command of the About item
#define IDM_ABOUTBOX 0x0010

// Controls of the main window
#define IDC_MAIN_MOVIE 1000
#define IDC_BROWSE 1001
#define IDC_FILE_LIST 1002
#define IDC_ADD 1003
#define IDC_REMOVE 1004
#define IDC_AUTO_INSTALL_FLASH 1005
#define IDC_MOVE_UP 1006
#define IDC_FULL_SCREEN 1007
#define IDC_MOVE_DOWN 1008
#define IDC_TITLE 1011
#define IDC_TYPE_RESOURCE 1017
#define IDC_TYPE_SLIDESHOW 1018
#define IDC_LABEL_MAIN_MOVIE 1019
#define IDC_LABEL_PACKAGE_TYPE 1020
#define IDC_LABEL_LIST 1021
#define IDC_LABEL_TITLE 1022
#define IDC_SETTINGS_GROUP 1023
#define IDC_SEPARATOR 1041
#define IDC_ADD_HINT 1042

// String table (English 1033 and Simplified Chinese 2052 under the same ids)
#define IDS_SETTINGS 1
#define IDS_TITLE 2
#define IDS_FULL_SCREEN 3
#define IDS_AUTO_INSTALL_FLASH 4
#define IDS_PACKAGE_IT 6
#define IDS_CLOSE 7
#define IDS_ABOUTBOX 101
#define IDS_PACKAGE_CREATED 102
#define IDS_COLUMN_NAME 103
#define IDS_COLUMN_TYPE 104
#define IDS_COLUMN_DIMENSION 105
#define IDS_COLUMN_SIZE 106
#define IDS_COLUMN_PATH 107
#define IDS_APP_NAME 110
#define IDS_MAIN_MOVIE_MISSING 113
#define IDS_MAIN_MOVIE_REQUIRED 114
#define IDS_PACKAGE_TYPE 122
#define IDS_MAIN_FLASH_MOVIE 123
#define IDS_TYPE_RESOURCE 124
#define IDS_TYPE_SLIDESHOW 1019
#define IDS_BROWSE 1020
#define IDS_LIST_HEADING 1021
#define IDS_UPDATE_FOUND 1031
#define IDS_UPDATE_NOTICE 1032
#define IDS_UPDATE_INSTRUCTIONS 1033
#define IDS_UPDATE_OFFER 1034
#define IDS_TIP_MOVE_UP 1035
#define IDS_TIP_MOVE_DOWN 1036
#define IDS_TIP_ADD 1037
#define IDS_TIP_REMOVE 1038
#define IDS_UPDATE_SECTION 1039
#define IDS_ADD_HINT 1040
// Progress of a running build, shown in the hint line beside the Add button
#define IDS_BUILD_PROGRESS 1043
#define IDS_BUILD_FINISHING 1044
#define IDS_BUILD_BUSY 1045
// The Add dialog refused a selection too long for its buffer
#define IDS_ADD_TOO_MANY 1046
// A file refused because the package already holds one of its name (the "%s" is the
// refused file's path, or several paths one per line), as a row and as the main movie
#define IDS_NAME_TAKEN 1047
#define IDS_MAIN_NAME_TAKEN 1048
// The installation folder could not be found out at start-up
#define IDS_NO_INSTALL_FOLDER 1049
