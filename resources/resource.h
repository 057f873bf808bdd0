#pragma once

// Resource ids of KestrelToday.dll. Each area keeps its ids in its own block.

// Version block
#define KESTREL_FILE_VERSION 0, 10, 0, 0
#define KESTREL_FILE_VERSION_TEXT "0.10.0.0"
#define KESTREL_PRODUCT_VERSION 0, 21, 0, 0
#define KESTREL_PRODUCT_VERSION_TEXT "0.21.0.0"

// HTML window
#define IDM_HTML 127
#define IDM_HTML_FULLSCREEN 40014

// Today item: icon, tap-and-hold menu and the state buttons' icons
#define IDI_KESTREL 102
#define IDR_ITEM_MENU 103
#define IDI_LOGGING_OFF 119
#define IDI_MONITORING_OFF 120
#define IDI_MONITORING_ON 121
#define IDI_LOGGING_ON 124
#define IDM_ITEM_MONITORING 40006
#define IDM_ITEM_LOGGING 40007
#define IDM_ITEM_SETTINGS 40008
#define IDM_ITEM_MAP 40016

// BTS database sources page: dialog, its controls and the list's context menu
#define IDD_BTSDB 102
#define IDR_BTSDB_MENU 117
#define IDC_BTSDB_URL 1018
#define IDC_BTSDB_FOLDER 1019
#define IDC_BTSDB_PROGRESS 1029
#define IDC_BTSDB_FOLDER_LABEL 1031
#define IDC_BTSDB_SOURCES 1033
#define IDC_BTSDB_NETID 1034
#define IDC_BTSDB_DOWNLOAD 1036
#define IDC_BTSDB_ADD 1037
#define IDC_BTSDB_URL_LABEL 1038
#define IDC_BTSDB_NETID_LABEL 1039
#define IDC_BTSDB_TITLE 1040
#define IDC_BTSDB_SIP 1041
#define IDC_BTSDB_LOG 1043
#define IDC_BTSDB_GROUP 1044
#define IDM_BTSDB_EDIT 40011
#define IDM_BTSDB_DELETE 40012
