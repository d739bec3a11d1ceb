#include "common/Memory.h"

#if __has_include(<malloc.h>)
#include <malloc.h>
#endif

namespace tabulo {

void keepFreedMemoryForReuse() {
#if defined(M_TRIM_THRESHOLD)
    // Above this much free memory at the top of a heap, it goes back to the system.
    ::mallopt(M_TRIM_THRESHOLD, 32 * 1024 * 1024);  // NOLINT(concurrency-mt-unsafe): at the start
#endif
}

}  // namespace tabulo
