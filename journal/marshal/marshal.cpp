// Object and list conversions between the caller's side and the
// implementation side, one template per role, instantiated for every
// interface and list class from the class tables.
#include "journal/marshal/marshal.h"

#include <utility>

namespace {

// The parts of an interface object that the wrapping services take.
template <class T> KCommon* commonPart(T* p) { return p ? static_cast<KCommon*>(p) : nullptr; }
template <class T> xobject* objectPart(T* p) { return p ? static_cast<xobject*>(p) : nullptr; }
// The part of a caller's stream that the wrapping services take.
KCCommon* clientPart(KCStream* s) { return s ? static_cast<KCCommon*>(s) : nullptr; }

// The typed result from the working handle: cast raises a type mismatch
// for an object of another class; null stays null. The working handle is
// released once the result holds the object, the argument handle last.
// The result takes over the working handle's reference where it holds one.
template <class T, class A>
xrchandle<T> finish(xrcunihandle<xobject>& work, xrchandle<A>& argument) {
    T* typed = T::cast(work.get());
    xrchandle<T> result;
    if (typed && work.isRefCountable()) {
        work.detach();
        result = xrchandle<T>::adopt(typed);
    } else {
        result = typed;
        work.release();
    }
    argument.release();
    return result;
}

// The working handle from one service answer: a handle is taken over, a
// plain pointer (the List services) attached.
inline void assign(xrcunihandle<xobject>& work, xrcunihandle<xobject> answer) { work = std::move(answer); }
inline void assign(xrcunihandle<xobject>& work, xobject* answer) { work = answer; }

// The services of each direction, for either kind of part (KCommon for
// interface objects, KCCommon for caller's streams). Sharing: the object of
// the other side that shares the part's count, if any (caller's streams
// have none).
struct Unwrapping {
    template <class Part> static xobject* List(Part* part, xobject* object) {
        return UnwrapList(part, object);
    }
    template <class Part> static xrcunihandle<xobject> Common(Part* part) { return UnwrapCommon(part); }
    static xobject* Sharing(KCommon* part) { return kkWrappedSharingCount(part); }
    static xobject* Sharing(KCCommon*) { return nullptr; }
    static xobject* MadeSharing(KCommon*) { return nullptr; }
    static xobject* MadeSharing(KCCommon*) { return nullptr; }
};
struct Wrapping {
    template <class Part> static xobject* List(Part* part, xobject* object) {
        return WrapList(part, object);
    }
    template <class Part> static xrcunihandle<xobject> Common(Part* part) { return WrapCommon(part); }
    static xobject* Sharing(KCommon* part) { return kkWrapperSharingCount(part); }
    static xobject* Sharing(KCCommon*) { return nullptr; }
    // An implementation object's wrapper is made here the first time.
    static xobject* MadeSharing(KCommon* part) { return kkWrapperSharingCount(part, true); }
    static xobject* MadeSharing(KCCommon*) { return nullptr; }
};

template <class T> xrchandle<T> handOver(xrchandle<T>& item, xobject* other) {
    T* typed = T::cast(other);
    item.detach();
    return xrchandle<T>::adopt(typed);
}

// UnwrapItem<T> and Wrap<T> alike: null stays null; a sequence goes to the
// List service, a caller's object to `client`, anything else to the Common
// service; the answer is cast to T. An object whose other side shares its
// count (never a sequence or a caller's object) hands its reference over to
// that side at once: nothing is counted.
template <class Direction, class T, class Part, class Client>
xrchandle<T> convertItem(xrchandle<T> item, Part* (*partOf)(T*), Client client) {
    xrcunihandle<xobject> work;
    if (!item.isNull()) {
        T* p = item.get();
        if (xobject* other = Direction::Sharing(partOf(p)))
            return handOver(item, other);
        if (xIsSequence(objectPart(p)))
            assign(work, Direction::List(partOf(p), objectPart(p)));
        else if (xIsClientObject(objectPart(p)))
            assign(work, client(item));
        else if (xobject* other = Direction::MadeSharing(partOf(p)))
            return handOver(item, other);
        else
            assign(work, Direction::Common(partOf(p)));
        // An object of the caller's own class whose _CastToImpl answers an
        // object of another interface (or that object's wrapper) stands for
        // nothing on the other side: it crosses as itself, as it does with
        // the journal off, and the operation uses or refuses it.
        if (!work.isNull() && !T::softcast(work.get()))
            work = objectPart(p);
    }
    return finish<T>(work, item);
}

// IsAWrapper: the wrapper test of one part of the object (null for null).
template <class T, class Part> bool isWrapper(xrchandle<T> object, Part* (*partOf)(T*)) {
    bool answer = IsAWrapperImpl(partOf(object.get()));
    object.release();
    return answer;
}

// Unwrap<T>: the target of a call, never null.
template <class T> xrchandle<T> unwrapTarget(xrchandle<T> target) {
    xrcunihandle<xobject> work;
    T* p = target.get();
    if (xIsClientObject(objectPart(p)))
        assign(work, UnwrapClient(commonPart(p), objectPart(p), true));
    else
        assign(work, UnwrapCommon(commonPart(p)));
    return finish<T>(work, target);
}

// UnwrapItem<T>: an argument or list element, may be null.
template <class T> xrchandle<T> unwrapItem(xrchandle<T> item) {
    return convertItem<Unwrapping>(std::move(item), &commonPart<T>, [](const xrchandle<T>& h) {
        return UnwrapClient(commonPart(h.get()), objectPart(h.get()), false);
    });
}

// Wrap<T>: towards the caller's side, may be null.
template <class T> xrchandle<T> wrap(xrchandle<T> object) {
    return convertItem<Wrapping>(std::move(object), &commonPart<T>, [](const xrchandle<T>& h) {
        return WrapClient(commonPart(h.get()), objectPart(h.get()));
    });
}

// A new list of class L holding step(element) at every index of `list`,
// filled from the last index down so that the first store gives the list
// its full length. Null and objects that are not sequences give null.
// With `reuse`, a list that no one else holds (one an implementation made
// for this call alone) is converted where it is instead, which no one can
// tell from a new list; a list whose elements need no conversion (`keeps`)
// is then handed on as it is.
template <class L, class Step>
xrchandle<L> convertList(xrchandle<L> list, Step step, bool reuse = false, bool keeps = false) {
    xrchandle<L> fresh;
    if (!list.isNull() && xIsSequence(objectPart(list.get()))) {
        L* source = list.get();
        if (reuse && objectPart(source)->isHeldOnce()) {
            if (!keeps)
                for (int i = source->Count(); i-- > 0;)
                    source->Set(i, step(source->Get(i)));
            return list;
        }
        fresh = L::create();
        if (fresh.isNull())
            ThrowSimple(-10);
        for (int i = source->Count(); i-- > 0;)
            fresh->Set(i, step(source->Get(i)));
    }
    list.release();
    return fresh;
}

template <class E> xrchandle<E> keep(xrchandle<E> element) { return element; }

// StandIn<T>: the object's _CastToImpl is asked here once, and nowhere else
// in the call when it has a stand-in.
template <class T> xrchandle<T> standIn(T* p) {
    if (!p)
        return nullptr;
    KCommon* common = commonPart(p);
    KCommon_i* answer = common->_CastToImpl();
    // The library's own objects answer themselves (a wrapper may also
    // answer the object it wraps): they need none.
    xobject* object = objectPart(p);
    if (!answer || answer->GetImplObject() == object || xIsSequence(object) ||
        xIsClientObject(object) || dynamic_cast<KCommon_j*>(common))
        return nullptr;
    return xrchandle<T>(T::softcast(answer->GetImplObject()));
}

// StandIn<L>: a new list only when an element has a stand-in.
template <class L> xrchandle<L> standInList(L* list) {
    if (!list || !xIsSequence(objectPart(list)))
        return nullptr;
    xrchandle<L> fresh;
    const int n = list->Count();
    for (int i = 0; i < n; ++i) {
        auto element = list->Get(i);
        auto stand = standIn(element.get());
        if (stand && !fresh) {
            fresh = L::create();
            if (fresh.isNull())
                ThrowSimple(-10);
            for (int j = 0; j < i; ++j)
                fresh->Set(j, list->Get(j));
        }
        if (fresh)
            fresh->Set(i, stand ? stand : element);
    }
    return fresh;
}

} // namespace

