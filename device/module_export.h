// What the module exports by name: the factory the host looks up.
#pragma once

#include <cstdint>

#include "host/kx_class.h"

#if defined(_WIN32)
#define TESSARO_MODULE_EXPORT extern "C" __declspec(dllexport)
#else
#define TESSARO_MODULE_EXPORT extern "C" __attribute__((visibility("default")))
#endif

// Creates a CKxTessaroDevice through the host's allocator (`file` and `line`
// name the caller) and returns its IKxInterface view with one reference;
// null when it could not be made.
TESSARO_MODULE_EXPORT IKxInterface* KX_ConstructorForCKxTessaroDevice(const char* file, int line);

// On systems without COM port names: which device serves COM `port` for this
// module (a USB serial adapter, a pseudo-terminal).
TESSARO_MODULE_EXPORT void TessaroDevice_SetComPortPath(int port, const char* path);

// Every packet the module exchanges with the processor is reported to
// `observer` (see cmotion::LinkExchangeObserver); null stops it. Set before
// connecting.
TESSARO_MODULE_EXPORT void TessaroDevice_SetPacketTrace(
    void (*observer)(void* context, std::uint16_t commandWordCount,
                     const std::uint16_t* commandWords, std::uint16_t replyWordCount,
                     const std::uint16_t* replyWords, std::uint16_t result),
    void* context);
