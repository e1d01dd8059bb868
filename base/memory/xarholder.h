// Owning holder of one xar array of T (elements stored by value, so T must
// be trivially copyable). Frees the array unless it was handed out with
// Release. Movable, not copyable: two holders never free the same array.
#pragma once

#include "xmemory.h"

#include <climits>
#include <type_traits>

template <class T> class xarholder {
    static_assert(std::is_trivially_copyable_v<T>, "xar elements are copied as bytes");
    static_assert(sizeof(T) <= size_t(INT_MAX), "element size must fit an int");

public:
    // No array.
    xarholder() noexcept = default;
    // An array of `count` zero-filled elements growing by at least `growth`
    // (callers pass 10 and 0). The array is null when allocation fails.
    xarholder(int growth, int count)
        : arr_(static_cast<T*>(xar_alloc(count, int(sizeof(T)), growth))) {}
    ~xarholder() { reset(); }

    xarholder(const xarholder&) = delete;
    xarholder& operator=(const xarholder&) = delete;
    xarholder(xarholder&& other) noexcept : arr_(other.arr_) { other.arr_ = nullptr; }
    xarholder& operator=(xarholder&& other) noexcept {
        if (this != &other) {
            reset();
            arr_ = other.arr_;
            other.arr_ = nullptr;
        }
        return *this;
    }

    // Element i, without a bounds check (as the records address them).
    T& operator[](int i) { return arr_[i]; }
    const T& operator[](int i) const { return arr_[i]; }
    T* Get(int i) { return arr_ + i; }
    const T* Get(int i) const { return arr_ + i; }

    // Appends a copy when the array exists: 0, -10 when memory runs out, -2
    // when there is no array.
    int Append(const T& value) { return arr_ ? xar_append(arr_, 1, &value) : -2; }
    int Count() const { return xar_count(arr_); }
    T* Data() const { return arr_; }
    bool Exists() const { return arr_ != nullptr; }

    // Hands the array out; the holder then owns nothing.
    T* Release() noexcept {
        T* p = arr_;
        arr_ = nullptr;
        return p;
    }

private:
    void reset() {
        if (arr_)
            xar_free(arr_);
    }

    T* arr_ = nullptr;
};
