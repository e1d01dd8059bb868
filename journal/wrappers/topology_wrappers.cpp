#include "journal/wrappers/topology_wrappers.h"

namespace {
// Makers of this family's wrappers, registered at load.
struct Registrar {
    Registrar() {
        ZPI_REGISTER_JOURNAL_WRAPPER(KPILoop)
        ZPI_REGISTER_JOURNAL_WRAPPER(KPIItem)
        ZPI_REGISTER_JOURNAL_WRAPPER(KPIFace)
        ZPI_REGISTER_JOURNAL_WRAPPER(KPIEdge)
        ZPI_REGISTER_JOURNAL_WRAPPER(KPIDatum)
        ZPI_REGISTER_JOURNAL_WRAPPER(KPIQuilt)
    }
};
const Registrar registrar;
} // namespace
