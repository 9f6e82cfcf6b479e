// A path from the build (a Linux path) as the test program can open it:
// under Wine a Linux path is reached through drive Z:.
#pragma once

#include <string>

namespace testing_support {

inline std::string HostPath(std::string path) {
#ifdef _WIN32
    if (!path.empty() && path[0] == '/') {
        for (char& c : path)
            if (c == '/') c = '\\';
        path = "Z:" + path;
    }
#endif
    return path;
}

}  // namespace testing_support
