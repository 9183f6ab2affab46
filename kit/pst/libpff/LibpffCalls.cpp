#include "pst/libpff/LibpffCalls.h"

namespace ostrel {

std::shared_ptr<const LibpffCalls> LibpffCalls::real()
{
    static const auto table = std::make_shared<const LibpffCalls>();
    return table;
}

void LibpffCalls::observeEach(const std::function<void(const char *name)> &observer)
{
#define OSTREL_LIBPFF_OBSERVE(name)                                 \
    name = [inner = name, observer](auto... args) {                 \
        observer(#name);                                            \
        return inner(args...);                                      \
    };
    OSTREL_LIBPFF_CALLS(OSTREL_LIBPFF_OBSERVE)
#undef OSTREL_LIBPFF_OBSERVE
}

}  // namespace ostrel
