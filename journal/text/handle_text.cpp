// Journal text of handles, lists and number sequences.
#include "journal/text/journal_text.h"

#include "kwrap.h"
#include "process.h"

#include <cstring>
#include <string>
#include <utility>

namespace {

const char* const kJournalHeader = "kkJournal.h";

// Each single-object writer owns its handle: it is released when the
// writer returns, also when the insertion throws.
template <class Base, class T> kkJournal& writeObject(kkJournal& journal, xrchandle<T> handle) {
    Base* base = handle.get();
    journal << base;
    handle.release();
    return journal;
}

// sequence<List[,Element]>( element, ... ) with the elements written in
// index order by the element writer.
template <class L, class Write>
kkJournal& writeList(kkJournal& journal, L* list, const xrttiobject* elementType, Write write) {
    if (!journal.IsRecorded())
        return journal;
    if (!list)
        return journal << static_cast<const char*>(nullptr);
    // The journal names of both classes are made once and kept with their
    // descriptors.
    const std::string& listName = kkJournalClassName(list->giveRtti());
    int count = list->Count();
    if (count != 0) {
        static const std::string none;
        const std::string& elementName = elementType ? kkJournalClassName(elementType) : none;
        journal.StartSequence(listName.c_str(), elementName.c_str());
    } else {
        journal.StartSequence(listName.c_str(), nullptr);
    }
    for (int i = 0; i < count; ++i)
        write(journal, list->Get(i));
    journal.EndSequence();
    return journal;
}

// The number sequences: their type name decides the opening; any other
// name is a fatal inconsistency.
template <class S> kkJournal& writeNumbers(kkJournal& journal, S* sequence) {
    if (!journal.IsRecorded())
        return journal;
    if (!sequence)
        return journal << static_cast<const char*>(nullptr);
    const char* name = xGetCipTypeName(sequence);
    if (std::strcmp(name, "intseq") == 0)
        journal.StartSequence("xintsequence", nullptr);
    else if (std::strcmp(name, "realseq") == 0)
        journal.StartSequence("xrealsequence", nullptr);
    else
        _btkAbort(nullptr, kJournalHeader, 422);
    int count = sequence->Count();
    for (int i = 0; i < count; ++i)
        journal << sequence->Get(i);
    journal.EndSequence();
    return journal;
}

template <class L, class Writer> kkJournal& writeListHandle(kkJournal& journal, xrchandle<L> handle, Writer seq) {
    seq(journal, handle.get());
    handle.release();
    return journal;
}

} // namespace

// ---- single objects ------------------------------------------------------------

#define ZPI_JOURNAL_OBJECT_WRITER(Class, Parent)                               \
    kkJournal& operator<<(kkJournal& journal, xrchandle<Class> handle) {       \
        return writeObject<KCommon>(journal, static_cast<xrchandle<Class>&&>(handle)); \
    }
ZPI_INTERFACES(ZPI_JOURNAL_OBJECT_WRITER)
#undef ZPI_JOURNAL_OBJECT_WRITER

kkJournal& operator<<(kkJournal& journal, xrchandle<KXException> handle) {
    return writeObject<KXException>(journal, std::move(handle));
}
kkJournal& operator<<(kkJournal& journal, xrchandle<KCStream> handle) {
    return writeObject<KCCommon>(journal, std::move(handle));
}
kkJournal& operator<<(kkJournal& journal, xrchandle<KPoint3D> handle) {
    return writeObject<KPoint3D>(journal, std::move(handle));
}
kkJournal& operator<<(kkJournal& journal, xrchandle<KVector3D> handle) {
    return writeObject<KVector3D>(journal, std::move(handle));
}
kkJournal& operator<<(kkJournal& journal, xrchandle<KPointUV> handle) {
    return writeObject<KPointUV>(journal, std::move(handle));
}
kkJournal& operator<<(kkJournal& journal, xrchandle<KColorRGB> handle) {
    return writeObject<KColorRGB>(journal, std::move(handle));
}
kkJournal& operator<<(kkJournal& journal, xrchandle<KCsys> handle) {
    return writeObject<KCsys>(journal, std::move(handle));
}
kkJournal& operator<<(kkJournal& journal, xrchandle<KBox3D> handle) {
    return writeObject<KBox3D>(journal, std::move(handle));
}
kkJournal& operator<<(kkJournal& journal, xrchandle<KBoxUV> handle) {
    return writeObject<KBoxUV>(journal, std::move(handle));
}

// ---- lists and number sequences ----------------------------------------------------

#define ZPI_JOURNAL_SEQ_WRITER(List, Element)                                  \
    kkJournal& JournalSeq##Element(kkJournal& journal, List* list) {           \
        return writeList(journal, list, Element::getClassRtti(),               \
                         [](kkJournal& j, xrchandle<Element> e) { j << std::move(e); }); \
    }                                                                          \
    kkJournal& operator<<(kkJournal& journal, xrchandle<List> handle) {        \
        return writeListHandle(journal, std::move(handle), &JournalSeq##Element); \
    }
ZPI_JOURNAL_SEQ_WRITER(KPoint3DList, KPoint3D)
ZPI_JOURNAL_SEQ_WRITER(KVector3DList, KVector3D)
ZPI_JOURNAL_SEQ_WRITER(KPointUVList, KPointUV)
ZPI_LISTS(ZPI_JOURNAL_SEQ_WRITER)
#undef ZPI_JOURNAL_SEQ_WRITER

kkJournal& JournalSeqReal(kkJournal& journal, xrealsequence* sequence) {
    return writeNumbers(journal, sequence);
}

kkJournal& JournalSeqInt(kkJournal& journal, xintsequence* sequence) {
    return writeNumbers(journal, sequence);
}

kkJournal& operator<<(kkJournal& journal, xrchandle<xrealsequence> handle) {
    return writeListHandle(journal, std::move(handle), &JournalSeqReal);
}

kkJournal& operator<<(kkJournal& journal, xrchandle<xintsequence> handle) {
    return writeListHandle(journal, std::move(handle), &JournalSeqInt);
}
