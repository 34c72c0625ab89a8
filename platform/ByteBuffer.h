#pragma once
// A growable run of bytes that, unlike std::string, can grow without writing the new
// bytes first: a file is read or a text is built straight into it, and a buffer kept
// from one file to the next is neither cleared nor faulted in again.

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>
#include <string_view>
#include <utility>

namespace quorvel::platform {

class ByteBuffer {
 public:
  ByteBuffer() = default;
  ByteBuffer(const ByteBuffer& other) { assign(other.view()); }
  ByteBuffer& operator=(const ByteBuffer& other) {
    if (this != &other) assign(other.view());
    return *this;
  }
  ByteBuffer(ByteBuffer&& other) noexcept { swap(other); }
  ByteBuffer& operator=(ByteBuffer&& other) noexcept {
    swap(other);
    return *this;
  }

  char* data() { return data_.get(); }
  const char* data() const { return data_.get(); }
  size_t size() const { return size_; }
  size_t capacity() const { return capacity_; }
  bool empty() const { return size_ == 0; }
  std::string_view view() const { return {data_.get(), size_}; }

  void clear() { size_ = 0; }
  // Gives the memory back, not only the content.
  void release() {
    data_.reset();
    size_ = capacity_ = 0;
  }

  // Room for bytes in all, keeping the content; the room past size() is not written.
  void reserve(size_t bytes) {
    if (bytes <= capacity_) return;
    std::unique_ptr<char[]> grown(new char[bytes]);
    if (size_ > 0) std::memcpy(grown.get(), data_.get(), size_);
    data_ = std::move(grown);
    capacity_ = bytes;
  }
  // Sets the size; bytes that become part of the content keep whatever they held, so
  // the caller has written them first or writes them next.
  void resizeUninitialized(size_t bytes) {
    reserve(bytes);
    size_ = bytes;
  }

  void assign(std::string_view bytes) {
    if (bytes.data() >= data_.get() && bytes.data() < data_.get() + capacity_) {
      std::memmove(data_.get(), bytes.data(), bytes.size());  // a part of this buffer
      size_ = bytes.size();
      return;
    }
    clear();
    append(bytes);
  }
  void append(std::string_view bytes) {
    if (bytes.empty()) return;
    if (capacity_ - size_ < bytes.size()) {
      // The bytes may be part of this buffer, which is about to move.
      const bool inside = bytes.data() >= data_.get() && bytes.data() < data_.get() + size_;
      const size_t offset = inside ? size_t(bytes.data() - data_.get()) : 0;
      reserve(std::max(size_ + bytes.size(), 2 * capacity_));
      if (inside) bytes = std::string_view(data_.get() + offset, bytes.size());
    }
    std::memcpy(data_.get() + size_, bytes.data(), bytes.size());
    size_ += bytes.size();
  }

  void swap(ByteBuffer& other) noexcept {
    std::swap(data_, other.data_);
    std::swap(size_, other.size_);
    std::swap(capacity_, other.capacity_);
  }

 private:
  std::unique_ptr<char[]> data_;
  size_t size_ = 0;
  size_t capacity_ = 0;
};

}  // namespace quorvel::platform
