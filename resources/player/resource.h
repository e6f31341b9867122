// Resource ids of Orrinet.
#pragma once

#define IDD_ORRINET_DIALOG 102  // the player window's template
#define IDR_MAINFRAME 128       // the application icon (group)
#define IDR_PACKAGE 129         // "ZIP": the package archive
#define IDR_FLASH_CONTROL 1091  // "OCX": the control installer a package may carry
#define IDS_TITLE 1             // the package title (string-table block 1)
