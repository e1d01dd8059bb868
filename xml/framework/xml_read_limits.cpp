// The attribute gate in front of the well-formedness scanner and the
// parser's bounded memory.
#include "xml/framework/xml_read_limits.h"

#include "btk_quoted.h"
#include "xml/framework/xml_element.h"

#include <xercesc/util/OutOfMemoryException.hpp>
#include <xercesc/util/PlatformUtils.hpp>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cstring>

namespace xc = XERCES_CPP_NAMESPACE;

size_t IntfXmlGrownCapacity(size_t capacity, size_t need, size_t limit) {
    if (need > limit)
        return 0;
    size_t doubled = std::max<size_t>(2 * capacity, 256);
    if (doubled > limit / 3 * 2)
        doubled = std::max(doubled, limit);
    return std::max(need, std::min(doubled, limit));
}

void IntfXmlTooManyAttributes() {
    IntfXmlThrow(INTFXML_ERR_MALFORMED, "an element has more than %d attributes",
                 INTFXML_MAX_ATTRIBUTES);
}

void IntfXmlAttributeTooLong(const std::string& attribute, const std::string& element,
                             size_t limit) {
    // Names as the document holds them (the gate's are its first bytes, in
    // the document's encoding): quoted on the line's one line.
    IntfXmlThrow(INTFXML_ERR_MALFORMED, "attribute %s of element %s is longer than %zu bytes",
                 btkQuotedCut(attribute).c_str(), btkQuotedCut(element).c_str(), limit);
}

void IntfXmlSectionTooLong(size_t limit) {
    IntfXmlThrow(INTFXML_ERR_MALFORMED,
                 "a comment, processing instruction or data section is longer than %zu bytes",
                 limit);
}

// ---- attributes per start tag ------------------------------------------------------------

namespace {
constexpr size_t kNone = size_t(-1);
constexpr size_t kShortTag = 4 * size_t(INTFXML_MAX_ATTRIBUTES);
} // namespace

IntfXmlAttributeGate::IntfXmlAttributeGate()
    : maxValue_(IntfXmlMaxAttributeBytes()), maxSection_(IntfXmlMaxAttributeBytes()) {}

size_t IntfXmlAttributeGate::Feed(const unsigned char* b, size_t n) {
    size_t pos = state_ == State::Idle ? 0 : Run(b, 0, n);
    size_t prev = kNone; // the last "<" met, its segment still open
    // Every "<" from pos on until one calls for the state machine; the
    // search then goes on from where the markup ended.
    while (pos < n && !refused_) {
        const size_t lt = Find(b, pos, n, prev);
        if (lt == kNone)
            break;
        pos = Start(b, lt, n);
        prev = kNone;
    }
    // The segment of the last "<" goes on beyond these bytes.
    if (prev != kNone && state_ == State::Idle && !refused_)
        Start(b, prev, n);
    return refused_ ? heldBack_ : n;
}

void IntfXmlAttributeGate::ThrowRefusal() const {
    if (reason_ == Reason::LongValue)
        IntfXmlAttributeTooLong(std::string(attr_, attrLen_), std::string(element_, elementLen_),
                                maxValue_);
    if (reason_ == Reason::LongSection)
        IntfXmlSectionTooLong(maxSection_);
    IntfXmlTooManyAttributes();
}

