#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// A growing block of bytes on malloc/realloc. Beyond its first block it is one mapped block, so
// growing is a remap rather than a copy and untouched capacity costs no memory: a tool's whole
// output is held once, at its own size, however large it grows.
class ByteBuffer {
public:
    ByteBuffer() = default;
    ByteBuffer(const ByteBuffer&) = delete;
    ByteBuffer& operator=(const ByteBuffer&) = delete;
    ByteBuffer(ByteBuffer&& other) noexcept;
    ByteBuffer& operator=(ByteBuffer&& other) noexcept;
    ~ByteBuffer();

    // Room for at least `wanted` more bytes; returns the free tail. Throws std::bad_alloc.
    char* reserveTail(std::size_t wanted);
    std::size_t freeTail() const { return capacity_ - size_; }
    // The next `count` bytes of the free tail now hold data.
    void commit(std::size_t count) { size_ += count; }

    const char* data() const { return bytes_ == nullptr ? "" : bytes_; }
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    std::string_view view() const { return {data(), size_}; }
    operator std::string_view() const { return view(); }
    std::string str() const { return std::string(view()); }

    friend bool operator==(const ByteBuffer& buffer, std::string_view bytes) {
        return buffer.view() == bytes;
    }

private:
    char* bytes_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};
