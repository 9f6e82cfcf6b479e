// The host framework is one shared library (a DLL on Windows) that the
// plug-in module and the host programs both link, so that they share its
// state: the class registry, the time base, the diagnostics sink.
#pragma once

#if defined(_WIN32)
#if defined(TESSARO_HOST_BUILD)
#define KX_HOST_API __declspec(dllexport)
#else
#define KX_HOST_API __declspec(dllimport)
#endif
#else
#define KX_HOST_API __attribute__((visibility("default")))
#endif
