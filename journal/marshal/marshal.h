// Conversions of objects and lists between the caller's side (journal
// wrappers, caller's objects) and the implementation side.
//
// Every conversion takes its handle by value, releases it before it returns
// (also when it throws) and answers a new handle. A result of another type
// than the conversion's raises cipXTypeMismatch.
//
// Per interface type <T> (every interface class):
//   Unwrap<T>      the target of a call: a caller's object through
//                  UnwrapClient(.., true), anything else through UnwrapCommon.
//   UnwrapItem<T>  an argument or list element: null gives null; a sequence
//                  goes through UnwrapList; a caller's object through
//                  UnwrapClient(.., false); anything else UnwrapCommon.
//   Wrap<T>        a result, an argument that is not a journal wrapper, or
//                  a list element: null, sequence, caller's object and the
//                  rest through WrapList, WrapClient and WrapCommon.
//   StandIn<T>     an argument of the caller's own class (an object that is
//                  neither the library's nor its journal wrapper, no
//                  sequence, no caller's stream), asked its _CastToImpl
//                  once: the journal wrapper or implementation object of T
//                  that it answers, which the call takes in its place, so
//                  that what the object answers later in the call changes
//                  nothing; null for any other object, and for one that
//                  answers none or an object of another interface (which
//                  crosses as itself).
// For KCStream: UnwrapItemKCStream and WrapKCStream (caller's streams go to
// UnwrapClientStream and WrapClientStream).
// Per list class <L> (the interface lists and KPoint3DList, KVector3DList,
// KPointUVList): Wrap<L> and Unwrap<L> make a new list of the same class
// with every element converted (value lists: the same elements); null and
// non-sequences give null. Wrap<L> converts a list that no one else holds
// (one made for the call that answers it) where it is instead. StandIn<L>
// (interface lists): a new list of the same elements, each that has a
// stand-in (StandIn<T>) replaced by it; null when none has one. Caller's
// streams and value lists have no stand-in.
//
// The overloads kkUnwrapTarget, kkUnwrapItem, kkWrap, kkStandIn and
// IsAWrapper pick the conversion by handle type, for generic code.
#pragma once

#include "kpi_interfaces.h"
#include "kwrap.h"

#define ZPI_MARSHAL_DECLARE_OBJECT(Class, Parent)                                                  \
    xrchandle<Class> Unwrap##Class(xrchandle<Class> target);                                       \
    xrchandle<Class> UnwrapItem##Class(xrchandle<Class> item);                                     \
    xrchandle<Class> Wrap##Class(xrchandle<Class> object);                                         \
    xrchandle<Class> StandIn##Class(const xrchandle<Class>& item);                                 \
    bool IsAWrapper(xrchandle<Class> object);                                                      \
    inline xrchandle<Class> kkUnwrapTarget(xrchandle<Class> target) {                              \
        return Unwrap##Class(static_cast<xrchandle<Class>&&>(target));                             \
    }                                                                                              \
    inline xrchandle<Class> kkUnwrapItem(xrchandle<Class> item) {                                  \
        return UnwrapItem##Class(static_cast<xrchandle<Class>&&>(item));                           \
    }                                                                                              \
    inline xrchandle<Class> kkWrap(xrchandle<Class> object) {                                      \
        return Wrap##Class(static_cast<xrchandle<Class>&&>(object));                               \
    }                                                                                              \
    inline xrchandle<Class> kkStandIn(const xrchandle<Class>& item) {                              \
        return StandIn##Class(item);                                                               \
    }
ZPI_INTERFACES(ZPI_MARSHAL_DECLARE_OBJECT)
#undef ZPI_MARSHAL_DECLARE_OBJECT

// ---- caller's streams ------------------------------------------------------
xrchandle<KCStream> UnwrapItemKCStream(xrchandle<KCStream> stream);
xrchandle<KCStream> WrapKCStream(xrchandle<KCStream> stream);
bool IsAWrapper(xrchandle<KCStream> stream);
// `common` is the stream's KCCommon part.
xrcunihandle<xobject> UnwrapClientStream(KCCommon* common, xrchandle<KCStream> stream, bool target);
xrcunihandle<xobject> WrapClientStream(KCCommon* common, xrchandle<KCStream> stream);
inline xrchandle<KCStream> kkUnwrapItem(xrchandle<KCStream> stream) {
    return UnwrapItemKCStream(static_cast<xrchandle<KCStream>&&>(stream));
}
inline xrchandle<KCStream> kkWrap(xrchandle<KCStream> stream) {
    return WrapKCStream(static_cast<xrchandle<KCStream>&&>(stream));
}
inline xrchandle<KCStream> kkStandIn(const xrchandle<KCStream>&) {
    return nullptr;
}

// ---- lists -------------------------------------------------------------------
#define ZPI_MARSHAL_DECLARE_LIST(List, Element)                                                    \
    xrchandle<List> Wrap##List(xrchandle<List> list);                                              \
    xrchandle<List> Unwrap##List(xrchandle<List> list);                                            \
    bool IsAWrapper(xrchandle<List> list);                                                         \
    inline xrchandle<List> kkUnwrapItem(xrchandle<List> list) {                                    \
        return Unwrap##List(static_cast<xrchandle<List>&&>(list));                                 \
    }                                                                                              \
    inline xrchandle<List> kkWrap(xrchandle<List> list) {                                          \
        return Wrap##List(static_cast<xrchandle<List>&&>(list));                                   \
    }
#define ZPI_MARSHAL_VALUE_LISTS(X)                                             \
    X(KPoint3DList, KPoint3D)                                                  \
    X(KVector3DList, KVector3D)                                                \
    X(KPointUVList, KPointUV)
ZPI_MARSHAL_VALUE_LISTS(ZPI_MARSHAL_DECLARE_LIST)
ZPI_LISTS(ZPI_MARSHAL_DECLARE_LIST)
#undef ZPI_MARSHAL_DECLARE_LIST

#define ZPI_MARSHAL_DECLARE_VALUE_LIST_STAND_IN(List, Element)                                     \
    inline xrchandle<List> kkStandIn(const xrchandle<List>&) {                                     \
        return nullptr;                                                                            \
    }
ZPI_MARSHAL_VALUE_LISTS(ZPI_MARSHAL_DECLARE_VALUE_LIST_STAND_IN)
#undef ZPI_MARSHAL_DECLARE_VALUE_LIST_STAND_IN

#define ZPI_MARSHAL_DECLARE_LIST_STAND_IN(List, Element)                                           \
    xrchandle<List> StandIn##List(const xrchandle<List>& list);                                    \
    inline xrchandle<List> kkStandIn(const xrchandle<List>& list) {                                \
        return StandIn##List(list);                                                                \
    }
ZPI_LISTS(ZPI_MARSHAL_DECLARE_LIST_STAND_IN)
#undef ZPI_MARSHAL_DECLARE_LIST_STAND_IN