// The first "<" from pos on whose markup the state machine must follow:
// one that begins a comment, data section or instruction ("<!", "<?"),
// or one (prev, the last before) followed by no other "<" for kShortTag
// bytes; kNone when there is none before n. prev is the last "<" met.
size_t IntfXmlAttributeGate::Find(const unsigned char* b, size_t pos, size_t n, size_t& prev) {
    // 16 bytes from blk: kNone to go on, else where the machine starts.
    auto block = [&](size_t blk) {
        unsigned special = 0;
        const unsigned m = LtMask(b, blk, n, special);
        if (!m)
            return kNone;
        const size_t first = blk + size_t(__builtin_ctz(m));
        if (prev != kNone && first - prev >= kShortTag)
            return prev; // the markup at prev may be long: counted in full
        if (special)
            return blk + size_t(__builtin_ctz(special));
        prev = blk + 31 - size_t(__builtin_clz(m));
        return kNone;
    };
    size_t blk = pos;
    while (blk < n) {
#if defined(__SSE2__)
        // 64 bytes at once when they hold no "!" or "?" (the rule), nor
        // does the byte after them follow a "<": then only the first "<"
        // of them can be far from the one before.
        if (blk + 65 <= n) {
            const __m128i lt = _mm_set1_epi8('<'), bang = _mm_set1_epi8('!'),
                          query = _mm_set1_epi8('?');
            __m128i marks = _mm_setzero_si128();
            uint64_t m = 0;
            for (int k = 0; k < 4; ++k) {
                const __m128i v =
                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + blk + 16 * k));
                marks = _mm_or_si128(marks, _mm_or_si128(_mm_cmpeq_epi8(v, bang),
                                                         _mm_cmpeq_epi8(v, query)));
                m |= uint64_t(unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(v, lt)))) << (16 * k);
            }
            const bool lastLt = (m >> 63) != 0;
            if (_mm_movemask_epi8(marks) == 0 &&
                !(lastLt && (b[blk + 64] == '!' || b[blk + 64] == '?'))) {
                if (m) {
                    const size_t first = blk + size_t(__builtin_ctzll(m));
                    if (prev != kNone && first - prev >= kShortTag)
                        return prev;
                    prev = blk + 63 - size_t(__builtin_clzll(m));
                }
                blk += 64;
                continue;
            }
            for (const size_t end = blk + 64; blk < end; blk += 16)
                if (const size_t at = block(blk); at != kNone)
                    return at;
            continue;
        }
#endif
        if (const size_t at = block(blk); at != kNone)
            return at;
        blk += 16;
    }
    return kNone;
}

// Bit k set where b[blk + k] is "<", for the up to 16 bytes from blk;
// in `special` where that "<" is followed by "!" or "?" (a comment, a
// data section, an instruction).
unsigned IntfXmlAttributeGate::LtMask(const unsigned char* b, size_t blk, size_t n,
                                      unsigned& special) {
#if defined(__SSE2__)
    if (blk + 17 <= n) {
        const unsigned m = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + blk)), _mm_set1_epi8('<'))));
        if (m) {
            const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + blk + 1));
            special = m & unsigned(_mm_movemask_epi8(
                              _mm_or_si128(_mm_cmpeq_epi8(next, _mm_set1_epi8('!')),
                                           _mm_cmpeq_epi8(next, _mm_set1_epi8('?')))));
        }
        return m;
    }
#endif
    unsigned m = 0;
    for (size_t k = 0; k < 16 && blk + k < n; ++k)
        if (b[blk + k] == '<') {
            m |= 1u << k;
            if (blk + k + 1 < n && (b[blk + k + 1] == '!' || b[blk + k + 1] == '?'))
                special |= 1u << k;
        }
    return m;
}

size_t IntfXmlAttributeGate::Start(const unsigned char* b, size_t lt, size_t n) {
    state_ = State::AfterLt;
    return Run(b, lt + 1, n);
}

