// Wrapping services: which object stands for a given one on the other side
// of the journal. The caller's side holds journal wrappers (KCommon_j),
// objects the caller made on KCCommon, and lists; the implementation side
// holds implementation objects (KCommon_i).
//
// The parts given are those of one object: its KCommon (or KCCommon) part
// and its xobject part. Answers that are handles hold their own reference;
// the List services answer a plain pointer that the caller attaches.
//
// KCCommon::_CastToImpl answers a KCommon_i* (as void*), or null for a
// caller's object that has no implementation object behind it.
#pragma once

#include "kcommon.h"
#include "xexcept.h"

inline namespace zbase_internal {

// The journal wrapper that `object` is, or null. Follows _CastToImpl (an
// answer that says IsJournalWrapper) and also recognises a wrapper whose
// _CastToImpl answers the object it wraps.
KCommon_j* kkAsJournalWrapper(KCommon* object);
KCommon_j* kkAsJournalWrapper(KCCommon* object);
// The implementation object behind a caller's object (its _CastToImpl).
ZBASE_API KCommon_i* kkClientImpl(KCCommon* object);

// True for a journal wrapper. The xobject form serves lists and sequences:
// a non-null sequence counts as on the caller's side (its elements are
// unwrapped for the call); an interface or caller's object in it is tested
// as above.
ZBASE_API bool IsAWrapperImpl(KCommon* object);
ZBASE_API bool IsAWrapperImpl(xobject* object);
ZBASE_API bool IsAWrapperImpl(KCCommon* object);

// Towards the implementation side. UnwrapCommon: a journal wrapper gives
// the object it wraps; any other object gives itself; null gives null.
ZBASE_API xrcunihandle<xobject> UnwrapCommon(KCommon* object);
ZBASE_API xrcunihandle<xobject> UnwrapCommon(KCCommon* object);
// The object on the other side that shares the count of `object`, if there
// is one: for an implementation object, its journal wrapper once it has
// been made (what WrapCommon answers); for a journal wrapper that shares
// the count of the object it wraps, that object (what UnwrapCommon
// answers). Null otherwise, and for null. A reference on `object` is one on
// the answer, so a conversion can hand its reference over. Such an object
// is neither a sequence nor a caller's object.
// With `make`, an implementation object without a wrapper gets one first.
ZBASE_API xobject* kkWrapperSharingCount(KCommon* object, bool make = false);
ZBASE_API xobject* kkWrappedSharingCount(KCommon* object);
// A caller's object (on KCCommon): when its implementation object is a
// journal wrapper, the object that wrapper stands for, if that has an
// implementation object of its own or `target` is true; otherwise the
// object itself.
ZBASE_API xrcunihandle<xobject> UnwrapClient(KCommon* common, xobject* object, bool target);
// A sequence is handed through unchanged (lists are converted element by
// element by the list conversions of the caller).
ZBASE_API xobject* UnwrapList(KCommon* common, xobject* object);
ZBASE_API xobject* UnwrapList(KCCommon* common, xobject* object);

// Towards the caller's side. WrapCommon: a journal wrapper gives itself; an
// implementation object gives its journal wrapper (made on first use;
// raises when none can be made); an object without implementation gives
// itself; null gives null.
ZBASE_API xrcunihandle<xobject> WrapCommon(KCommon* object);
ZBASE_API xrcunihandle<xobject> WrapCommon(KCCommon* object);
// A caller's object: when it has an implementation object that is not a
// journal wrapper, that object's journal wrapper; otherwise itself.
ZBASE_API xrcunihandle<xobject> WrapClient(KCommon* common, xobject* object);
ZBASE_API xobject* WrapList(KCommon* common, xobject* object);
ZBASE_API xobject* WrapList(KCCommon* common, xobject* object);

// A stream that stands for a caller's stream: a journal wrapper (its
// _CastToImpl answers itself, IsJournalWrapper true) whose wrapped object is
// the caller's stream; it forwards every operation to that stream and keeps
// it alive. Null gives null.
ZBASE_API xrchandle<KCStream> kkMakeClientWrapper(xrchandle<KCStream> stream);

// ---- object kinds --------------------------------------------------------
// True when the object is a sequence: its descriptor is a sequence
// descriptor, or it is one of the base library's sequences (xintsequence,
// xrealsequence, KPoint3DList, KVector3DList, KPointUVList). Null: false.
ZBASE_API bool xIsSequence(const xobject* object);
// True when the object is one a caller made (KCCommon::isObjKindOf). Null:
// false.
ZBASE_API bool xIsClientObject(const xobject* object);
// The base library's type name of an object: "intseq" and "realseq" for
// the number sequences, otherwise its descriptor's name. Null: "".
ZBASE_API const char* xGetCipTypeName(const xobject* object);
} // namespace zbase_internal
