// What the module exports by name: the factory the host looks up.
#pragma once

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
