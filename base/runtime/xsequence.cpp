#include "xsequence.h"

#include <algorithm>
#include <cstdlib>

namespace {
constexpr uint32_t kFirstElements = 4;
}

XRTTI_DEFINE(xintsequence, "KBase::IntSequence", xobject)
XRTTI_DEFINE(xrealsequence, "KBase::RealSequence", xobject)

xintsequence* xintsequence::create() { return new xintsequence; }
xrealsequence* xrealsequence::create() { return new xrealsequence; }

xbasesequence::~xbasesequence() {
    // The element type's destructor has already run BaseFree; only raw
    // memory could be left here.
    std::free(buffer_);
}

void xbasesequence::BaseFree() {
    if (buffer_) {
        DestroyElements(buffer_, capacity_);
        std::free(buffer_);
    }
    buffer_ = nullptr;
    size_ = capacity_ = 0;
}

void* xbasesequence::Reallocate(uint32_t newBytes) {
    void* fresh = std::malloc(newBytes ? newBytes : 1);
    if (!fresh)
        throw std::bad_alloc();
    ConstructElements(fresh, newBytes);
    if (buffer_) {
        CopyElements(fresh, buffer_, std::min(size_, newBytes));
        DestroyElements(buffer_, capacity_);
        std::free(buffer_);
    }
    return fresh;
}

void xbasesequence::ensureCapacity(uint64_t bytes) {
    if (bytes <= capacity_)
        return;
    if (bytes > static_cast<uint64_t>(xseq_max_bytes))
        throw std::bad_alloc();
    // Geometric growth from a small first block: most lists of a model hold
    // a handful of elements (the loops of a face), so a large first block
    // would dominate the memory of a model.
    uint64_t first = uint64_t(kFirstElements) * elemSize_;
    uint64_t wanted = std::max<uint64_t>({bytes, uint64_t(capacity_) * 2, first});
    wanted = std::min<uint64_t>(wanted, uint64_t(xseq_max_bytes) / elemSize_ * elemSize_);
    buffer_ = static_cast<char*>(Reallocate(static_cast<uint32_t>(wanted)));
    capacity_ = static_cast<uint32_t>(wanted);
}

void xbasesequence::BaseCopy(uint64_t offset, uint64_t bytes, const void* src) {
    uint64_t end = offset + bytes;
    ensureCapacity(end);
    if (end > size_)
        size_ = static_cast<uint32_t>(end);
    CopyElements(buffer_ + offset, src, static_cast<uint32_t>(bytes));
}

void xbasesequence::BaseInsert(uint64_t offset, uint64_t bytes, const void* src) {
    if (bytes == 0)
        return;
    if (offset > size_)
        offset = size_;
    // A source inside this buffer would move (or be shifted) below: take a
    // private copy first.
    void* temp = nullptr;
    const char* from = static_cast<const char*>(src);
    if (buffer_ && from >= buffer_ && from < buffer_ + capacity_) {
        temp = std::malloc(bytes);
        if (!temp)
            throw std::bad_alloc();
        ConstructElements(temp, static_cast<uint32_t>(bytes));
        CopyElements(temp, src, static_cast<uint32_t>(bytes));
        from = static_cast<const char*>(temp);
    }
    try {
        ensureCapacity(uint64_t(size_) + bytes);
    } catch (...) {
        if (temp) {
            DestroyElements(temp, static_cast<uint32_t>(bytes));
            std::free(temp);
        }
        throw;
    }
    CopyElements(buffer_ + offset + bytes, buffer_ + offset, static_cast<uint32_t>(size_ - offset));
    CopyElements(buffer_ + offset, from, static_cast<uint32_t>(bytes));
    size_ += static_cast<uint32_t>(bytes);
    if (temp) {
        DestroyElements(temp, static_cast<uint32_t>(bytes));
        std::free(temp);
    }
}

void xbasesequence::BaseRemove(uint64_t offset, uint64_t bytes) {
    if (bytes == 0 || offset >= size_)
        return;
    bytes = std::min<uint64_t>(bytes, size_ - offset);
    CopyElements(buffer_ + offset, buffer_ + offset + bytes,
                 static_cast<uint32_t>(size_ - offset - bytes));
    // The tail slots now hold duplicates (or the removed elements): give
    // them back and leave empty elements in their place.
    char* tail = buffer_ + size_ - bytes;
    DestroyElements(tail, static_cast<uint32_t>(bytes));
    ConstructElements(tail, static_cast<uint32_t>(bytes));
    size_ -= static_cast<uint32_t>(bytes);
}
