// The call journal as zpi50 adds to it: the base library's journal record
// (kkjournal.h, which describes the record's line) and the insertion of the
// four interface enumerations into a record, written "<type>(<n>)", as
// "KPILoopTraversal(2)"; the number is written whether or not it names a
// constant. zpi50 also defines the record's text members (AddInput and its
// kin, StartSequence, EndSequence), which its journal wrappers use.
#pragma once

#include "kkjournal.h"
#include "kpi_enums.h"
#include "zpi50_export.h"

ZPI_API kkJournal& operator<<(kkJournal& journal, KPISurfOrient value);
ZPI_API kkJournal& operator<<(kkJournal& journal, KPILoopTraversal value);
ZPI_API kkJournal& operator<<(kkJournal& journal, KPICurveType value);
ZPI_API kkJournal& operator<<(kkJournal& journal, KPISurfType value);
