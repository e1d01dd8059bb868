#include "journal/wrappers/session_wrapper.h"

namespace {
// Makers of this family's wrappers, registered at load.
struct Registrar {
    Registrar() {
        ZPI_REGISTER_JOURNAL_WRAPPER(KWPISession)
    }
};
const Registrar registrar;
} // namespace
