#include "process.h"
#include "standard_fds.h"
#include "zbase_own_names.h"

#include <atomic>
#include <cctype>
#include <charconv>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {
std::atomic<bool> g_journaling{false};
std::atomic<int> g_session_notices{0};
std::atomic<int> g_msg_disabled{0};
std::atomic<int> g_kernel_location{0};
std::atomic<int> g_bnfs_location{0};
} // namespace

bool KGetZorvanJournaling() { return g_journaling.load(); }
void KSetZorvanJournaling(bool on) { g_journaling.store(on); }

void NotifySessionCreated() { g_session_notices.fetch_add(1); }
int NotifySessionCreatedCalls() { return g_session_notices.load(); }

void disable_msg_put(int disable) { g_msg_disabled.store(disable); }
bool msg_put_disabled() { return g_msg_disabled.load() != 0; }

int uni_register_kernel_location() {
    g_kernel_location.fetch_add(1);
    return 0;
}
int uni_register_bnfs_location() {
    g_bnfs_location.fetch_add(1);
    return 0;
}
int uni_register_kernel_location_calls() { return g_kernel_location.load(); }
int uni_register_bnfs_location_calls() { return g_bnfs_location.load(); }

const char* btk_getenv(const char* name) { return name ? std::getenv(name) : nullptr; }

namespace {

// The formatted text and a line end, on standard error in one write
// (standard_fds.h: only where descriptor 2 is a standard error). A short
// line is made without the heap, so that an abort is told also when it
// fails.
void tellList(const char* format, va_list args) {
    va_list again;
    va_copy(again, args);
    char small[1024];
    const int length = std::vsnprintf(small, sizeof small, format, args);
    if (length >= 0 && size_t(length) < sizeof small) {
        small[length] = '\n'; // over the terminator vsnprintf put there
        btkTellStandardError(small, size_t(length) + 1);
    } else if (length >= 0) {
        std::string line(static_cast<size_t>(length) + 1, '\n');
        std::vsnprintf(line.data(), line.size(), format, again);
        line.back() = '\n';
        btkTellStandardError(line.data(), line.size());
    }
    va_end(again);
}

void tellLine(const char* format, ...) __attribute__((format(printf, 1, 2)));
void tellLine(const char* format, ...) {
    va_list args;
    va_start(args, format);
    tellList(format, args);
    va_end(args);
}

void printInfoList(const char* format, va_list args) {
    if (msg_put_disabled() && get_run_mode() == 0)
        return;
    tellList(format, args);
}

} // namespace

void _btkAbort(const char* message, const char* file, int line) {
    tellLine("%s (%s:%d)", message ? message : "", file ? file : "", line);
    std::abort();
}

void dbg_err_crash(const char* message) {
    tellLine("fatal: %s", message ? message : "");
    std::abort();
}

void btk_tell(const char* format, ...) {
    va_list args;
    va_start(args, format);
    tellList(format, args);
    va_end(args);
}

void dbg_print_info(const char* format, ...) {
    va_list args;
    va_start(args, format);
    printInfoList(format, args);
    va_end(args);
}

// The base library's own names of these two (zbase_own_names.h, which
// lists them; a variadic call cannot be passed on as the others are).
inline namespace zbase_internal {
namespace own {

ZBASE_API void btk_tell(const char* format, ...) {
    va_list args;
    va_start(args, format);
    tellList(format, args);
    va_end(args);
}

ZBASE_API void dbg_print_info(const char* format, ...) {
    va_list args;
    va_start(args, format);
    printInfoList(format, args);
    va_end(args);
}

} // namespace own
} // namespace zbase_internal

namespace {

template <class T> bool numberFromText(const char* text, bool blanksAround, T& value) {
    if (!text)
        return false;
    const char* end = text + std::strlen(text);
    if (blanksAround) {
        while (text < end && std::isspace(static_cast<unsigned char>(*text)))
            ++text;
        while (end > text && std::isspace(static_cast<unsigned char>(end[-1])))
            --end;
    }
    T number{};
    const auto r = std::from_chars(text, end, number);
    if (text == end || r.ec != std::errc() || r.ptr != end)
        return false;
    value = number;
    return true;
}

} // namespace

bool btk_number_from_text(const char* text, bool blanksAround, int& value) {
    return numberFromText(text, blanksAround, value);
}

bool btk_number_from_text(const char* text, bool blanksAround, double& value) {
    return numberFromText(text, blanksAround, value);
}

int run_mode_from_text(const char* text, bool* taken) {
    int mode = 0;
    const bool number = btk_number_from_text(text, true, mode);
    if (taken)
        *taken = !text || number;
    return number ? mode : 0;
}

namespace {
int readRunMode() {
    const char* text = btk_getenv(ZBASE_RUN_MODE_VARIABLE);
    bool taken = true;
    const int mode = run_mode_from_text(text, &taken);
    if (!taken)
        btk_tell("%s=\"%s\" is not a whole number; the run mode is 0", ZBASE_RUN_MODE_VARIABLE,
                 text);
    return mode;
}
} // namespace

int get_run_mode() {
    static const int mode = readRunMode();
    return mode;
}
