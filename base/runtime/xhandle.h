// Counted handles. Every object crosses an interface inside one.
#pragma once

#include "xobject.h"

#include <type_traits>

namespace xhandle_detail {
// The xobject part of a T (through a virtual base where there is one).
template <class T> inline xobject* asObject(T* p) {
    return p ? static_cast<xobject*>(const_cast<std::remove_const_t<T>*>(p)) : nullptr;
}
} // namespace xhandle_detail

// Owns one reference on its object while it holds one.
template <class T> class xrchandle {
public:
    xrchandle() noexcept = default;
    // From an integer literal: empty (used to return a null handle).
    xrchandle(int) noexcept {}
    xrchandle(std::nullptr_t) noexcept {}
    xrchandle(T* p) : ptr_(p) { xrcattach(xhandle_detail::asObject(p)); }
    xrchandle(const xrchandle& other) : xrchandle(other.ptr_) {}
    xrchandle(xrchandle&& other) noexcept : ptr_(other.ptr_) { other.ptr_ = nullptr; }
    template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
    xrchandle(const xrchandle<U>& other) : xrchandle(static_cast<T*>(other.get())) {}
    ~xrchandle() { release(); }

    // Attach the new object before releasing the old one, so that assigning
    // a handle the object it already holds keeps that object alive.
    xrchandle& operator=(T* p) {
        xrcattach(xhandle_detail::asObject(p));
        T* old = ptr_;
        ptr_ = p;
        xrcrelease(xhandle_detail::asObject(old));
        return *this;
    }
    xrchandle& operator=(const xrchandle& other) { return *this = other.ptr_; }
    xrchandle& operator=(xrchandle&& other) noexcept {
        if (this != &other) {
            T* old = ptr_;
            ptr_ = other.ptr_;
            other.ptr_ = nullptr;
            xrcrelease(xhandle_detail::asObject(old));
        }
        return *this;
    }

    T* get() const noexcept { return ptr_; }
    T* operator->() const noexcept { return ptr_; }
    T& operator*() const noexcept { return *ptr_; }
    bool isNull() const noexcept { return ptr_ == nullptr; }
    explicit operator bool() const noexcept { return ptr_ != nullptr; }
    void release() {
        T* old = ptr_;
        ptr_ = nullptr;
        if (old)
            xrcrelease(xhandle_detail::asObject(old));
    }
    // A handle that takes over a reference the caller already holds.
    static xrchandle adopt(T* p) noexcept {
        xrchandle h;
        h.ptr_ = p;
        return h;
    }
    // Hands the reference out without releasing it.
    T* detach() noexcept {
        T* p = ptr_;
        ptr_ = nullptr;
        return p;
    }

private:
    T* ptr_ = nullptr;
};

// Handle that also accepts objects that are not reference counted: the
// reference is given back only when the object was countable at attach.
template <class T> class xrcunihandle {
public:
    xrcunihandle() noexcept = default;
    xrcunihandle(int) noexcept {}
    xrcunihandle(std::nullptr_t) noexcept {}
    xrcunihandle(T* p) { attach(p); }
    xrcunihandle(const xrcunihandle& other) { attach(other.ptr_); }
    xrcunihandle(xrcunihandle&& other) noexcept : ptr_(other.ptr_), refCountable_(other.refCountable_) {
        other.ptr_ = nullptr;
        other.refCountable_ = false;
    }
    ~xrcunihandle() { release(); }

    xrcunihandle& operator=(T* p) {
        if (p == ptr_)
            return *this;
        T* old = ptr_;
        bool oldCounted = refCountable_;
        ptr_ = nullptr;
        attach(p);
        if (oldCounted)
            xrcunirelease(xhandle_detail::asObject(old));
        return *this;
    }
    xrcunihandle& operator=(const xrcunihandle& other) { return *this = other.ptr_; }
    xrcunihandle& operator=(xrcunihandle&& other) noexcept {
        if (this != &other) {
            release();
            ptr_ = other.ptr_;
            refCountable_ = other.refCountable_;
            other.ptr_ = nullptr;
            other.refCountable_ = false;
        }
        return *this;
    }

    T* get() const noexcept { return ptr_; }
    T* operator->() const noexcept { return ptr_; }
    bool isNull() const noexcept { return ptr_ == nullptr; }
    bool isRefCountable() const noexcept { return refCountable_; }
    void release() {
        T* old = ptr_;
        ptr_ = nullptr;
        if (old && refCountable_)
            xrcunirelease(xhandle_detail::asObject(old));
    }
    // Hands the reference (if one was taken) out without releasing it.
    T* detach() noexcept {
        T* p = ptr_;
        ptr_ = nullptr;
        refCountable_ = false;
        return p;
    }

private:
    void attach(T* p) {
        ptr_ = p;
        if (p) {
            xobject* o = xhandle_detail::asObject(p);
            xrcuniattach(o);
            refCountable_ = o->isRefCountable();
        }
    }

    T* ptr_ = nullptr;
    bool refCountable_ = false;
};

template <class T, class U> bool operator==(const xrchandle<T>& a, const xrchandle<U>& b) {
    return a.get() == b.get();
}