// ---- interface objects ---------------------------------------------------------

#define ZPI_MARSHAL_DEFINE_OBJECT(Class, Parent)                               \
    xrchandle<Class> Unwrap##Class(xrchandle<Class> target) {                  \
        return unwrapTarget(std::move(target));                                \
    }                                                                          \
    xrchandle<Class> UnwrapItem##Class(xrchandle<Class> item) {                \
        return unwrapItem(std::move(item));                                    \
    }                                                                          \
    xrchandle<Class> Wrap##Class(xrchandle<Class> object) { return wrap(std::move(object)); } \
    xrchandle<Class> StandIn##Class(const xrchandle<Class>& item) {            \
        return standIn(item.get());                                            \
    }                                                                          \
    bool IsAWrapper(xrchandle<Class> object) {                                 \
        return isWrapper(std::move(object), &commonPart<Class>);               \
    }
ZPI_INTERFACES(ZPI_MARSHAL_DEFINE_OBJECT)
#undef ZPI_MARSHAL_DEFINE_OBJECT

// ---- caller's streams -------------------------------------------------------------

xrcunihandle<xobject> UnwrapClientStream(KCCommon* common, xrchandle<KCStream> stream,
                                         bool target) {
    xrcunihandle<xobject> result;
    KCommon_i* impl = kkClientImpl(common);
    if (impl && impl->IsJournalWrapper()) {
        xrchandle<xobject> wrapped = static_cast<KCommon_j*>(impl)->GetImplHandle();
        KCCommon* inner = KCCommon::cast(wrapped.get());
        if ((inner && inner->_CastToImpl()) || target)
            result = wrapped.get();
    }
    if (result.isNull())
        result = objectPart(stream.get());
    stream.release();
    return result;
}

