// Resource IDs of the log viewer, shared by logview.rc and the code. Only #defines.
#pragma once

#define IDR_LOGVIEW_MENU 100
#define IDR_LOGVIEW_KEYS 101
#define IDD_FIND 102
#define IDD_FILTER 103
#define IDD_HIGHLIGHT 104

#define IDM_SAVE 200
#define IDM_EXIT 201
#define IDM_COPY 202
#define IDM_SELECT_ALL 203
#define IDM_CLEAR 204
#define IDM_FOLLOW 205
#define IDM_FIND 206
#define IDM_FIND_NEXT 207
#define IDM_FIND_PREVIOUS 208
#define IDM_FILTER 209
#define IDM_HIGHLIGHT 210
#define IDM_ALWAYS_ON_TOP 211
#define IDM_TIME_CLOCK 212
#define IDM_TIME_SINCE_FIRST 213
#define IDM_LOG_TO_FILE 214
#define IDM_CAPTURE_DEBUG 215
#define IDM_OPEN 216

#define IDC_LINES 300
#define IDC_STATUS 301
#define IDC_FIND_TEXT 302
#define IDC_MATCH_CASE 303
#define IDC_FIND_PREVIOUS 304
#define IDC_INCLUDE 305
#define IDC_EXCLUDE 306
#define IDC_CLEAR_FILTER 307
#define IDC_PROCESS 308
#define IDC_EXCLUDE_PROCESS 309
#define IDC_FILTER_REGEX 330
// Each highlight rule's text and colour: IDC_RULE_TEXT + n and IDC_RULE_COLOUR + n.
#define IDC_RULE_TEXT 310
#define IDC_RULE_COLOUR 320
