// tessaro-host's version, dotted ("8.203.1273.0"): the numbers of the
// module's version record, so that the tool and the module it was built
// with always say the same.
#pragma once

#include "resources/module_version.h"

#define TESSARO_HOST_DOTTED(a, b, c, d) #a "." #b "." #c "." #d
#define TESSARO_HOST_DOTTED_OF(version) TESSARO_HOST_DOTTED(version)
#define TESSARO_HOST_VERSION_TEXT TESSARO_HOST_DOTTED_OF(TESSARO_FILE_VERSION)
