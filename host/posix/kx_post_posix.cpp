#include "host/kx_post.h"

namespace host {

// No window system: a message goes only where a poster set by the host
// program takes it.
bool PostToSystem(KxWindow, unsigned, std::uintptr_t, std::intptr_t) {
    return false;
}

}  // namespace host
