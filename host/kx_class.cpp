#include "host/kx_class.h"

#include <cstring>
#include <mutex>
#include <new>
#include <vector>

namespace {

std::atomic<long> g_liveObjects{0};

std::mutex& RegistryMutex() {
    static std::mutex mutex;
    return mutex;
}

std::vector<const CKxClassInfo*>& Registry() {
    static std::vector<const CKxClassInfo*> registry;
    return registry;
}

}  // namespace

IKxInterface::~IKxInterface() = default;

CKxClass::~CKxClass() = default;

long CKxClass::AddRef() {
    return ++m_refs;
}

long CKxClass::Release() {
    const long left = --m_refs;
    if (left == 0) delete this;
    return left;
}

void* CKxClass::operator new(std::size_t size, const char*, int) noexcept {
    void* memory = ::operator new(size, std::nothrow);
    if (memory) ++g_liveObjects;
    return memory;
}

void CKxClass::operator delete(void* object, const char*, int) noexcept {
    operator delete(object);
}

void CKxClass::operator delete(void* object) noexcept {
    if (!object) return;
    --g_liveObjects;
    ::operator delete(object);
}

long KX_LiveObjectCount() {
    return g_liveObjects.load();
}

CKxClassInfo::CKxClassInfo(const char* className, const char* interfaceName, std::size_t objectSize,
                           KxFactory factory)
    : m_className(className ? className : ""),
      m_interfaceName(interfaceName ? interfaceName : ""),
      m_objectSize(objectSize),
      m_factory(factory) {
    std::lock_guard<std::mutex> lock(RegistryMutex());
    Registry().push_back(this);
}

CKxClassInfo::~CKxClassInfo() {
    std::lock_guard<std::mutex> lock(RegistryMutex());
    auto& registry = Registry();
    for (auto it = registry.begin(); it != registry.end(); ++it) {
        if (*it == this) {
            registry.erase(it);
            break;
        }
    }
}

const CKxClassInfo* KX_FindClass(const char* className) {
    if (!className) return nullptr;
    std::lock_guard<std::mutex> lock(RegistryMutex());
    // The latest registration of a name wins (a module loaded again).
    const auto& registry = Registry();
    for (auto it = registry.rbegin(); it != registry.rend(); ++it) {
        if (std::strcmp((*it)->m_className, className) == 0) return *it;
    }
    return nullptr;
}
