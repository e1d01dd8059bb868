// Exceptions. Everything the system raises is an xthrowable object carried
// by one exported C++ exception class, xthrown:
//
//     try { ... } catch (const xthrown& e) {
//         if (KXSimple* s = KXSimple::softcast(e.get())) s->GetStatus();
//         e.what(); // "KBase::XSimple status -52: cannot create \"...\": ..."
//     }
#pragma once

#include "kcommon.h"
#include "xany.h"

#include <exception>
#include <string>

// Root of every raised object; xobject is its ordinary base.
class ZBASE_API xthrowable : public xobject {
    XRTTI_DECLARE(xthrowable)
public:
    xthrowable() = default;
    xthrowable(const xthrowable&) = default;
    xthrowable& operator=(const xthrowable&) = default;
    ~xthrowable() override = default;
};

// The C++ exception that carries a raised object.
class ZBASE_API xthrown : public std::exception {
public:
    explicit xthrown(xthrowable* thrown);
    xthrown(const xthrown&) = default;
    xthrown& operator=(const xthrown&) = default;
    ~xthrown() override;
    xthrowable* get() const noexcept { return thrown_.get(); }
    const char* what() const noexcept override { return what_.c_str(); }

private:
    xrcunihandle<xthrowable> thrown_;
    std::string what_;
};

// Raises `thrown` (held by the exception from here on).
[[noreturn]] ZBASE_API void xthrow(xthrowable* thrown);

// ---- API exceptions ---------------------------------------------------
class ZBASE_API KXException : public virtual xthrowable {
    XRTTI_DECLARE(KXException)
public:
    // The implementation object behind the exception.
    virtual KCommon_i* _CastToImpl() = 0;

protected:
    KXException() = default;
    KXException(const KXException&) = default;
    KXException& operator=(const KXException&) = default;
    ~KXException() override = default;
};

class ZBASE_API KXKernelError : public virtual xthrowable, public virtual KXException {
    XRTTI_DECLARE(KXKernelError)
public:
    // The host status carried.
    virtual int GetStatus() = 0;

protected:
    KXKernelError() = default;
    KXKernelError(const KXKernelError&) = default;
    KXKernelError& operator=(const KXKernelError&) = default;
    ~KXKernelError() override = default;
};

class ZBASE_API KXSimple : public virtual xthrowable,
                           public virtual KXException,
                           public virtual KXKernelError {
    XRTTI_DECLARE(KXSimple)
protected:
    KXSimple() = default;
    KXSimple(const KXSimple&) = default;
    KXSimple& operator=(const KXSimple&) = default;
    ~KXSimple() override = default;
};

class ZBASE_API KXInvalidState : public virtual xthrowable, public virtual KXException {
    XRTTI_DECLARE(KXInvalidState)
public:
    virtual int GetState() = 0;

protected:
    KXInvalidState() = default;
    KXInvalidState(const KXInvalidState&) = default;
    KXInvalidState& operator=(const KXInvalidState&) = default;
    ~KXInvalidState() override = default;
};

class ZBASE_API KXInvalidArg : public virtual xthrowable, public virtual KXException {
    XRTTI_DECLARE(KXInvalidArg)
public:
    // Index of the argument, counted from 1.
    virtual int GetArgIndex() = 0;
    // 0 for a null argument, 1 for a bad value.
    virtual int GetCode() = 0;

protected:
    KXInvalidArg() = default;
    KXInvalidArg(const KXInvalidArg&) = default;
    KXInvalidArg& operator=(const KXInvalidArg&) = default;
    ~KXInvalidArg() override = default;
};

// Implementation objects of the API exceptions.
class ZBASE_API KXSimple_i : public KCommon_i, public virtual KXSimple {
public:
    explicit KXSimple_i(int status) : status_(status) {}
    KXSimple_i(int status, std::string reason) : status_(status), reason_(std::move(reason)) {}
    int GetStatus() override { return status_; }
    // What failed and why, in words; empty when only the status was given.
    const std::string& GetReason() const { return reason_; }
    KCommon_i* _CastToImpl() override { return this; }
    xobject* GetImplObject() override { return this; }

private:
    int status_;
    std::string reason_;
};

class ZBASE_API KXInvalidState_i : public KCommon_i, public virtual KXInvalidState {
public:
    explicit KXInvalidState_i(int state) : state_(state) {}
    int GetState() override { return state_; }
    KCommon_i* _CastToImpl() override { return this; }
    xobject* GetImplObject() override { return this; }

private:
    int state_;
};

class ZBASE_API KXInvalidArg_i : public KCommon_i, public virtual KXInvalidArg {
public:
    KXInvalidArg_i(int index, int code) : index_(index), code_(code) {}
    int GetArgIndex() override { return index_; }
    int GetCode() override { return code_; }
    KCommon_i* _CastToImpl() override { return this; }
    xobject* GetImplObject() override { return this; }
    [[noreturn]] static void Throw(int index, int code);

private:
    int index_;
    int code_;
};

[[noreturn]] ZBASE_API void ThrowSimple(int status);
// The same with what failed and why (a path and its reason, say): the
// exception's what() and its text in the journal carry it.
[[noreturn]] ZBASE_API void ThrowSimple(int status, const std::string& reason);
// The reason a raised KXSimple carries, also when the journal's wrapper of
// it is what was raised; empty for any other object and for a KXSimple
// raised with its status only.
ZBASE_API std::string KXSimpleReason(xobject* thrown);
[[noreturn]] ZBASE_API void ThrowInvalidArg(int index, int code);
[[noreturn]] ZBASE_API void ThrowInvalidState(int state);

// ---- base-library errors ----------------------------------------------
// Type mismatch of a cast: names the expected type and holds the object.
class ZBASE_API cipXTypeMismatch : public xthrowable {
    XRTTI_DECLARE(cipXTypeMismatch)
public:
    cipXTypeMismatch(const char* expected, const xany& value);
    const char* GetExpectedType() const { return expected_.c_str(); }
    const xany& GetValue() const { return value_; }
    [[noreturn]] static void Throw(const char* expected, xany value);

private:
    xstring expected_;
    xany value_;
};

// Index errors of sequences and fixed-size arrays.
class ZBASE_API cipXIndexError : public xthrowable {
    XRTTI_DECLARE(cipXIndexError)
public:
    enum Kind { Negative = 0, SequenceIndex = 1, ArrayIndex = 2 };
    cipXIndexError(Kind kind, xobject* container, int arrayIndex, int index)
        : kind_(kind), container_(container), arrayIndex_(arrayIndex), index_(index) {}
    Kind GetKind() const { return kind_; }
    // The container is not held: it is only compared by address.
    const xobject* GetContainer() const { return container_; }
    int GetArrayIndex() const { return arrayIndex_; }
    int GetIndex() const { return index_; }

private:
    Kind kind_;
    const xobject* container_;
    int arrayIndex_;
    int index_;
};

[[noreturn]] ZBASE_API void ciphThrowNegativeIndex(int index);
[[noreturn]] ZBASE_API void ciphThrowInvalidSeqIndex(xobject* sequence, int index);
[[noreturn]] ZBASE_API void ciphThrowInvalidArrayIndex(xobject* object, int array, int index);
