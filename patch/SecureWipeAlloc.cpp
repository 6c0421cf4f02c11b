#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "patch/SecureWipe.h"

namespace {

// Room for the size in front of each block; keeps the block as aligned as malloc's.
constexpr size_t kHeader = alignof(std::max_align_t);
static_assert(kHeader >= sizeof(size_t));

}  // namespace

void* WipingAlloc(size_t size, void*) {
    if (size > std::numeric_limits<size_t>::max() - kHeader) return nullptr;
    auto* block = static_cast<unsigned char*>(std::malloc(kHeader + size));
    if (!block) return nullptr;
    std::memcpy(block, &size, sizeof(size));
    return block + kHeader;
}

void WipeBlock(void* ptr, void (*release)(void*)) {
    if (!ptr) return;
    unsigned char* block = static_cast<unsigned char*>(ptr) - kHeader;
    size_t size = 0;
    std::memcpy(&size, block, sizeof(size));
    SecureWipe(block, kHeader + size);
    release(block);
}

void WipingFree(void* ptr, void*) { WipeBlock(ptr, std::free); }
