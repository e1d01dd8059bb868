#include "journal/wrappers/metadata_wrappers.h"

namespace {
// Makers of this family's wrappers, registered at load.
struct Registrar {
    Registrar() {
        ZPI_REGISTER_JOURNAL_WRAPPER(KPIUnit)
        ZPI_REGISTER_JOURNAL_WRAPPER(KPILengthUnit)
        ZPI_REGISTER_JOURNAL_WRAPPER(KPIMassUnit)
        ZPI_REGISTER_JOURNAL_WRAPPER(KPINameAttribute)
        ZPI_REGISTER_JOURNAL_WRAPPER(KPIGeneralAttribute)
        ZPI_REGISTER_JOURNAL_WRAPPER(KPIReferenceColor)
        ZPI_REGISTER_JOURNAL_WRAPPER(KPIElementColor)
        ZPI_REGISTER_JOURNAL_WRAPPER(KPILayer)
    }
};
const Registrar registrar;
} // namespace
