// The journaled call: the one routine through which every operation of a
// journal wrapper reaches its implementation object and is written into the
// call journal.
//
// In order: open the record (name, target); make one argument record per
// argument, first to last; write them as the inputs (no In() for an
// operation without arguments); inside the guard fetch the
// implementation-side values (last argument first) and call the
// interface's virtual operation on the implementation object that the
// wrapper stands for; convert the result to the caller's side and write it
// as the return value. A KXException from inside the guard is recorded as
// its journal wrapper and the wrapper is thrown instead; any other raised
// object and any C++ exception passes unchanged, and the record is marked
// as a call that did not complete. Everything is released on every path,
// the record last.
//
// Whether the journal records changes nothing that the caller or the
// implementation sees: arguments and results are converted either way.
// Whether the call is journaled is decided once, when its record is made
// (kkJournal::IsRecorded): switching recording meanwhile neither cuts the
// record short nor starts it half-way. A record that does not record
// leaves the texts out, and with them the copies that writing them would
// take, so that a call with the journal off costs little more than the
// plain call.
#pragma once

#include "journal/call/kkcallarg.h"
#include "journal/text/journal_text.h"

#include "kkjournal.h"
#include "xexcept.h"

#include <cstddef>
#include <type_traits>
#include <utility>

class KWPISessionFactory;

// A result that crosses unconverted (numbers, enumerations, text, xany,
// value objects, number sequences).
template <class R> R kkMoveResult(R& result) { return std::move(result); }

namespace kk_detail {

// The argument records of one call, first argument first. Members are
// destroyed in reverse, so the last argument's record goes first.
template <class... P> struct ArgRecords;
template <> struct ArgRecords<> {
    void Journal(kkJournal&) const {}
};
template <class H, class... T> struct ArgRecords<H, T...> {
    kkCallArg<H> head;
    ArgRecords<T...> tail;
    explicit ArgRecords(H& h, T&... t) : head(h), tail(t...) {}
    void Journal(kkJournal& journal) const {
        journal << head;
        tail.Journal(journal);
    }
};

// The implementation-side values, fetched from the last argument to the
// first (the tail is built before the head).
template <class... P> struct CallValues;
template <> struct CallValues<> {
    explicit CallValues(ArgRecords<>&) {}
};
template <class H, class... T> struct CallValues<H, T...> {
    CallValues<T...> tail;
    H head;
    explicit CallValues(ArgRecords<H, T...>& records)
        : tail(records.tail), head(records.head.TakeCallValue()) {}
};

template <std::size_t I, class H, class... T> auto& ValueAt(CallValues<H, T...>& values) {
    if constexpr (I == 0)
        return values.head;
    else
        return ValueAt<I - 1>(values.tail);
}

template <class I, class R, class... P, std::size_t... Is>
R Invoke(I* implementation, R (I::*method)(P...), CallValues<P...>& values,
         std::index_sequence<Is...>) {
    return (implementation->*method)(std::move(ValueAt<Is>(values))...);
}

// The caller's side form of a result: interface objects become their
// journal wrappers and lists new lists of the caller's side; everything
// else passes unchanged.
template <class R> R ToCaller(R& result) {
    if constexpr (IsHandleType<R>::value && requires(R value) {
                      { kkWrap(value) } -> std::same_as<R>;
                  })
        return kkWrap(std::move(result));
    else
        return kkMoveResult(result);
}

// The guard's handler: called inside the catch of a journaled call.
// A KXException is recorded as its journal wrapper, which is thrown in its
// place; any other raised object is thrown on unchanged and unrecorded.
[[noreturn]] void RethrowJournaled(kkJournal& record, const xthrown& caught);

} // namespace kk_detail

// The implementation object behind a wrapper, seen as interface I; null
// when it is not one (the journaled call then unwraps the target itself,
// which reports the mismatch).
template <class I> I* kkImplementationAs(KCommon_i* implementation) {
    return implementation ? I::softcast(implementation->GetImplObject()) : nullptr;
}

// The journaled call of the operation `*method` of interface I on `target`
// (a journal wrapper seen as I), recorded under `name`. `implementation`
// is the implementation object behind the wrapper, as found when the
// wrapper was made (null: the target is unwrapped here). The caller's
// handle on the wrapper keeps the wrapper, and through it the
// implementation, alive for the call. `args` are the wrapper operation's
// own parameters: what they hold moves on to the implementation.
template <class I, class R, class... P>
R kkJournaledCall(I* target, I* implementation, const char* name, R (I::*const* method)(P...),
                  std::type_identity_t<P>&... args) {
    kkJournal record(name, static_cast<KCommon*>(target));
    try {
        kk_detail::ArgRecords<P...> records(args...);
        if constexpr (sizeof...(P) > 0) {
            // Nothing is written when the record does not record.
            if (record.IsRecorded())
                records.Journal(record.In());
        }

        xrchandle<I> unwrapped;
        if (!implementation) {
            unwrapped = kkUnwrapTarget(xrchandle<I>(target));
            implementation = unwrapped.get();
        }

        if constexpr (std::is_void_v<R>) {
            try {
                kk_detail::CallValues<P...> values(records);
                kk_detail::Invoke(implementation, *method, values, std::index_sequence_for<P...>{});
            } catch (const xthrown& caught) {
                kk_detail::RethrowJournaled(record, caught);
            }
        } else {
            R result{};
            try {
                kk_detail::CallValues<P...> values(records);
                result = kk_detail::Invoke(implementation, *method, values,
                                           std::index_sequence_for<P...>{});
            } catch (const xthrown& caught) {
                kk_detail::RethrowJournaled(record, caught);
            }
            R converted = kk_detail::ToCaller(result);
            record.Return();
            if (record.IsRecorded())
                kkJournalValue(record, converted);
            return converted;
        }
    } catch (...) {
        // Whatever leaves the call without being recorded as its exception
        // (a C++ exception, a raised object that is not an interface
        // exception, a failure around the call) passes on unchanged; the
        // record says that the call did not complete.
        if (!record.HasException())
            record.NotCompleted();
        throw;
    }
}

// The journaled session getter's call: no target object. A plain session
// getter made for this call alone runs `*method` (its GetSession); the
// session reaches the caller as its journal wrapper.
xrchandle<KWPISession>
kkJournaledCall(const char* name, xrchandle<KWPISession> (KWPISessionFactory::*const* method)());
