#include "xexcept.h"

XRTTI_DEFINE(xthrowable, "KBase::throwable", xobject)
XRTTI_DEFINE(KXException, "KBase::XException", xthrowable)
XRTTI_DEFINE(KXKernelError, "KBase::XKernelError", KXException)
XRTTI_DEFINE(KXSimple, "KBase::XSimple", KXKernelError)
XRTTI_DEFINE(KXInvalidState, "KBase::XInvalidState", KXException)
XRTTI_DEFINE(KXInvalidArg, "KBase::XInvalidArg", KXException)
XRTTI_DEFINE(cipXTypeMismatch, "KBase::XTypeMismatch", xthrowable)
XRTTI_DEFINE(cipXIndexError, "KBase::XIndexError", xthrowable)

namespace {
std::string describe(xthrowable* t) {
    if (!t)
        return "null exception";
    const xrttiobject* type = t->giveRtti();
    std::string text = type ? type->name() : "exception";
    if (KXKernelError* k = KXKernelError::softcast(t)) {
        text += " status " + std::to_string(k->GetStatus());
        const std::string reason = KXSimpleReason(t);
        if (!reason.empty())
            text += ": " + reason;
    } else if (KXInvalidArg* a = KXInvalidArg::softcast(t)) {
        text += " argument " + std::to_string(a->GetArgIndex()) + " code " +
                std::to_string(a->GetCode());
    } else if (cipXTypeMismatch* m = cipXTypeMismatch::softcast(t)) {
        text += std::string(" expected ") + m->GetExpectedType();
    } else if (cipXIndexError* e = cipXIndexError::softcast(t)) {
        text += " index " + std::to_string(e->GetIndex());
    }
    return text;
}
} // namespace

xthrown::xthrown(xthrowable* thrown) : thrown_(thrown), what_(describe(thrown)) {}
xthrown::~xthrown() = default;

void xthrow(xthrowable* thrown) { throw xthrown(thrown); }

void ThrowSimple(int status) { xthrow(new KXSimple_i(status)); }
void ThrowSimple(int status, const std::string& reason) {
    xthrow(new KXSimple_i(status, reason));
}

std::string KXSimpleReason(xobject* thrown) {
    KXException* exception = thrown ? KXException::softcast(thrown) : nullptr;
    if (!exception)
        return {};
    // A journal wrapper answers the implementation it wraps.
    KCommon_i* impl = exception->_CastToImpl();
    if (impl && impl->IsJournalWrapper())
        impl = static_cast<KCommon_j*>(impl)->GetImpl();
    const KXSimple_i* simple = dynamic_cast<const KXSimple_i*>(impl);
    return simple ? simple->GetReason() : std::string();
}
void ThrowInvalidArg(int index, int code) { xthrow(new KXInvalidArg_i(index, code)); }
void KXInvalidArg_i::Throw(int index, int code) { ThrowInvalidArg(index, code); }
void ThrowInvalidState(int state) { xthrow(new KXInvalidState_i(state)); }

cipXTypeMismatch::cipXTypeMismatch(const char* expected, const xany& value)
    : expected_(expected ? expected : ""), value_(value) {}

void cipXTypeMismatch::Throw(const char* expected, xany value) {
    xthrow(new cipXTypeMismatch(expected, value));
}

void ciphThrowNegativeIndex(int index) {
    xthrow(new cipXIndexError(cipXIndexError::Negative, nullptr, 0, index));
}
void ciphThrowInvalidSeqIndex(xobject* sequence, int index) {
    xthrow(new cipXIndexError(cipXIndexError::SequenceIndex, sequence, 0, index));
}
void ciphThrowInvalidArrayIndex(xobject* object, int array, int index) {
    xthrow(new cipXIndexError(cipXIndexError::ArrayIndex, object, array, index));
}
