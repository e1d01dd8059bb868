#include "journal/forwarding_wrappers.h"

namespace {

ZPI_INTERFACES(ZPI_FORWARDING_WRAPPER)

// Makers: a failed allocation raises (operator new throws); a constructor
// that raises frees the memory and lets the exception pass.
#define ZPI_WRAPPER_MAKER(Interface, Parent)                                   \
    KCommon_j* make_##Interface##_j(KCommon_i* impl) { return new Interface##_j(impl); }
ZPI_INTERFACES(ZPI_WRAPPER_MAKER)
#undef ZPI_WRAPPER_MAKER

struct WrapperMakerRegistrar {
    WrapperMakerRegistrar() {
#define ZPI_REGISTER_MAKER(Interface, Parent)                                  \
    KRegisterJournalWrapperMaker(Interface::getClassRtti(), &make_##Interface##_j);
        ZPI_INTERFACES(ZPI_REGISTER_MAKER)
#undef ZPI_REGISTER_MAKER
    }
};
const WrapperMakerRegistrar registrar;

} // namespace
