#include "journal/wrappers/facet_wrappers.h"

namespace {
// Makers of this family's wrappers, registered at load.
struct Registrar {
    Registrar() {
        ZPI_REGISTER_JOURNAL_WRAPPER(KPIFacetVtx)
        ZPI_REGISTER_JOURNAL_WRAPPER(KPIFacetVtxdata)
        ZPI_REGISTER_JOURNAL_WRAPPER(KPIFacetdata)
        ZPI_REGISTER_JOURNAL_WRAPPER(KPIFacetedRep)
    }
};
const Registrar registrar;
} // namespace