xrcunihandle<xobject> WrapClientStream(KCCommon* common, xrchandle<KCStream> stream) {
    xrcunihandle<xobject> result;
    KCommon_i* impl = kkClientImpl(common);
    if (!impl) {
        xrchandle<KCStream> made = kkMakeClientWrapper(stream);
        result = objectPart(made.get());
        made.release();
    } else if (impl->IsJournalWrapper()) {
        result = objectPart(stream.get());
    } else {
        result = impl->AttachJournalWrapper().get();
    }
    stream.release();
    return result;
}

xrchandle<KCStream> UnwrapItemKCStream(xrchandle<KCStream> stream) {
    return convertItem<Unwrapping>(std::move(stream), &clientPart, [](const xrchandle<KCStream>& h) {
        return UnwrapClientStream(clientPart(h.get()), h, false);
    });
}

xrchandle<KCStream> WrapKCStream(xrchandle<KCStream> stream) {
    return convertItem<Wrapping>(std::move(stream), &clientPart, [](const xrchandle<KCStream>& h) {
        return WrapClientStream(clientPart(h.get()), h);
    });
}

bool IsAWrapper(xrchandle<KCStream> stream) { return isWrapper(std::move(stream), &clientPart); }

// ---- lists -------------------------------------------------------------------------

#define ZPI_MARSHAL_DEFINE_VALUE_LIST(List, Element)                           \
    xrchandle<List> Wrap##List(xrchandle<List> list) {                         \
        return convertList(std::move(list), &keep<Element>, true, true);       \
    }                                                                          \
    xrchandle<List> Unwrap##List(xrchandle<List> list) {                       \
        return convertList(std::move(list), &keep<Element>);                   \
    }
ZPI_MARSHAL_VALUE_LISTS(ZPI_MARSHAL_DEFINE_VALUE_LIST)
#undef ZPI_MARSHAL_DEFINE_VALUE_LIST

#define ZPI_MARSHAL_DEFINE_LIST(List, Element)                                 \
    xrchandle<List> Wrap##List(xrchandle<List> list) {                         \
        return convertList(std::move(list), &Wrap##Element, true);             \
    }                                                                          \
    xrchandle<List> Unwrap##List(xrchandle<List> list) {                       \
        return convertList(std::move(list), &UnwrapItem##Element);             \
    }
ZPI_LISTS(ZPI_MARSHAL_DEFINE_LIST)
#undef ZPI_MARSHAL_DEFINE_LIST

#define ZPI_MARSHAL_DEFINE_LIST_STAND_IN(List, Element)                        \
    xrchandle<List> StandIn##List(const xrchandle<List>& list) {               \
        return standInList(list.get());                                        \
    }
ZPI_LISTS(ZPI_MARSHAL_DEFINE_LIST_STAND_IN)
#undef ZPI_MARSHAL_DEFINE_LIST_STAND_IN

#define ZPI_MARSHAL_DEFINE_LIST_TEST(List, Element)                            \
    bool IsAWrapper(xrchandle<List> list) {                                    \
        return isWrapper(std::move(list), &objectPart<List>);                  \
    }
ZPI_MARSHAL_VALUE_LISTS(ZPI_MARSHAL_DEFINE_LIST_TEST)
ZPI_LISTS(ZPI_MARSHAL_DEFINE_LIST_TEST)
#undef ZPI_MARSHAL_DEFINE_LIST_TEST
