// Resource IDs of the log viewer, shared by logview.rc and the code. Only #defines.
#pragma once

#define IDR_LOGVIEW_MENU 100
#define IDR_LOGVIEW_KEYS 101

#define IDM_SAVE 200
#define IDM_EXIT 201
#define IDM_COPY 202
#define IDM_SELECT_ALL 203
#define IDM_CLEAR 204
#define IDM_FOLLOW 205

#define IDC_LINES 300
#define IDC_STATUS 301
