// Owning pointers over records that a free function gives back.
//
//   FreePtr<T, Free>   a std::unique_ptr<T> whose deleter calls Free(p)
//                      (a function taking T*; its result is ignored).
//   OutPtr(ptr)        passes a FreePtr (any unique_ptr) to a routine that
//                      answers through a T** out-parameter: the pointer is
//                      emptied first and takes what the routine wrote when
//                      the full expression ends, also when it ends by an
//                      exception, so nothing the routine made is lost:
//                          Check(qel_edgedata_alloc(OutPtr(edge)));
#pragma once

#include <memory>

template <auto Free> struct FreeWith {
    template <class T> void operator()(T* p) const noexcept { Free(p); }
};

template <class T, auto Free> using FreePtr = std::unique_ptr<T, FreeWith<Free>>;

template <class Ptr> class OutPtrT {
public:
    using pointer = typename Ptr::pointer;
    explicit OutPtrT(Ptr& owner) noexcept : owner_(owner) { owner_.reset(); }
    ~OutPtrT() { owner_.reset(raw_); }
    OutPtrT(const OutPtrT&) = delete;
    OutPtrT& operator=(const OutPtrT&) = delete;
    operator pointer*() noexcept { return &raw_; }

private:
    Ptr& owner_;
    pointer raw_ = nullptr;
};

template <class Ptr> OutPtrT<Ptr> OutPtr(Ptr& owner) noexcept { return OutPtrT<Ptr>(owner); }
