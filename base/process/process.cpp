#include "process.h"
#include "btk_quoted.h"
#include "standard_fds.h"
#include "zbase_own_names.h"

#include <atomic>
#include <charconv>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
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
// (standard_fds.h: only where descriptor 2 is a standard error).
void tellList(const char* format, va_list args) { btkTellLine("", format, args); }

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

// A blank as the C locale's isspace takes it, whatever the locale.
bool isBlank(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

enum class Spelled { Number, OutOfRange, Other };

// What the whole of `text` spells (see btk_number_from_text): a number,
// into `value`; a number out of the type's range (value untouched); or
// anything else.
template <class T> Spelled numberFromText(const char* text, bool blanksAround, T& value) {
    if (!text)
        return Spelled::Other;
    const char* end = text + std::strlen(text);
    if (blanksAround) {
        while (text < end && isBlank(*text))
            ++text;
        while (end > text && isBlank(end[-1]))
            --end;
    }
    T number{};
    const auto r = std::from_chars(text, end, number);
    if (text == end || r.ptr != end)
        return Spelled::Other;
    if (r.ec == std::errc::result_out_of_range)
        return Spelled::OutOfRange;
    if (r.ec != std::errc())
        return Spelled::Other;
    value = number;
    return Spelled::Number;
}

// The run mode of `text` (null: unset) and what it spelled: a decimal
// integer out of range gives the nearest one there is (nonzero, as the
// number it spells).
int runModeOf(const char* text, Spelled& spelled) {
    int mode = 0;
    spelled = text ? numberFromText(text, true, mode) : Spelled::Number;
    if (spelled == Spelled::OutOfRange) {
        while (isBlank(*text))
            ++text;
        return *text == '-' ? std::numeric_limits<int>::min() : std::numeric_limits<int>::max();
    }
    return spelled == Spelled::Number ? mode : 0;
}

} // namespace

bool btk_number_from_text(const char* text, bool blanksAround, int& value) {
    return numberFromText(text, blanksAround, value) == Spelled::Number;
}

bool btk_number_from_text(const char* text, bool blanksAround, double& value) {
    return numberFromText(text, blanksAround, value) == Spelled::Number;
}

int run_mode_from_text(const char* text, bool* taken) {
    Spelled spelled;
    const int mode = runModeOf(text, spelled);
    if (taken)
        *taken = spelled == Spelled::Number;
    return mode;
}

namespace {
// The run mode as the variable's text gave it, read once.
struct RunMode {
    int mode = 0;
    Spelled spelled = Spelled::Number;
    std::string text; // the variable's text, when it was not taken
};

const RunMode& readRunMode() {
    // Lives for the process: modes are asked for during exit too.
    static const RunMode* const read = [] {
        auto* made = new RunMode;
        const char* text = btk_getenv(ZBASE_RUN_MODE_VARIABLE);
        made->mode = runModeOf(text, made->spelled);
        if (made->spelled != Spelled::Number)
            made->text = text;
        return made;
    }();
    return *read;
}
} // namespace

int get_run_mode() {
    const RunMode& read = readRunMode();
    // A value not taken is told once, by a caller after the once-only read,
    // so that no thread waits for standard error inside it.
    static std::atomic<bool> told{false};
    if (read.spelled != Spelled::Number && !told.load(std::memory_order_relaxed) &&
        !told.exchange(true))
        btk_tell("%s=%s is %s; the run mode is %d", ZBASE_RUN_MODE_VARIABLE,
                 btkQuoted(read.text).c_str(),
                 read.spelled == Spelled::OutOfRange ? "out of range" : "not a whole number",
                 read.mode);
    return read.mode;
}