// Runs the state machine from b[i]; returns where the markup ended (the
// state is then Idle), or n.
size_t IntfXmlAttributeGate::Run(const unsigned char* b, size_t i, size_t n) {
    while (i < n) {
        const unsigned char c = b[i++];
        switch (state_) {
        case State::Idle:
            return i - 1;
        case State::AfterLt:
            if (c == '/') {
                state_ = State::EndTag;
            } else if (c == '?') {
                Until("?>");
            } else if (c == '!') {
                state_ = State::AfterBang;
            } else {
                state_ = State::Tag;
                counting_ = true;
                count_ = 0;
                quote_ = 0;
                elementLen_ = attrLen_ = 0;
                inName_ = true;
                Keep(element_, elementLen_, c);
            }
            break;
        case State::AfterBang:
            if (c == '-') {
                state_ = State::AfterDash;
            } else if (c == '[') {
                Until("]]>", 6); // "CDATA[" before the section's text
            } else {
                state_ = State::Tag; // a declaration: not well-formed here
                counting_ = false;
                quote_ = 0;
            }
            break;
        case State::AfterDash:
            if (c == '-') {
                Until("-->");
            } else {
                state_ = State::Tag;
                counting_ = false;
                quote_ = 0;
            }
            break;
        case State::Tag:
            if (quote_) {
                const size_t from = i - 1;
                const void* end = std::memchr(b + from, quote_, n - from);
                const size_t upto =
                    end ? size_t(static_cast<const unsigned char*>(end) - b) : n;
                if (counting_) {
                    if (upto - from > maxValue_ - valueLen_) {
                        reason_ = Reason::LongValue;
                        Refuse(from + (maxValue_ - valueLen_));
                        return n;
                    }
                    valueLen_ += upto - from;
                }
                if (!end)
                    return n;
                i = upto + 1;
                quote_ = 0;
            } else if (c == '"' || c == '\'') {
                quote_ = c;
                valueLen_ = 0;
                inName_ = false;
            } else if (counting_ && c != '=' && c != '>' && c != '/') {
                // The element's name, then each attribute's.
                if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
                    inName_ = false;
                    attrStart_ = true;
                } else if (inName_) {
                    Keep(element_, elementLen_, c);
                } else {
                    if (attrStart_)
                        attrLen_ = 0;
                    attrStart_ = false;
                    Keep(attr_, attrLen_, c);
                }
            } else if (c == '>') {
                state_ = State::Idle;
                return i;
            } else if (c == '=' && counting_ && ++count_ > INTFXML_MAX_ATTRIBUTES) {
                Refuse(i - 1);
                return n;
            }
            break;
        case State::EndTag: {
            const void* end = std::memchr(b + i - 1, '>', n - (i - 1));
            if (!end)
                return n;
            state_ = State::Idle;
            return size_t(static_cast<const unsigned char*>(end) - b) + 1;
        }
        case State::Until:
            if (++runLen_ > maxSection_ + runSkip_) {
                reason_ = Reason::LongSection;
                Refuse(i - 1);
                return n;
            }
            if (c == until_[matched_]) {
                if (until_[++matched_] == '\0') {
                    state_ = State::Idle;
                    return i;
                }
            } else if (c == until_[0]) {
                // "--" and "]]" stay matched when a third "-" or "]" follows.
                matched_ = (matched_ == 2 && until_[1] == until_[0]) ? 2 : 1;
            } else {
                matched_ = 0;
            }
            break;
        }
    }
    return n;
}

// `skip`: bytes before the text, which the limit does not count (nor
// the end's).
void IntfXmlAttributeGate::Until(const char* end, size_t skip) {
    state_ = State::Until;
    until_ = end;
    matched_ = 0;
    runLen_ = 0;
    runSkip_ = skip + std::strlen(end);
}

// Keeps the first bytes of a name for the refusal's message.
void IntfXmlAttributeGate::Keep(char* to, size_t& length, unsigned char c) {
    if (length < kNameBytes)
        to[length++] = char(c);
}

void IntfXmlAttributeGate::Refuse(size_t at) {
    refused_ = true;
    heldBack_ = at;
}

// ---- memory of the parser ----------------------------------------------------------------

IntfXmlBoundedMemory::IntfXmlBoundedMemory()
    : largest_(4 * IntfXmlMaxAttributeBytes() +
               4 * std::min<size_t>(IntfXmlMaxTextBytes(), size_t(4) << 20)) {}

xc::MemoryManager* IntfXmlBoundedMemory::getExceptionMemoryManager() {
    return xc::XMLPlatformUtils::fgMemoryManager;
}

void* IntfXmlBoundedMemory::allocate(XMLSize_t size) {
    if (size > largest_ && !refused_) {
        refused_ = true;
        where_ = IntfXmlParsePosition();
        throw xc::OutOfMemoryException();
    }
    return ::operator new(size);
}

void IntfXmlBoundedMemory::deallocate(void* p) { ::operator delete(p); }
