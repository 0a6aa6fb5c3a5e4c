/* The numbers of the program's resources, controls and commands. Plain C macros, so
   that the Windows resource compiler reads this file as well as the C++ code. */
#ifndef RBFINDER_RESOURCE_IDS_H
#define RBFINDER_RESOURCE_IDS_H

#define IDB_LOGO 100
#define IDD_MAIN 200
#define IDC_DEVICE_LIST 201
#define IDM_SHOW_LOG 202
#define IDC_LOG_LABEL 203
#define IDC_LOG 204
#define IDC_HIDE_LOG 205
#define IDC_SEARCH 206
#define IDC_CLEAR_LOG 207
#define IDC_EXIT 208
#define IDI_MAIN 400

#define IDT_SEARCH 1

#endif
