// The host's object model beyond what the device's own factory shows:
// the record's size, a class that is no longer registered once its record
// goes, and an object destroyed by its last Release.
#include <gtest/gtest.h>

#include <cstring>

#include "host/kx_class.h"

namespace {

class CSample : public virtual CKxClass {
  public:
    static const CKxClassInfo s_classInfo;
    const CKxClassInfo* GetClassInfo() const override { return &s_classInfo; }
    IKxInterface* QueryInterface(const char*) override { return nullptr; }
    static int s_destroyed;
    ~CSample() override { ++s_destroyed; }
};
int CSample::s_destroyed = 0;

IKxInterface* KX_ConstructorForCSample(const char* file, int line) {
    return new (file, line) CSample;
}

const CKxClassInfo CSample::s_classInfo("CSample", "ISample", sizeof(CSample),
                                        KX_ConstructorForCSample);

TEST(HostClasses, RecordsObjectsAndTheirEnd) {
    const CKxClassInfo* info = KX_FindClass("CSample");
    ASSERT_EQ(info, &CSample::s_classInfo);
    EXPECT_EQ(info->m_objectSize, sizeof(CSample));
    EXPECT_EQ(KX_FindClass("CNothing"), nullptr);
    EXPECT_EQ(KX_FindClass(nullptr), nullptr);
    const long live = KX_LiveObjectCount();
    CSample::s_destroyed = 0;
    CKxClass* object = info->m_factory(__FILE__, __LINE__)->GetKxClass();
    object->AddRef();
    EXPECT_EQ(object->Release(), 1);
    EXPECT_EQ(CSample::s_destroyed, 0);
    EXPECT_EQ(object->Release(), 0);
    EXPECT_EQ(CSample::s_destroyed, 1);
    EXPECT_EQ(KX_LiveObjectCount(), live);
    {
        const CKxClassInfo temporary("CTemporary", "ITemporary", 16, nullptr);
        EXPECT_EQ(KX_FindClass("CTemporary"), &temporary);
        // A newer registration of the same name wins while it lives.
        const CKxClassInfo again("CTemporary", "ITemporary", 32, nullptr);
        EXPECT_EQ(KX_FindClass("CTemporary"), &again);
    }
    EXPECT_EQ(KX_FindClass("CTemporary"), nullptr);
}

}  // namespace
