#include "platform/registry.h"

#include <atomic>

namespace platform {
namespace {
std::atomic<RegistryApi*> g_pRegistry{nullptr};
}  // namespace

RegistryApi& CurrentRegistryApi() {
    RegistryApi* api = g_pRegistry.load(std::memory_order_acquire);
    return api ? *api : SystemRegistryApi();
}

ScopedRegistryApi::ScopedRegistryApi(RegistryApi& api)
    : m_pPrevious(g_pRegistry.exchange(&api, std::memory_order_acq_rel)) {}

ScopedRegistryApi::~ScopedRegistryApi() {
    g_pRegistry.store(m_pPrevious, std::memory_order_release);
}

}  // namespace platform
