// Whether a person watches the output: a terminal rather than a pipe or a file.
#include <unistd.h>

#include "platform.h"

namespace platform {

bool IsTerminal(int descriptor) { return (descriptor == 1 || descriptor == 2) && isatty(descriptor) == 1; }

}  // namespace platform
