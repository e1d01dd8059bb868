// The base library's own names of the public functions that zpi50 calls
// (zbase_own_names.h): each passes the call on to the public function,
// which the library binds to its own definition (-Bsymbolic-functions),
// whatever a program defines under that name.
#include "kcommon.h"
#include "kkjournal.h"
#include "kvalues.h"
#include "process.h"
#include "xexcept.h"
#include "xmemory.h"
#include "xobject.h"
#include "xrtti.h"
#include "zbase_own_names.h"

// (Each declared with its symbol by zbase_own_names.h.)
#define ZBASE_OWN_DEFINE(type, name, params, args, symbol)                                          \
    type name params { return ::name args; }
#define ZBASE_OWN_DEFINE_NORETURN(name, params, args, symbol)                                       \
    [[noreturn]] void name params { ::name args; }
// (Defined in process.cpp, where their formatting is.)
#define ZBASE_OWN_DEFINE_PRINTF(name, symbol)

inline namespace zbase_internal {
namespace own {
ZBASE_OWN_NAMES(ZBASE_OWN_DEFINE, ZBASE_OWN_DEFINE, ZBASE_OWN_DEFINE_NORETURN,
                ZBASE_OWN_DEFINE_PRINTF)
} // namespace own
} // namespace zbase_internal
