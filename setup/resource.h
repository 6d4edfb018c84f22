// Resource IDs and texts shared by setup.rc and the code. Only #defines: rc.exe and windres read
// it.
#pragma once

#define IDD_SETUP_MENU 102

#define IDC_FENDRA_LIGHT 1002
#define IDC_README 1004
#define IDC_FENDRA_PROCESSING 1006
#define IDC_BOARD_DRIVERS 1007

#define SETUP_MENU_CAPTION "Velmora Imaging Setup for ZN4400"
#define FENDRA_LIGHT_CAPTION "Install Fendra Light"
#define BOARD_DRIVERS_CAPTION "Install Board Drivers"
#define MORRIK_DRIVERS_CAPTION "Install Morrik-II Board Drivers"
#define README_CAPTION "Read Installation Notes"
#define FENDRA_PROCESSING_CAPTION "Install Fendra Processing"

#define SETUP_VERSION 1, 0, 0, 1
#define SETUP_VERSION_TEXT "1, 0, 0, 1"
#define SETUP_PRODUCT_NAME "Velmora Setup Application"
