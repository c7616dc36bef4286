// Ids of the dialog framework's test resources.
#pragma once

#define IDD_TEST_PAGE 900
#define IDD_TEST_MODAL 901
#define IDC_TEST_TEXT 1001
#define IDC_TEST_GO 1002
#define IDC_TEST_OTHER 1003
#define IDS_TEST_NAME 1
