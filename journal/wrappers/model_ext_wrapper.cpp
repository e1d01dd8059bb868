#include "journal/wrappers/model_ext_wrapper.h"

namespace {
// Makers of this family's wrappers, registered at load.
struct Registrar {
    Registrar() {
        ZPI_REGISTER_JOURNAL_WRAPPER(KWPIModelExt)
    }
};
const Registrar registrar;
} // namespace
