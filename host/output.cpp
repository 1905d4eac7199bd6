#include "host/output.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>

namespace host {

int finish_output(const char* tool) {
    errno = 0;
    std::cout.flush();
    const bool flushed = std::fflush(stdout) == 0;
    const int code = errno;
    if (flushed && std::cout.good() && !std::ferror(stdout)) return 0;
    std::cerr << tool << ": cannot write output: "
              << (code != 0 ? std::strerror(code) : "write error") << std::endl;
    return 1;
}

}  // namespace host
