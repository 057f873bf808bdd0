#pragma once

// Dialog templates of the option framework tests (options_test.rc).
#define IDD_TEST_PAGE 900
#define IDD_SHEET_FIRST 901
#define IDD_SHEET_SECOND 902

#define IDC_TEST_EDIT 1001
#define IDC_TEST_CHECK 1002
#define IDC_TEST_LIST 1003
#define IDC_TEST_LISTVIEW 1004
#define IDC_TEST_SIP 1027
