// The two data sections that the host reads from the module file before it
// loads the module: "ver6IDX" (the class and the device it offers) and
// "ver6ID" (the version record). UTF-16LE text without byte-order mark,
// each record in a fixed-size slot padded with zero characters. Nothing in
// the module reads them; `used` keeps them although no code refers to them
// (the module is linked without dropping unreferenced sections).
#include "resources/metadata_sections.h"

#include "resources/module_version.h"

#define TESSARO_SECTION(name) __attribute__((section(name), used))

namespace {

#define VARIANT(body) u"<variant version=\"1.0\">" body u"</variant>"
#define NO_PARENT(n) u"<m_parent" #n u" runtype=\"CKxStringW\" value=\"\"/>"

struct ClassSection {
    char16_t classRecord[tessaro::kClassRecordSlot];
    char16_t deviceRecord[tessaro::kDeviceRecordSlot];
};

TESSARO_SECTION("ver6IDX")
const ClassSection kClassSection = {
    VARIANT(u"<CKxTessaroDevice runtype=\"RKxRttiClass\">"
            u"<m_parent1 runtype=\"CKxStringW\" value=\"IKxPhysicalDevice\"/>"  //
            NO_PARENT(2) NO_PARENT(3) NO_PARENT(4) NO_PARENT(5) NO_PARENT(6) NO_PARENT(7)
                NO_PARENT(8) NO_PARENT(9) u"</CKxTessaroDevice>"),
    VARIANT(u"<CKxTessaroDevice runtype=\"CKxListVariant\">"
            u"<m_version value=\"32\" runtype=\"kx_int32\"/>"
            u"<m_shortName value=\"Orva-Tessaro Motor Controller\"/>"
            u"<m_fullName value=\"Orva-Tessaro Motor Controller\"/>"
            u"<m_versionApp value=\"" TESSARO_FILE_VERSION_TEXT u"\"/>"
            u"</CKxTessaroDevice>"),
};

#define VERSION_RECORD(key, value) VARIANT(u"<" key u" value=\"" value u"\"/>")

TESSARO_SECTION("ver6ID")
const char16_t kVersionSection[tessaro::kVersionRecordCount][tessaro::kVersionRecordSlot] = {
    VERSION_RECORD(u"KX_GLOB_FILEVERSION_WCS", TESSARO_FILE_VERSION_TEXT),
    VERSION_RECORD(u"KX_GLOB_PRODUCTVERSION_WCS", TESSARO_PRODUCT_VERSION_TEXT),
    VERSION_RECORD(u"KX_GLOB_COMPANYNAME", TESSARO_COMPANY_NAME),
    VERSION_RECORD(u"KX_GLOB_COPYRIGHT", TESSARO_COPYRIGHT),
    VERSION_RECORD(u"KX_GLOB_TRADEMARKS", u""),
    VERSION_RECORD(u"KX_LOCAL_COMMENTS", u""),
    VERSION_RECORD(u"KX_LOCAL_FILEDESCRIPTION", TESSARO_FILE_DESCRIPTION),
    VERSION_RECORD(u"KX_LOCAL_INTERNALNAME", TESSARO_INTERNAL_NAME),
    VERSION_RECORD(u"KX_LOCAL_ORIGINALFILENAME", TESSARO_ORIGINAL_FILE_NAME),
    VERSION_RECORD(u"KX_LOCAL_PRODUCTNAME", TESSARO_PRODUCT_NAME),
    VERSION_RECORD(u"KX_LOCAL_PRIVATEBUILD", u"1"),
    VERSION_RECORD(u"KX_LOCAL_SPECIALBUILD", u"1"),
    VARIANT(u"<NDEBUG/>"),
};

}  // namespace
