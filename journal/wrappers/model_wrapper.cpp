#include "journal/wrappers/model_wrapper.h"

namespace {
// Makers of this family's wrappers, registered at load.
struct Registrar {
    Registrar() {
        ZPI_REGISTER_JOURNAL_WRAPPER(KWPIModel)
    }
};
const Registrar registrar;
} // namespace
