#include "core/buffer.h"

#include <cstring>
#include <new>

namespace updater {
namespace {

// A new block of `n` bytes: `head_size` bytes from `head`, then `n - head_size` bytes from
// `tail`. Null when the allocation fails.
unsigned char* Joined(const unsigned char* head, unsigned head_size, const void* tail, unsigned n) {
    auto* fresh = new (std::nothrow) unsigned char[n];
    if (fresh != nullptr) {
        if (head_size > 0) {
            std::memcpy(fresh, head, head_size);
        }
        if (n > head_size) {
            std::memcpy(fresh + head_size, tail, n - head_size);
        }
    }
    return fresh;
}

}  // namespace

Buffer::Buffer() {
    Init();
}

Buffer::Buffer(const Buffer& b) {
    Init();
    Assign(b);
}

Buffer::~Buffer() {
    delete[] data;
}

void Buffer::Init() {
    data = nullptr;
    size = 0;
}

void Buffer::Free() {
    delete[] data;
    Init();
}

bool Buffer::Alloc(unsigned n) {
    Free();
    data = new (std::nothrow) unsigned char[n]();
    if (data == nullptr) {
        return false;
    }
    size = n;
    return true;
}

// Set and Cat build the new block before freeing the old one, so the source may lie inside it.
bool Buffer::Set(const void* src, unsigned n) {
    unsigned char* fresh = Joined(nullptr, 0, src, n);
    Free();
    if (fresh == nullptr) {
        return false;
    }
    data = fresh;
    size = n;
    return true;
}

bool Buffer::Cat(const void* src, unsigned n) {
    const unsigned total = size + n;
    unsigned char* fresh = Joined(data, size, src, total);
    Free();
    if (fresh == nullptr) {
        return false;
    }
    data = fresh;
    size = total;
    return true;
}

const unsigned char* Buffer::GetData() const {
    return data;
}

unsigned char* Buffer::GetData() {
    return data;
}

Buffer& Buffer::Assign(const Buffer& b) {
    Set(b.GetData(), b.size);
    return *this;
}

Buffer& Buffer::Append(const Buffer& b) {
    Cat(b.GetData(), b.size);
    return *this;
}

Buffer Buffer::Concat(const Buffer& b) const {
    Buffer result(*this);
    result.Append(b);
    return result;
}

bool Buffer::Equals(const Buffer& b) const {
    // A Buffer shorter than `b` cannot agree on all of `b`'s bytes.
    return b.size == 0 || (size >= b.size && std::memcmp(data, b.data, b.size) == 0);
}

bool Buffer::Differs(const Buffer& b) const {
    return !Equals(b);
}

Buffer Buffer::Sub(unsigned pos, unsigned n) const {
    // Only the bytes that are there are copied.
    if (pos > size) {
        pos = size;
    }
    if (n > size - pos) {
        n = size - pos;
    }
    Buffer result;
    result.Set(data + pos, n);
    return result;
}

void Buffer::Delete(unsigned pos, unsigned n) {
    // Bytes beyond the end are not there to remove.
    if (pos >= size || n == 0) {
        return;
    }
    if (n > size - pos) {
        n = size - pos;
    }
    const unsigned rest = size - n;
    if (rest == 0) {
        Free();
        return;
    }
    unsigned char* fresh = Joined(data, pos, data + pos + n, rest);
    Free();
    data = fresh;
    size = fresh != nullptr ? rest : 0;
}

}  // namespace updater
