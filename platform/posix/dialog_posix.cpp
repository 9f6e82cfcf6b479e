// Resources from the .res file embedded in this binary; dialogs in the
// stand-in host's headless window system.
#include <mutex>
#include <vector>

#include "host/kx_dialogs.h"
#include "platform/dialog_api.h"
#include "platform/res_file.h"

namespace platform {
namespace {

// Function-local, so that they exist before any static object of another
// file (the embedded resources) registers.
std::mutex& Mutex() {
    static std::mutex mutex;
    return mutex;
}
std::vector<ResourceEntry>& Entries() {
    static std::vector<ResourceEntry> entries;
    return entries;
}

const ResourceEntry* Entry(const void* resource) {
    std::lock_guard<std::mutex> lock(Mutex());
    for (const ResourceEntry& e : Entries())
        if (&e == resource || e.data == resource) return &e;
    return nullptr;
}

}  // namespace

void RegisterEmbeddedResources(const unsigned char* bytes, std::size_t size) {
    std::vector<ResourceEntry> entries;
    if (!ParseResFile(bytes, size, &entries, nullptr)) entries.clear();
    std::lock_guard<std::mutex> lock(Mutex());
    Entries() = std::move(entries);
}

HResource FindResourceExW(HModule, unsigned type, const char16_t* name, std::uint16_t language) {
    std::lock_guard<std::mutex> lock(Mutex());
    for (const ResourceEntry& e : Entries()) {
        if (e.type.Matches(static_cast<std::uint16_t>(type)) && e.name.Matches(name) &&
            e.language == language)
            return const_cast<ResourceEntry*>(&e);
    }
    return nullptr;
}

void* LoadResource(HModule, HResource resource) {
    const ResourceEntry* e = Entry(resource);
    return e ? const_cast<std::uint8_t*>(e->data) : nullptr;
}

const void* LockResource(void* loaded) {
    return loaded;
}

std::uint32_t SizeofResource(HModule, HResource resource) {
    const ResourceEntry* e = Entry(resource);
    return e ? e->size : 0;
}

std::intptr_t DialogBoxIndirectParamW(HModule, const void* dialogTemplate, HWindow parent,
                                      DialogProcedure procedure, std::intptr_t param) {
    const ResourceEntry* e = Entry(dialogTemplate);
    if (!e) return -1;
    return host::HeadlessDialogBox(e->data, e->size, parent, procedure, param);
}

HWindow GetDlgItem(HWindow dialog, int id) {
    return host::HeadlessGetDlgItem(dialog, id);
}

bool SetWindowTextW(HWindow window, const char16_t* text) {
    return host::HeadlessSetWindowText(window, text);
}

int GetWindowTextW(HWindow window, char16_t* text, int maxCount) {
    return host::HeadlessGetWindowText(window, text, maxCount);
}

bool CheckDlgButton(HWindow dialog, int id, bool checked) {
    return host::HeadlessCheckDlgButton(dialog, id, checked);
}

bool IsDlgButtonChecked(HWindow dialog, int id) {
    return host::HeadlessIsDlgButtonChecked(dialog, id);
}

bool FocusDlgItem(HWindow dialog, int id) {
    return host::HeadlessFocusDlgItem(dialog, id);
}

bool EndDialog(HWindow dialog, std::intptr_t result) {
    return host::HeadlessEndDialog(dialog, result);
}

bool SetTimer(HWindow dialog, std::uintptr_t id, unsigned periodMs) {
    return host::HeadlessSetTimer(dialog, id, periodMs);
}

bool KillTimer(HWindow dialog, std::uintptr_t id) {
    return host::HeadlessKillTimer(dialog, id);
}

}  // namespace platform
