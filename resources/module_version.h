// The module's version record: one place for the texts that the module file
// carries about itself.
#pragma once

#define TESSARO_FILE_VERSION_TEXT u"8, 203, 1273, 0"
#define TESSARO_PRODUCT_VERSION_TEXT u"0, 0, 0, 0"
#define TESSARO_COMPANY_NAME u"Orva"
#define TESSARO_COPYRIGHT u"Copyright (C) 2026 Orva"
#define TESSARO_FILE_DESCRIPTION u"Tessaro device"
#define TESSARO_INTERNAL_NAME u"TessaroDevice"
#define TESSARO_ORIGINAL_FILE_NAME u"TessaroDevice.dll"
#define TESSARO_PRODUCT_NAME u"Orva-Tessaro Motor Controller"
