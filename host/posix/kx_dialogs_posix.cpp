// The headless window system: a modal dialog is an in-memory record built
// from its template (controls with ids, texts and check marks), a queue of
// posted messages and a set of timers. Nothing is drawn; a driver set by
// the host program or a test acts on the dialog as a user would, and every
// action is carried out (with what it posts) before it returns. Timers tick
// only when the driver asks, so that what a dialog shows never depends on
// how fast the machine is.
#include <algorithm>
#include <deque>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "host/kx_dialog_template.h"
#include "host/kx_dialogs.h"
#include "host/kx_post.h"
#include "host/kx_string.h"

namespace host {
namespace {

constexpr unsigned kWmInitDialog = 0x0110;
constexpr unsigned kWmCommand = 0x0111;
constexpr unsigned kWmTimer = 0x0113;
constexpr unsigned kWmClose = 0x0010;
constexpr std::uintptr_t kCancel = 2;
constexpr std::uintptr_t kEditChange = 0x0300;  // EN_CHANGE
constexpr std::uint32_t kAutoCheckBox = 0x3;    // BS_AUTOCHECKBOX
constexpr std::uint32_t kButtonTypeMask = 0xF;
// A dialog that keeps posting to itself is cut off after this many
// messages in one go, so that no action can hang.
constexpr int kMaxMessagesPerAction = 10000;

struct Dialog;

struct Control {
    Dialog* owner;
    DialogItemTemplate item;
    std::u16string text;
    bool checked = false;
};

struct Message {
    unsigned message;
    std::uintptr_t wParam;
    std::intptr_t lParam;
};

struct Dialog {
    KxDialogProcedure procedure = nullptr;
    std::u16string caption;
    std::vector<std::unique_ptr<Control>> controls;
    std::deque<Message> queue;
    std::set<std::uintptr_t> timers;
    bool ended = false;
    std::intptr_t result = 0;
    int focus = 0;  // the item with the keyboard focus
};

std::mutex g_mutex;
std::set<const void*> g_dialogs;
std::set<const void*> g_controls;
DialogDriver g_driver;

Dialog* AsDialog(KxWindow window) {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_dialogs.count(window) ? static_cast<Dialog*>(window) : nullptr;
}

Control* AsControl(KxWindow window) {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_controls.count(window) ? static_cast<Control*>(window) : nullptr;
}

Control* Item(Dialog* dialog, int id) {
    if (!dialog) return nullptr;
    for (auto& c : dialog->controls)
        if (c->item.id == id) return c.get();
    return nullptr;
}

// Hands the dialog one message, if it is still open.
void Send(Dialog* dialog, unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
    if (dialog && !dialog->ended) dialog->procedure(dialog, message, wParam, lParam);
}

// Hands the dialog what it posted, in order, until none is left.
void Pump(Dialog* dialog) {
    for (int n = 0; dialog && !dialog->ended && n < kMaxMessagesPerAction; ++n) {
        Message m;
        {
            std::lock_guard<std::mutex> lock(g_mutex);
            if (dialog->queue.empty()) return;
            m = dialog->queue.front();
            dialog->queue.pop_front();
        }
        Send(dialog, m.message, m.wParam, m.lParam);
    }
}

void Act(KxWindow window, unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
    Dialog* dialog = AsDialog(window);
    Send(dialog, message, wParam, lParam);
    Pump(dialog);
}

std::uintptr_t CommandParam(int id, std::uintptr_t code) {
    return (code << 16) | (static_cast<std::uintptr_t>(id) & 0xFFFF);
}

}  // namespace

bool PostToSystem(KxWindow window, unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
    return HeadlessPostMessage(window, message, wParam, lParam);
}

bool HasWindowSystem() {
    return false;
}

void SetDialogDriver(DialogDriver driver) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_driver = std::move(driver);
}

std::intptr_t HeadlessDialogBox(const void* dialogTemplate, std::size_t size, KxWindow,
                                KxDialogProcedure procedure, std::intptr_t param) {
    DialogTemplate parsed;
    if (!procedure || !ParseDialogTemplate(dialogTemplate, size, &parsed, nullptr)) return -1;
    DialogDriver driver;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        driver = g_driver;
    }
    // No one to show it to.
    if (!driver) return -1;

    auto dialog = std::make_unique<Dialog>();
    dialog->procedure = procedure;
    dialog->caption = parsed.title;
    for (const DialogItemTemplate& item : parsed.items) {
        auto control = std::make_unique<Control>();
        control->owner = dialog.get();
        control->item = item;
        control->text = item.text;
        dialog->controls.push_back(std::move(control));
    }
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        g_dialogs.insert(dialog.get());
        for (auto& c : dialog->controls) g_controls.insert(c.get());
    }
    Dialog* d = dialog.get();
    Send(d, kWmInitDialog, 0, param);
    Pump(d);
    if (!d->ended) driver(d);
    // What the driver left open: the close box, then Cancel, then give up.
    if (!d->ended) Act(d, kWmClose, 0, 0);
    if (!d->ended) Act(d, kWmCommand, kCancel, 0);
    if (!d->ended) {
        d->ended = true;
        d->result = -1;
    }
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        g_dialogs.erase(d);
        for (auto& c : dialog->controls) g_controls.erase(c.get());
    }
    return d->result;
}

KxWindow HeadlessGetDlgItem(KxWindow dialog, int id) {
    return Item(AsDialog(dialog), id);
}

