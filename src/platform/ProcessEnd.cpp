#include "platform/ProcessEnd.h"

#include <cstdio>

#include <unistd.h>

namespace quolva::platform {

void EndProcess(int status)
{
    std::fflush(stdout);
    std::fflush(stderr);
    ::_exit(status);
}

} // namespace quolva::platform
