#include "fuzzinput.h"

#include <cstdio>
#include <cstdlib>

namespace varo::fuzz {

void fail(const char *what) {
    std::fprintf(stderr, "property broken: %s\n", what);
    std::abort();
}

} // namespace varo::fuzz
