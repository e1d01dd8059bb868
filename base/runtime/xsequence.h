// Sequences: a byte-addressed element buffer (xbasesequence) that moves its
// elements only through four element operations, the handle sequence that
// every interface list is built on, and sequences of plain values.
//
// Every slot of the buffer's capacity holds a constructed element; the used
// size is a multiple of the element size. Capacity grows geometrically.
#pragma once

#include "xexcept.h"
#include "xhandle.h"

#include <cstdint>
#include <cstring>
#include <new>

struct xseqcontrol {
    int32_t first;  // unused; kept for layout
    int32_t growth; // kept for layout; growth is geometric
};

class ZBASE_API xbasesequence {
public:
    uint32_t BaseSize() const { return size_; }
    const void* BaseBuffer() const { return buffer_; }

protected:
    xbasesequence(xseqcontrol control, uint32_t elemSize) noexcept
        : control_(control), elemSize_(elemSize) {}
    xbasesequence(const xbasesequence&) = delete;
    xbasesequence& operator=(const xbasesequence&) = delete;
    virtual ~xbasesequence();

    // Element operations, supplied by each element type.
    virtual void* Reallocate(uint32_t newBytes);
    virtual void ConstructElements(void* buffer, uint32_t bytes) = 0;
    virtual void DestroyElements(void* buffer, uint32_t bytes) = 0;
    // Overlap-safe assignment of bytes / element size elements.
    virtual void CopyElements(void* dst, const void* src, uint32_t bytes) = 0;

    // Writes `bytes` of elements at `offset`, growing the sequence when it
    // writes at or past the end (new slots are empty elements).
    void BaseCopy(uint64_t offset, uint64_t bytes, const void* src);
    // Inserts `bytes` of elements at `offset` (0 .. size); `src` may lie in
    // this sequence's own buffer.
    void BaseInsert(uint64_t offset, uint64_t bytes, const void* src);
    // Removes `bytes` of elements at `offset`; the range lies inside.
    void BaseRemove(uint64_t offset, uint64_t bytes);
    // Destroys every element and frees the buffer (call from the destructor
    // of the class that supplies the element operations).
    void BaseFree();

private:
    void ensureCapacity(uint64_t bytes);

    char* buffer_ = nullptr;
    uint32_t size_ = 0;
    uint32_t capacity_ = 0;
    [[maybe_unused]] xseqcontrol control_; // kept for layout
    uint32_t elemSize_;
};

// Largest size of a sequence in bytes (sizes are kept in 32 bits).
inline constexpr int64_t xseq_max_bytes = INT32_MAX;

// Raises the sequence-index error for index i when the sequence would have
// to hold `bytes` in all to take it: an index that no sequence can reach is
// an index error, not an allocation failure, and nothing is changed.
inline void xseq_check_size(xobject* sequence, int i, uint64_t bytes) {
    if (bytes > uint64_t(xseq_max_bytes))
        ciphThrowInvalidSeqIndex(sequence, i);
}

