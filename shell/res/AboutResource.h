// Resource numbers of the extension's About box.
#pragma once

#define IDD_ABOUT            620
#define IDC_ABOUT_PRODUCT    101
#define IDC_ABOUT_VERSION    102
#define IDC_ABOUT_FORMAT     103
