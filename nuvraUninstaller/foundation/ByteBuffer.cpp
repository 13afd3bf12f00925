#include "foundation/ByteBuffer.h"

#include <algorithm>
#include <cstdlib>
#include <new>
#include <utility>

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
        const std::size_t grown = std::max(capacity_ * 2, size_ + wanted);
        void* moved = std::realloc(bytes_, grown);
        if (moved == nullptr) {
            throw std::bad_alloc();
        }
        bytes_ = static_cast<char*>(moved);
        capacity_ = grown;
    }
    return bytes_ + size_;
}