bool HeadlessSetWindowText(KxWindow window, const char16_t* text) {
    if (Control* c = AsControl(window)) {
        c->text = text ? text : u"";
        return true;
    }
    if (Dialog* d = AsDialog(window)) {
        d->caption = text ? text : u"";
        return true;
    }
    return false;
}

int HeadlessGetWindowText(KxWindow window, char16_t* text, int maxCount) {
    if (!text || maxCount <= 0) return 0;
    const Control* c = AsControl(window);
    const Dialog* d = AsDialog(window);
    const std::u16string value = c ? c->text : d ? d->caption : u"";
    const int n = std::min<int>(static_cast<int>(value.size()), maxCount - 1);
    std::copy(value.begin(), value.begin() + n, text);
    text[n] = u'\0';
    return n;
}

bool HeadlessCheckDlgButton(KxWindow dialog, int id, bool checked) {
    Control* c = Item(AsDialog(dialog), id);
    if (!c) return false;
    c->checked = checked;
    return true;
}

bool HeadlessIsDlgButtonChecked(KxWindow dialog, int id) {
    const Control* c = Item(AsDialog(dialog), id);
    return c && c->checked;
}

bool HeadlessFocusDlgItem(KxWindow dialog, int id) {
    if (!Item(AsDialog(dialog), id)) return false;
    AsDialog(dialog)->focus = id;
    return true;
}

int FocusedDialogItem(KxWindow dialog) {
    const Dialog* d = AsDialog(dialog);
    return d ? d->focus : 0;
}

bool HeadlessEndDialog(KxWindow dialog, std::intptr_t result) {
    Dialog* d = AsDialog(dialog);
    if (!d) return false;
    d->ended = true;
    d->result = result;
    return true;
}

bool HeadlessSetTimer(KxWindow dialog, std::uintptr_t id, unsigned) {
    Dialog* d = AsDialog(dialog);
    if (!d) return false;
    d->timers.insert(id);
    return true;
}

bool HeadlessKillTimer(KxWindow dialog, std::uintptr_t id) {
    Dialog* d = AsDialog(dialog);
    return d && d->timers.erase(id) > 0;
}

bool HeadlessPostMessage(KxWindow window, unsigned message, std::uintptr_t wParam,
                         std::intptr_t lParam) {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!g_dialogs.count(window)) return false;
    static_cast<Dialog*>(window)->queue.push_back({message, wParam, lParam});
    return true;
}

bool IsDialogOpen(KxWindow dialog) {
    const Dialog* d = AsDialog(dialog);
    return d && !d->ended;
}

std::u16string DialogCaption(KxWindow dialog) {
    const Dialog* d = AsDialog(dialog);
    return d ? d->caption : u"";
}

std::u16string DialogItemText(KxWindow dialog, int id) {
    const Control* c = Item(AsDialog(dialog), id);
    return c ? c->text : u"";
}

void TypeIntoDialogItem(KxWindow dialog, int id, const std::u16string& text) {
    Control* c = Item(AsDialog(dialog), id);
    if (!c) return;
    c->text = text;
    Act(dialog, kWmCommand, CommandParam(id, kEditChange), reinterpret_cast<std::intptr_t>(c));
}

bool IsDialogItemChecked(KxWindow dialog, int id) {
    return HeadlessIsDlgButtonChecked(dialog, id);
}

void SetDialogItemChecked(KxWindow dialog, int id, bool checked) {
    const Control* c = Item(AsDialog(dialog), id);
    if (c && c->checked != checked) ClickDialogButton(dialog, id);
}

void ClickDialogButton(KxWindow dialog, int id) {
    Control* c = Item(AsDialog(dialog), id);
    if (!c) return;
    // An automatic check box ticks itself before it reports the click.
    if ((c->item.style & kButtonTypeMask) == kAutoCheckBox) c->checked = !c->checked;
    Act(dialog, kWmCommand, CommandParam(id, 0), reinterpret_cast<std::intptr_t>(c));
}

void SendDialogCommand(KxWindow dialog, std::uintptr_t wParam) {
    Act(dialog, kWmCommand, wParam, 0);
}

void TickDialogTimer(KxWindow dialog, std::uintptr_t id) {
    const Dialog* d = AsDialog(dialog);
    if (d && d->timers.count(id)) Act(dialog, kWmTimer, id, 0);
}

void CloseDialogBox(KxWindow dialog) {
    Act(dialog, kWmClose, 0, 0);
}

bool SaveDialogPicture(KxWindow, const std::string&) {
    return false;
}

std::string DialogAsText(KxWindow dialog) {
    const Dialog* d = AsDialog(dialog);
    if (!d) return {};
    // UTF-8, as terminals show it ("µ", "²").
    const auto narrow = [](const std::u16string& s) { return KX_ToUtf8(s); };
    std::string text = "== " + narrow(d->caption) + "\n";
    for (const auto& c : d->controls) {
        const char* kind = c->item.classAtom == kButtonClass   ? "Button"
                           : c->item.classAtom == kEditClass   ? "Edit"
                           : c->item.classAtom == kStaticClass ? "Static"
                                                               : "Control";
        text += "  [" + std::to_string(c->item.id) + "] " + kind + " \"" + narrow(c->text) + "\"";
        if ((c->item.style & kButtonTypeMask) == kAutoCheckBox && c->item.classAtom == kButtonClass)
            text += c->checked ? " [x]" : " [ ]";
        text += "\n";
    }
    return text;
}

}  // namespace host
