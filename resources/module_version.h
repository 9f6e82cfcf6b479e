/* The module's version record: one place for the texts that the module file
   carries about itself, read by the C++ code (the metadata sections) and by
   the resource compiler (the version resource). Plain narrow literals; C++
   joins them to wide ones. */
#pragma once

/* The version of everything we ship: every program's --version, CMake's
   project and each package of make dist (packaging/version.sh). A release
   raises one of the first three numbers: Windows Installer ignores the
   fourth when it decides that an MSI is newer. */
#define TESSARO_FILE_VERSION 8, 203, 1273, 0
#define TESSARO_PRODUCT_VERSION 0, 0, 0, 0
/* "8, 203, 1273, 0", from the numbers above so that they cannot differ. */
#define TESSARO_VERSION_TEXT_OF(...) #__VA_ARGS__
#define TESSARO_VERSION_TEXT(...) TESSARO_VERSION_TEXT_OF(__VA_ARGS__)
#define TESSARO_FILE_VERSION_TEXT TESSARO_VERSION_TEXT(TESSARO_FILE_VERSION)
#define TESSARO_PRODUCT_VERSION_TEXT "0, 0, 0, 0"
#define TESSARO_COMPANY_NAME "Orva"
#define TESSARO_COPYRIGHT "Copyright (C) 2026 Orva"
#define TESSARO_FILE_DESCRIPTION "Tessaro device"
#define TESSARO_INTERNAL_NAME "TessaroDevice"
#define TESSARO_ORIGINAL_FILE_NAME "TessaroDevice.dll"
#define TESSARO_PRODUCT_NAME "Orva-Tessaro Motor Controller"
