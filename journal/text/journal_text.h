// Journal text of the interface: the four interface enumerations, handles
// of interface, client, exception and value objects, lists and number
// sequences, and call argument records.
//
// Every writer takes its handle (or record) by value, owns that copy and
// releases it before it returns, also when the insertion throws.
//
// Enumerations read <type>(<n>), as "KPILoopTraversal(2)"; the number is
// written whether or not it names a constant. Lists read
// sequence<List,Element>(e0,e1,...), an empty list sequence<List>(), a null
// list null; number sequences read sequence<xintsequence>(1,2) and
// sequence<xrealsequence>(0.5).
#pragma once

#include "kpi_interfaces.h"
#include "zpi50_journal.h" // the enumerations' insertions

#include <type_traits>

// ---- single objects ----------------------------------------------------
// Interface handles go to kkJournal::operator<<(KCommon*).
#define ZPI_JOURNAL_DECLARE_OBJECT_WRITER(Class, Parent)                                           \
    kkJournal& operator<<(kkJournal& journal, xrchandle<Class> handle);
ZPI_INTERFACES(ZPI_JOURNAL_DECLARE_OBJECT_WRITER)
#undef ZPI_JOURNAL_DECLARE_OBJECT_WRITER

kkJournal& operator<<(kkJournal& journal, xrchandle<KXException> handle);
kkJournal& operator<<(kkJournal& journal, xrchandle<KCStream> handle);
kkJournal& operator<<(kkJournal& journal, xrchandle<KPoint3D> handle);
kkJournal& operator<<(kkJournal& journal, xrchandle<KVector3D> handle);
kkJournal& operator<<(kkJournal& journal, xrchandle<KPointUV> handle);
kkJournal& operator<<(kkJournal& journal, xrchandle<KColorRGB> handle);
kkJournal& operator<<(kkJournal& journal, xrchandle<KCsys> handle);
kkJournal& operator<<(kkJournal& journal, xrchandle<KBox3D> handle);
kkJournal& operator<<(kkJournal& journal, xrchandle<KBoxUV> handle);

// ---- lists and number sequences ------------------------------------------
// Sequence writers (given the list itself, or null) and the handle writers
// that call them. Nothing is read from a list while not recording.
kkJournal& JournalSeqKPoint3D(kkJournal& journal, KPoint3DList* list);
kkJournal& JournalSeqKVector3D(kkJournal& journal, KVector3DList* list);
kkJournal& JournalSeqKPointUV(kkJournal& journal, KPointUVList* list);
#define ZPI_JOURNAL_DECLARE_SEQ_WRITER(List, Element)                                              \
    kkJournal& JournalSeq##Element(kkJournal& journal, List* list);
ZPI_LISTS(ZPI_JOURNAL_DECLARE_SEQ_WRITER)
#undef ZPI_JOURNAL_DECLARE_SEQ_WRITER
// A sequence whose type name is neither "intseq" nor "realseq" ends the
// process.
kkJournal& JournalSeqReal(kkJournal& journal, xrealsequence* sequence);
kkJournal& JournalSeqInt(kkJournal& journal, xintsequence* sequence);

kkJournal& operator<<(kkJournal& journal, xrchandle<KPoint3DList> handle);
kkJournal& operator<<(kkJournal& journal, xrchandle<KVector3DList> handle);
kkJournal& operator<<(kkJournal& journal, xrchandle<KPointUVList> handle);
#define ZPI_JOURNAL_DECLARE_LIST_WRITER(List, Element)                                             \
    kkJournal& operator<<(kkJournal& journal, xrchandle<List> handle);
ZPI_LISTS(ZPI_JOURNAL_DECLARE_LIST_WRITER)
#undef ZPI_JOURNAL_DECLARE_LIST_WRITER
kkJournal& operator<<(kkJournal& journal, xrchandle<xrealsequence> handle);
kkJournal& operator<<(kkJournal& journal, xrchandle<xintsequence> handle);

// ---- call argument records -------------------------------------------------
// A record is journaled through the value it stores (its caller's side
// form), with the writer of that value's type: the base library's
// insertions for int, double, const char*, xany, KTraversal and
// KAccuracyType, the writers above for the rest. kkCallArg<T> (the call
// journal's argument record) supplies GetStoredValue.
template <class T> class kkCallArg;

// The sequence writer of a list, by the list's class.
inline kkJournal& kkJournalList(kkJournal& journal, KPoint3DList* list) { return JournalSeqKPoint3D(journal, list); }
inline kkJournal& kkJournalList(kkJournal& journal, KVector3DList* list) { return JournalSeqKVector3D(journal, list); }
inline kkJournal& kkJournalList(kkJournal& journal, KPointUVList* list) { return JournalSeqKPointUV(journal, list); }
#define ZPI_JOURNAL_LIST_BY_CLASS(List, Element)                               \
    inline kkJournal& kkJournalList(kkJournal& journal, List* list) { return JournalSeq##Element(journal, list); }
ZPI_LISTS(ZPI_JOURNAL_LIST_BY_CLASS)
#undef ZPI_JOURNAL_LIST_BY_CLASS

// A value as its writer writes it, without a copy of its handle: an
// interface object goes to the KCommon insertion, as its handle writer
// does, and a list to its sequence writer.
template <class T> kkJournal& kkJournalValue(kkJournal& journal, const T& value) {
    if constexpr (requires { value.get(); }) {
        using Pointee = std::remove_pointer_t<decltype(value.get())>;
        if constexpr (std::is_base_of_v<KCommon, Pointee>)
            return journal << (value.get() ? static_cast<KCommon*>(value.get()) : nullptr);
        else if constexpr (requires { kkJournalList(journal, value.get()); })
            return kkJournalList(journal, value.get());
        else
            return journal << value;
    } else {
        return journal << value;
    }
}

template <class T> kkJournal& operator<<(kkJournal& journal, const kkCallArg<T>& arg) {
    return kkJournalValue(journal, arg.StoredValue());
}
