// Resource.h: ids of the program's resources and controls.
#pragma once

#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_QUORLIN_DIALOG 102
#define IDR_MAINFRAME 132

#define IDC_DEVICE_LIST 1000
#define IDC_DISCOVERY 1001
#define IDC_LOCAL_IP 1002
#define IDC_NETMASK 1003
#define IDC_GATEWAY 1004
#define IDC_MODIFY 1007
#define IDC_CHECK_DVR 1008
#define IDC_CHECK_IPC 1009
#define IDC_CHECK_DEC 1010
#define IDC_CHECK_NVR 1011
#define IDC_LABEL_LOCAL_IP 1013
#define IDC_LABEL_NETMASK 1014
#define IDC_LABEL_GATEWAY 1015

// The About item of the system menu.
#define IDM_ABOUTBOX 0x0010
