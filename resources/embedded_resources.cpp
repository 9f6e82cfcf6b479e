// The module's compiled resources (.res), embedded in this binary and handed
// to the dialog layer when the binary is loaded.
#include "platform/dialog_api.h"

asm(".section .rodata\n"
    ".balign 16\n"
    ".hidden tessaro_embedded_res\n"
    ".globl tessaro_embedded_res\n"
    "tessaro_embedded_res:\n"
    ".incbin \"" TESSARO_RES_FILE
    "\"\n"
    ".hidden tessaro_embedded_res_end\n"
    ".globl tessaro_embedded_res_end\n"
    "tessaro_embedded_res_end:\n"
    ".previous\n");

extern "C" const unsigned char tessaro_embedded_res[];
extern "C" const unsigned char tessaro_embedded_res_end[];

namespace {

struct Registration {
    Registration() {
        platform::RegisterEmbeddedResources(
            tessaro_embedded_res,
            static_cast<std::size_t>(tessaro_embedded_res_end - tessaro_embedded_res));
    }
} g_registration;

}  // namespace
