// The host's object model: every object the host hands around is an
// IKxInterface; objects with identity and a reference count are CKxClass
// objects, allocated by the host's allocator; classes that a module offers
// are made known by a static CKxClassInfo record that registers them when
// the module is loaded.
#pragma once

#include <atomic>
#include <cstddef>

#include "host/kx_export.h"

class CKxClass;
class CKxClassInfo;

// The first view of every host object: a two-entry table, the deleting
// destructor and the accessor to the object's CKxClass view.
class KX_HOST_API IKxInterface {
  public:
    virtual ~IKxInterface();
    virtual CKxClass* GetKxClass() = 0;

  protected:
    IKxInterface() = default;
};

class KX_HOST_API CKxClass : public virtual IKxInterface {
  public:
    // The four entries of the CKxClass table, in order.
    virtual long AddRef();
    virtual long Release();  // the object is deleted when the count reaches 0
    virtual const CKxClassInfo* GetClassInfo() const = 0;
    // The object's view for the named interface with one more reference, or
    // null (and no reference) when it has none.
    virtual IKxInterface* QueryInterface(const char* interfaceName) = 0;

    CKxClass* GetKxClass() override { return this; }
    long GetRefCount() const { return m_refs.load(); }

    // The host's allocator: `file` and `line` name the caller. Null when
    // the memory cannot be had (no exception).
    static void* operator new(std::size_t size, const char* file, int line) noexcept;
    static void operator delete(void* object, const char* file, int line) noexcept;
    static void operator delete(void* object) noexcept;

  protected:
    CKxClass() = default;
    ~CKxClass() override;

  private:
    std::atomic<long> m_refs{1};
};

// Objects allocated by the host's allocator and not yet released.
KX_HOST_API long KX_LiveObjectCount();

using KxFactory = IKxInterface* (*)(const char* file, int line);

// A class a module offers: name, interface, parent slots, object size and
// factory. Constructing the (static) record registers the class; destroying
// it, when the module is unloaded, removes it again.
class KX_HOST_API CKxClassInfo {
  public:
    static constexpr int kParentSlots = 8;

    CKxClassInfo(const char* className, const char* interfaceName, std::size_t objectSize,
                 KxFactory factory);
    ~CKxClassInfo();
    CKxClassInfo(const CKxClassInfo&) = delete;
    CKxClassInfo& operator=(const CKxClassInfo&) = delete;

    const char* const m_className;
    const char* const m_interfaceName;
    const char* m_parents[kParentSlots] = {"", "", "", "", "", "", "", ""};
    const std::size_t m_objectSize;
    const KxFactory m_factory;
};

// The registered record of a class, or null.
KX_HOST_API const CKxClassInfo* KX_FindClass(const char* className);
