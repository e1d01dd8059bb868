// Call argument records: one kkCallArg<T> per argument of a journaled call,
// made before anything is unwrapped or called.
//
// A record decides once on which side of the journal its argument stands.
// It keeps only that side's form: the argument itself lives through the
// caller's copy for the whole call.
// An object of the caller's own class that answers a journal wrapper or an
// implementation object stands as that object for the whole call (its
// stand-in, kkStandIn: it is asked once), and so does a list with such
// elements as a list of their stand-ins.
// An argument that is a journal wrapper (or a list, whose elements are the
// caller's) is kept as it is and converted to the implementation side only
// when the call asks for its value. Any other interface object, list or
// stream is brought to the caller's side at once (Wrap), and that form is
// both journaled and handed to the implementation. Numbers, enumerations,
// text pointers, xany values, value objects and number sequences are never
// converted.
//
// The call hands the implementation what the record holds
// (TakeCallValue): the caller's copy, or the converted form, moves on
// rather than being copied, and a journal wrapper that shares its object's
// count hands that object its reference. Nothing reads the record after.
#pragma once

#include "journal/marshal/marshal.h"

#include <concepts>
#include <type_traits>
#include <utility>

namespace kk_detail {

template <class T> struct IsHandleType : std::false_type {};
template <class T> struct IsHandleType<xrchandle<T>> : std::true_type {};

// Handles of the types that the conversions know: interface objects,
// caller's streams and lists. Value objects and number sequences have no
// conversion and cross unchanged.
template <class T>
concept Convertible = IsHandleType<T>::value && requires(T value) {
    { IsAWrapper(value) } -> std::same_as<bool>;
    { kkWrap(value) } -> std::same_as<T>;
    { kkUnwrapItem(value) } -> std::same_as<T>;
    { kkStandIn(value) } -> std::same_as<T>;
};

// The wrapper test of IsAWrapper, asked of the handle's object without
// taking a copy of the handle: interface objects by their KCommon part, a
// caller's stream by its KCCommon part, lists as xobject.
template <class T> bool IsWrapperArgument(const T& handle) {
    auto* p = handle.get();
    using Pointee = std::remove_pointer_t<decltype(p)>;
    if constexpr (std::is_base_of_v<KCommon, Pointee>)
        return IsAWrapperImpl(p ? static_cast<KCommon*>(p) : nullptr);
    else if constexpr (std::is_base_of_v<KCCommon, Pointee>)
        return IsAWrapperImpl(p ? static_cast<KCCommon*>(p) : nullptr);
    else
        return IsAWrapperImpl(p ? static_cast<xobject*>(p) : nullptr);
}

} // namespace kk_detail

template <class T> class kkCallArg {
public:
    // `argument` is the caller's own copy (the wrapper operation's
    // parameter), alive for the whole call: the record refers to it (or to
    // its stand-in) and holds a converted form only where there is one. A
    // failing test or conversion passes on.
    explicit kkCallArg(T& argument) : given(StandInFor(argument)) {
        if constexpr (kk_detail::Convertible<T>) {
            auto* p = given.get();
            using Pointee = std::remove_pointer_t<decltype(p)>;
            if constexpr (std::is_base_of_v<KCommon, Pointee>)
                sharedImpl = kkWrappedSharingCount(p ? static_cast<KCommon*>(p) : nullptr);
            isWrapper = sharedImpl || kk_detail::IsWrapperArgument(given);
            if (!isWrapper)
                converted = kkWrap(given);
        }
    }
    kkCallArg(const kkCallArg&) = delete;
    kkCallArg& operator=(const kkCallArg&) = delete;
    ~kkCallArg() = default;

    // The value the implementation receives: a journal wrapper (or a list)
    // converted to the implementation side, anything else in its caller's
    // side form. A new value on every call.
    T GetCallValue() const {
        if constexpr (kk_detail::Convertible<T>) {
            if (isWrapper)
                return kkUnwrapItem(given);
        }
        return StoredValue();
    }
    // The same value, for the one call the record serves: taken from the
    // record instead of copied.
    T TakeCallValue() {
        if constexpr (kk_detail::Convertible<T>) {
            if (sharedImpl) {
                using Pointee = std::remove_pointer_t<decltype(given.get())>;
                Pointee* typed = Pointee::cast(sharedImpl);
                given.detach();
                return T::adopt(typed);
            }
            if (isWrapper)
                return kkUnwrapItem(given);
            return std::move(converted);
        } else {
            return std::move(given);
        }
    }
    // The caller's side form; this is what the journal writes.
    const T& StoredValue() const {
        if constexpr (kk_detail::Convertible<T>) {
            if (!isWrapper)
                return converted;
        }
        return given;
    }
    T GetStoredValue() const { return StoredValue(); }
    bool IsWrapper() const { return isWrapper; }

private:
    // The argument's stand-in, when it has one: what the record holds in its
    // place.
    T& StandInFor(T& argument) {
        if constexpr (kk_detail::Convertible<T>) {
            standIn = kkStandIn(argument);
            if (standIn)
                return standIn;
        }
        return argument;
    }

    std::conditional_t<kk_detail::Convertible<T>, T, char> standIn{};
    T& given;
    // The caller's side form of an argument that is not a journal wrapper.
    std::conditional_t<kk_detail::Convertible<T>, T, char> converted{};
    // For a journal wrapper that shares its implementation object's count:
    // that object.
    xobject* sharedImpl = nullptr;
    bool isWrapper = false;
};
