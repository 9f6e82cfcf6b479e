// Settings text: the host keeps a device's settings and configuration as one
// wide text of key/value pairs, read and written only through these
// functions.
//
// The format is this host's own. Each pair is `key=value;`. In keys and
// values, `\`, `=` and `;` are escaped with a backslash, and any character
// that is not printable ASCII as `\uXXXX`, so keys and values may hold any
// text. Numbers are written in the C locale, doubles in the shortest form
// that reads back to the same value. A text that is cut off or garbled is
// read up to its last complete pair: a pair without its closing `;` does not
// exist, so no value is ever taken half-read. When a key occurs more than
// once, its last value counts.
//
// Get functions return non-zero when the key was found and its value parsed
// as the type asked for, and leave the out value untouched otherwise.
#pragma once

#include "host/kx_string.h"

KX_HOST_API int GetIntFromKey(const char16_t* text, const char16_t* key, int* value);
KX_HOST_API int GetDoubleFromKey(const char16_t* text, const char16_t* key, double* value);
KX_HOST_API int GetBoolFromKey(const char16_t* text, const char16_t* key, bool* value);

// Append the pair to the text.
KX_HOST_API void SetIntToKey(CKxStringW& text, const char16_t* key, int value);
KX_HOST_API void SetDoubleToKey(CKxStringW& text, const char16_t* key, double value);
KX_HOST_API void SetBoolToKey(CKxStringW& text, const char16_t* key, bool value);
