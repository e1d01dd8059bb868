// The system's reason for an error number, in the words of the C locale:
// what the library tells names a failure the same whatever locale the
// translator's process runs under (strerror and gai_strerror follow
// LC_MESSAGES). Not installed; each library has its own copy.
#pragma once

#include <clocale>
#include <cstring>
#include <locale.h>
#include <netdb.h>

namespace btk_reason_detail {
inline locale_t cLocale() {
    static const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return c;
}
} // namespace btk_reason_detail

// strerror(err) as the C locale words it.
inline const char* btkSystemReason(int err) {
    const locale_t c = btk_reason_detail::cLocale();
    return c ? strerror_l(err, c) : std::strerror(err);
}

// gai_strerror(rc) as the C locale words it (the calling thread's locale
// is switched for the lookup only).
inline const char* btkAddressReason(int rc) {
    const locale_t c = btk_reason_detail::cLocale();
    const locale_t before = c ? uselocale(c) : static_cast<locale_t>(nullptr);
    const char* reason = gai_strerror(rc);
    if (before)
        uselocale(before);
    return reason;
}
