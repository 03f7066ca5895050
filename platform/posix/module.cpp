#include "platform/platform.h"

namespace qxplat {

void* LibraryModule() { return nullptr; }

}  // namespace qxplat
