#include <atomic>
#include <cstdlib>

#include "platform/com/runtime.h"

namespace {
// Relaxed is enough: the count is a statistic that tests read after the threads that allocate
// have been joined or have signalled through their own synchronisation.
std::atomic<size_t> liveBlocks{0};
}  // namespace

void* CoTaskMemAlloc(size_t size) {
    // A zero-size request still gives a distinct block, so that every success is one live block
    // and one CoTaskMemFree.
    void* block = std::malloc(size ? size : 1);
    if (block)
        liveBlocks.fetch_add(1, std::memory_order_relaxed);
    return block;
}

void* CoTaskMemRealloc(void* block, size_t size) {
    if (!block)
        return CoTaskMemAlloc(size);
    if (size == 0) {
        CoTaskMemFree(block);
        return nullptr;
    }
    // On failure the old block stays valid and live.
    return std::realloc(block, size);
}

void CoTaskMemFree(void* block) {
    if (!block)
        return;
    std::free(block);
    liveBlocks.fetch_sub(1, std::memory_order_relaxed);
}

size_t CoTaskMemLiveBlocks() {
    return liveBlocks.load(std::memory_order_relaxed);
}