// Sequence of handles on T.
template <class T> class xhandlesequence : public xobject, public xbasesequence {
public:
    using element_type = T;
    using handle_type = xrchandle<T>;

    xhandlesequence() : xbasesequence(xseqcontrol{0, 256}, sizeof(handle_type)) {}
    ~xhandlesequence() override { BaseFree(); }

    virtual int Count() const { return static_cast<int>(BaseSize() / sizeof(handle_type)); }

    virtual handle_type Get(int i) const {
        if (i < 0)
            ciphThrowNegativeIndex(i);
        if (i >= Count())
            ciphThrowInvalidSeqIndex(const_cast<xhandlesequence*>(this), i);
        return slots()[i];
    }

    // Writes slot i, growing the sequence when i lies at or past the end.
    virtual void Set(int i, handle_type item) {
        if (i < 0)
            ciphThrowNegativeIndex(i);
        xseq_check_size(this, i, (uint64_t(i) + 1) * sizeof(handle_type));
        BaseCopy(uint64_t(i) * sizeof(handle_type), sizeof(handle_type), &item);
    }

    virtual void Append(handle_type item) { BaseInsert(BaseSize(), sizeof(handle_type), &item); }

    virtual void AppendHandle(handle_type item) {
        handle_type fresh(item);
        Append(fresh);
    }

    virtual void Insert(int i, handle_type item) {
        if (i < 0)
            ciphThrowNegativeIndex(i);
        if (i > Count())
            ciphThrowInvalidSeqIndex(this, i);
        xseq_check_size(this, i, uint64_t(BaseSize()) + sizeof(handle_type));
        BaseInsert(uint64_t(i) * sizeof(handle_type), sizeof(handle_type), &item);
    }

    virtual void InsertSequence(int i, const xhandlesequence& other) {
        if (i < 0)
            ciphThrowNegativeIndex(i);
        if (i > Count())
            ciphThrowInvalidSeqIndex(this, i);
        xseq_check_size(this, i, uint64_t(BaseSize()) + other.BaseSize());
        BaseInsert(uint64_t(i) * sizeof(handle_type), other.BaseSize(), other.BaseBuffer());
    }

    virtual void Remove(int i, int n) {
        if (i < 0)
            ciphThrowNegativeIndex(i);
        if (n < 0)
            ciphThrowNegativeIndex(n);
        if (int64_t(i) + n > Count())
            ciphThrowInvalidSeqIndex(this, int64_t(i) + n > INT32_MAX ? INT32_MAX : i + n);
        BaseRemove(uint64_t(i) * sizeof(handle_type), uint64_t(n) * sizeof(handle_type));
    }

    virtual void RemoveAll() { BaseRemove(0, BaseSize()); }

protected:
    void ConstructElements(void* buffer, uint32_t bytes) override {
        auto* p = static_cast<handle_type*>(buffer);
        for (uint32_t k = 0; k < bytes / sizeof(handle_type); ++k)
            new (p + k) handle_type();
    }
    void DestroyElements(void* buffer, uint32_t bytes) override {
        auto* p = static_cast<handle_type*>(buffer);
        for (uint32_t k = 0; k < bytes / sizeof(handle_type); ++k)
            p[k].~handle_type();
    }
    void CopyElements(void* dst, const void* src, uint32_t bytes) override {
        auto* d = static_cast<handle_type*>(dst);
        auto* s = static_cast<const handle_type*>(src);
        uint32_t n = bytes / sizeof(handle_type);
        if (d > s) {
            for (uint32_t k = n; k-- > 0;)
                d[k] = s[k];
        } else if (d < s) {
            for (uint32_t k = 0; k < n; ++k)
                d[k] = s[k];
        }
    }

private:
    const handle_type* slots() const { return static_cast<const handle_type*>(BaseBuffer()); }
};

// Sequence of plain values (int or double).
template <class V> class xvaluesequence : public xobject, public xbasesequence {
public:
    using value_type = V;

    xvaluesequence() : xbasesequence(xseqcontrol{0, 256}, sizeof(V)) {}
    ~xvaluesequence() override { BaseFree(); }

    virtual int Count() const { return static_cast<int>(BaseSize() / sizeof(V)); }
    virtual V Get(int i) const {
        if (i < 0)
            ciphThrowNegativeIndex(i);
        if (i >= Count())
            ciphThrowInvalidSeqIndex(const_cast<xvaluesequence*>(this), i);
        return static_cast<const V*>(BaseBuffer())[i];
    }
    virtual void Set(int i, V value) {
        if (i < 0)
            ciphThrowNegativeIndex(i);
        xseq_check_size(this, i, (uint64_t(i) + 1) * sizeof(V));
        BaseCopy(uint64_t(i) * sizeof(V), sizeof(V), &value);
    }
    virtual void Append(V value) { BaseInsert(BaseSize(), sizeof(V), &value); }
    virtual void Insert(int i, V value) {
        if (i < 0)
            ciphThrowNegativeIndex(i);
        if (i > Count())
            ciphThrowInvalidSeqIndex(this, i);
        xseq_check_size(this, i, uint64_t(BaseSize()) + sizeof(V));
        BaseInsert(uint64_t(i) * sizeof(V), sizeof(V), &value);
    }
    virtual void Remove(int i, int n) {
        if (i < 0)
            ciphThrowNegativeIndex(i);
        if (n < 0)
            ciphThrowNegativeIndex(n);
        if (int64_t(i) + n > Count())
            ciphThrowInvalidSeqIndex(this, int64_t(i) + n > INT32_MAX ? INT32_MAX : i + n);
        BaseRemove(uint64_t(i) * sizeof(V), uint64_t(n) * sizeof(V));
    }
    virtual void RemoveAll() { BaseRemove(0, BaseSize()); }
    // Contiguous view of the values (null when empty).
    const V* Data() const { return static_cast<const V*>(BaseBuffer()); }

protected:
    void ConstructElements(void* buffer, uint32_t bytes) override { std::memset(buffer, 0, bytes); }
    void DestroyElements(void*, uint32_t) override {}
    void CopyElements(void* dst, const void* src, uint32_t bytes) override {
        std::memmove(dst, src, bytes);
    }
};

class ZBASE_API xintsequence : public xvaluesequence<int32_t> {
    XRTTI_DECLARE(xintsequence)
public:
    static xintsequence* create();
};

class ZBASE_API xrealsequence : public xvaluesequence<double> {
    XRTTI_DECLARE(xrealsequence)
public:
    static xrealsequence* create();
};
