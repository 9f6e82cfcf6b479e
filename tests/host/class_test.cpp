// The host's object model: registration by a static record, the factory and
// the host allocator, QueryInterface and reference counts.
#include <gtest/gtest.h>

#include <cstring>

#include "host/kx_class.h"

namespace {

class CSample : public virtual CKxClass {
  public:
    static const CKxClassInfo s_classInfo;
    const CKxClassInfo* GetClassInfo() const override { return &s_classInfo; }
    IKxInterface* QueryInterface(const char* name) override {
        if (!name || std::strcmp(name, "ISample") != 0) return nullptr;
        AddRef();
        return static_cast<IKxInterface*>(this);
    }
    static int s_destroyed;
    ~CSample() override { ++s_destroyed; }
};
int CSample::s_destroyed = 0;

IKxInterface* KX_ConstructorForCSample(const char* file, int line) {
    CSample* object = new (file, line) CSample;
    return object ? static_cast<IKxInterface*>(object) : nullptr;
}

const CKxClassInfo CSample::s_classInfo("CSample", "ISample", sizeof(CSample),
                                        KX_ConstructorForCSample);

TEST(HostClasses, RegistrationFactoryQueryInterfaceAndReferences) {
    const CKxClassInfo* info = KX_FindClass("CSample");
    ASSERT_EQ(info, &CSample::s_classInfo);
    EXPECT_STREQ(info->m_interfaceName, "ISample");
    EXPECT_EQ(info->m_objectSize, sizeof(CSample));
    for (const char* parent : info->m_parents) EXPECT_STREQ(parent, "");
    EXPECT_EQ(KX_FindClass("CNothing"), nullptr);
    EXPECT_EQ(KX_FindClass(nullptr), nullptr);

    const long live = KX_LiveObjectCount();
    CSample::s_destroyed = 0;
    IKxInterface* object = info->m_factory(__FILE__, __LINE__);
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(KX_LiveObjectCount(), live + 1);
    CKxClass* cls = object->GetKxClass();
    EXPECT_EQ(cls->GetRefCount(), 1);
    EXPECT_EQ(cls->GetClassInfo(), info);

    // The interface it has: the same view back, one more reference.
    EXPECT_EQ(cls->QueryInterface("ISample"), object);
    EXPECT_EQ(cls->GetRefCount(), 2);
    // Any other name: null, and the count stays.
    EXPECT_EQ(cls->QueryInterface("IKxPhysicalDevice"), nullptr);
    EXPECT_EQ(cls->QueryInterface(nullptr), nullptr);
    EXPECT_EQ(cls->GetRefCount(), 2);

    EXPECT_EQ(cls->Release(), 1);
    EXPECT_EQ(CSample::s_destroyed, 0);
    EXPECT_EQ(cls->Release(), 0);
    EXPECT_EQ(CSample::s_destroyed, 1);
    EXPECT_EQ(KX_LiveObjectCount(), live);
}

TEST(HostClasses, ARecordThatGoesAwayUnregistersItsClass) {
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
