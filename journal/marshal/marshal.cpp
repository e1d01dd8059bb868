// Object and list conversions between the caller's side and the
// implementation side, one template per role, instantiated for every
// interface and list class from the class tables.
#include "journal/marshal/marshal.h"

#include <utility>

namespace {

// The parts of an interface object that the wrapping services take.
template <class T> KCommon* commonPart(T* p) { return p ? static_cast<KCommon*>(p) : nullptr; }
template <class T> xobject* objectPart(T* p) { return p ? static_cast<xobject*>(p) : nullptr; }

// The typed result from the working handle: cast raises a type mismatch
// for an object of another class; null stays null. The working handle is
// released once the result holds the object, the argument handle last.
template <class T, class A>
xrchandle<T> finish(xrcunihandle<xobject>& work, xrchandle<A>& argument) {
    xrchandle<T> result(T::cast(work.get()));
    work.release();
    argument.release();
    return result;
}

// Unwrap<T>: the target of a call, never null.
template <class T> xrchandle<T> unwrapTarget(xrchandle<T> target) {
    xrcunihandle<xobject> work;
    T* p = target.get();
    if (KCCommon::isObjKindOf(objectPart(p))) {
        xrcunihandle<xobject> answer = UnwrapClient(commonPart(p), objectPart(p), true);
        work = answer;
        answer.release();
    } else {
        xrcunihandle<xobject> answer = UnwrapCommon(commonPart(p));
        work = answer;
        answer.release();
    }
    return finish<T>(work, target);
}

// UnwrapItem<T>: an argument or list element, may be null.
template <class T> xrchandle<T> unwrapItem(xrchandle<T> item) {
    xrcunihandle<xobject> work;
    if (!item.isNull()) {
        T* p = item.get();
        if (xIsSequence(objectPart(p))) {
            work = UnwrapList(commonPart(p), objectPart(p));
        } else if (KCCommon::isObjKindOf(objectPart(p))) {
            xrcunihandle<xobject> answer = UnwrapClient(commonPart(p), objectPart(p), false);
            work = answer;
            answer.release();
        } else {
            xrcunihandle<xobject> answer = UnwrapCommon(commonPart(p));
            work = answer;
            answer.release();
        }
    }
    return finish<T>(work, item);
}

// Wrap<T>: towards the caller's side, may be null.
template <class T> xrchandle<T> wrap(xrchandle<T> object) {
    xrcunihandle<xobject> work;
    if (!object.isNull()) {
        T* p = object.get();
        if (xIsSequence(objectPart(p))) {
            work = WrapList(commonPart(p), objectPart(p));
        } else if (KCCommon::isObjKindOf(objectPart(p))) {
            xrcunihandle<xobject> answer = WrapClient(commonPart(p), objectPart(p));
            work = answer;
            answer.release();
        } else {
            xrcunihandle<xobject> answer = WrapCommon(commonPart(p));
            work = answer;
            answer.release();
        }
    }
    return finish<T>(work, object);
}

KCCommon* clientPart(KCStream* s) { return s ? static_cast<KCCommon*>(s) : nullptr; }

// A new list of class L holding step(element) at every index of `list`,
// filled from the last index down so that the first store gives the list
// its full length. Null and objects that are not sequences give null.
template <class L, class Step> xrchandle<L> convertList(xrchandle<L> list, Step step) {
    xrcunihandle<xobject> work;
    if (!list.isNull() && xIsSequence(objectPart(list.get()))) {
        xrchandle<L> fresh(L::create());
        if (fresh.isNull())
            ThrowSimple(-10);
        L* source = list.get();
        for (int i = source->Count(); i-- > 0;)
            fresh->Set(i, step(source->Get(i)));
        work = objectPart(fresh.get());
    }
    return finish<L>(work, list);
}

template <class E> xrchandle<E> keep(xrchandle<E> element) { return element; }

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
    bool IsAWrapper(xrchandle<Class> object) {                                 \
        bool answer = IsAWrapperImpl(commonPart(object.get()));                \
        object.release();                                                      \
        return answer;                                                         \
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
        result = impl->GetJournalWrapper()->GetImplObject();
    }
    stream.release();
    return result;
}

xrchandle<KCStream> UnwrapItemKCStream(xrchandle<KCStream> stream) {
    xrcunihandle<xobject> work;
    if (!stream.isNull()) {
        KCStream* p = stream.get();
        if (xIsSequence(objectPart(p))) {
            work = UnwrapList(clientPart(p), objectPart(p));
        } else if (KCCommon::isObjKindOf(objectPart(p))) {
            xrcunihandle<xobject> answer = UnwrapClientStream(clientPart(p), stream, false);
            work = answer;
            answer.release();
        } else {
            xrcunihandle<xobject> answer = UnwrapCommon(clientPart(p));
            work = answer;
            answer.release();
        }
    }
    return finish<KCStream>(work, stream);
}

xrchandle<KCStream> WrapKCStream(xrchandle<KCStream> stream) {
    xrcunihandle<xobject> work;
    if (!stream.isNull()) {
        KCStream* p = stream.get();
        if (xIsSequence(objectPart(p))) {
            work = WrapList(clientPart(p), objectPart(p));
        } else if (KCCommon::isObjKindOf(objectPart(p))) {
            xrcunihandle<xobject> answer = WrapClientStream(clientPart(p), stream);
            work = answer;
            answer.release();
        } else {
            xrcunihandle<xobject> answer = WrapCommon(clientPart(p));
            work = answer;
            answer.release();
        }
    }
    return finish<KCStream>(work, stream);
}

bool IsAWrapper(xrchandle<KCStream> stream) {
    bool answer = IsAWrapperImpl(clientPart(stream.get()));
    stream.release();
    return answer;
}

// ---- lists -------------------------------------------------------------------------

#define ZPI_MARSHAL_DEFINE_VALUE_LIST(List, Element)                           \
    xrchandle<List> Wrap##List(xrchandle<List> list) {                         \
        return convertList(std::move(list), &keep<Element>);                   \
    }                                                                          \
    xrchandle<List> Unwrap##List(xrchandle<List> list) {                       \
        return convertList(std::move(list), &keep<Element>);                   \
    }
ZPI_MARSHAL_VALUE_LISTS(ZPI_MARSHAL_DEFINE_VALUE_LIST)
#undef ZPI_MARSHAL_DEFINE_VALUE_LIST

#define ZPI_MARSHAL_DEFINE_LIST(List, Element)                                 \
    xrchandle<List> Wrap##List(xrchandle<List> list) {                         \
        return convertList(std::move(list), &Wrap##Element);                   \
    }                                                                          \
    xrchandle<List> Unwrap##List(xrchandle<List> list) {                       \
        return convertList(std::move(list), &UnwrapItem##Element);             \
    }
ZPI_LISTS(ZPI_MARSHAL_DEFINE_LIST)
#undef ZPI_MARSHAL_DEFINE_LIST

#define ZPI_MARSHAL_DEFINE_LIST_TEST(List, Element)                            \
    bool IsAWrapper(xrchandle<List> list) {                                    \
        bool answer = IsAWrapperImpl(objectPart(list.get()));                  \
        list.release();                                                        \
        return answer;                                                         \
    }
ZPI_MARSHAL_VALUE_LISTS(ZPI_MARSHAL_DEFINE_LIST_TEST)
ZPI_LISTS(ZPI_MARSHAL_DEFINE_LIST_TEST)
#undef ZPI_MARSHAL_DEFINE_LIST_TEST
