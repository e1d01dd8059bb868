// base/runtime: the object runtime: counted objects and handles, type
// descriptors, tagged values (xany), exceptions, sequences, value classes,
// and the roots of interface, implementation and wrapper classes (kcommon.h).
// It uses process/ and text/.
//
// Root of every counted object: xobject, its reference counting, and the
// run-time type queries that every class answers through its descriptor.
#pragma once

#include "zbase_export.h"

#include <atomic>
#include <cstdint>

class xrttiobject;

// Every interface, value, list and exception object derives from xobject
// (virtually where several paths lead to it). The count starts at 0; the
// first handle takes it to 1 and the last release destroys the object.
class ZBASE_API xobject {
public:
    xobject() noexcept;
    // A copy is a new object: it starts uncounted. Assignment leaves the
    // target's count alone.
    xobject(const xobject&) noexcept;
    xobject& operator=(const xobject&) noexcept { return *this; }

    // Virtual operations in slot order; the destructor stands for the
    // deleting destructor.
    virtual ~xobject();
    virtual void* dyndowncast(const xrttiobject* type);
    virtual void* dyndowncast_i(const xrttiobject* type);
    virtual const xrttiobject* giveRtti() const;
    virtual bool isDeletable() const;
    virtual void onDelete();
    virtual void xattach();
    virtual void xrelease();
    virtual void xfree();

    // Counted objects answer true; a subclass that lives elsewhere (a
    // static, an object inside another) answers false and is never freed
    // through a handle.
    bool isRefCountable() const { return isDeletable(); }
    // Takes one reference only while the object holds at least one: false
    // once the count has reached 0 (the object is going or was never
    // attached). Lets a cache that holds no reference hand out its object
    // without reviving one that another thread is destroying.
    bool xattachIfLive() noexcept;
    bool isSameAs(const xrttiobject* type) const;
    bool isKindOf(const xrttiobject* type) const;
    int32_t refCount() const { return refcount_.load(std::memory_order_relaxed); }
    // Whether a counted object is held by one reference alone: its holder
    // may change it as its own, seeing what earlier holders wrote.
    bool isHeldOnce() const { return isRefCountable() && refcount_.load(std::memory_order_acquire) == 1; }

    static const xrttiobject* getClassRtti();

private:
    std::atomic<int32_t> refcount_;
};

// Reference counting; all accept null. The last xrcrelease destroys.
extern "C" {
ZBASE_API void xrcattach(xobject* obj);
ZBASE_API void xrcrelease(xobject* obj);
ZBASE_API void xrcuniattach(xobject* obj);
ZBASE_API void xrcunirelease(xobject* obj);
ZBASE_API void xrcrelease_c(xobject* obj);
}
