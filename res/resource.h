// Resource ids of Kestrow.exe.
#pragma once

#define IDD_ABOUTBOX            100
#define IDS_ABOUTBOX            101
#define IDD_KESTROW_DIALOG      102
#define IDP_SOCKETS_INIT_FAILED 103
#define IDS_LOG_NOT_FOUND       110
#define IDS_LOG_OPEN_FAILED     111
#define IDR_MAINFRAME           128
#define IDI_ALERT1              129
#define IDI_ALERT2              130
#define IDI_ALERT3              131
#define IDD_OPTIONS             133

#define IDC_VIEWLOG             3
#define IDC_ACKNOWLEDGE         4
#define IDC_LIST                1005
#define IDC_HISTORY             1006
#define IDC_AUTOSTART           1009
#define IDC_OPTIONS             1010
#define IDC_SILENCE             1011
#define IDC_NOTICE              1012
#define IDC_REPORT_OFFLINE      1013

#ifndef IDC_STATIC
#define IDC_STATIC              (-1)
#endif
