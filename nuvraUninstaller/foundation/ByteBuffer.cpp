#include "foundation/ByteBuffer.h"

#include <algorithm>
#include <cstdlib>
#include <new>
#include <utility>

namespace {

// Past the first block, capacity jumps to a size every allocator maps rather than carves from its
// heap (glibc raises its threshold as far as 32 MB once large blocks are freed). Growing a mapped
// block is a remap rather than a copy, and its untouched pages cost no memory; growing a heap
// block copies the bytes at every doubling, which made capture cost grow faster than the output.
constexpr std::size_t mappedBlock = std::size_t{64} << 20;

} // namespace

ByteBuffer::ByteBuffer(ByteBuffer&& other) noexcept
    : bytes_(std::exchange(other.bytes_, nullptr)), size_(std::exchange(other.size_, 0)),
      capacity_(std::exchange(other.capacity_, 0)) {}

ByteBuffer& ByteBuffer::operator=(ByteBuffer&& other) noexcept {
    if (this != &other) {
        std::free(bytes_);
        bytes_ = std::exchange(other.bytes_, nullptr);
        size_ = std::exchange(other.size_, 0);
        capacity_ = std::exchange(other.capacity_, 0);
    }
    return *this;
}

ByteBuffer::~ByteBuffer() {
    std::free(bytes_);
}

char* ByteBuffer::reserveTail(std::size_t wanted) {
    if (capacity_ - size_ < wanted) {
        const std::size_t grown =
            std::max({capacity_ * 2, size_ + wanted, capacity_ == 0 ? 0 : mappedBlock});
        void* moved = std::realloc(bytes_, grown);
        if (moved == nullptr) {
            throw std::bad_alloc();
        }
        bytes_ = static_cast<char*>(moved);
        capacity_ = grown;
    }
    return bytes_ + size_;
}
