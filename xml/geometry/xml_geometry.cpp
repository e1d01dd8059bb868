// Geometric value elements.
#include "xml/geometry/xml_geometry.h"

#include "kernel/records/qel_check.h"
#include "xmemory.h"

#include <algorithm>
#include <cstring>

namespace {

const char* Or(const char* name, const char* fallback) { return name ? name : fallback; }

// First reservation of an item list: what the "size" claims, but never
// more than this before the items have really arrived.
constexpr int32_t kFirstReservation = 1024;

// A text-valued child: only directly inside the element, with a known name.
void ExpectTextChild(const char* child, const char* self, bool namesEmpty) {
    if (!namesEmpty)
        IntfXmlThrowUnexpected(child, self);
}

// New xar array able to take `count` items without asking for more than the
// first reservation up front; its element count starts at 0.
template <class T> T* NewItemArray(int32_t count) {
    void* arr = xar_alloc(std::min(count, kFirstReservation), int(sizeof(T)), 16);
    if (!arr)
        IntfXmlThrowStatus(-10, "xar_alloc");
    xar_resize(&arr, 0);
    return static_cast<T*>(arr);
}

template <class T> void AppendItem(T*& arr, const T& item) {
    if (xar_append(arr, 1, &item) != 0)
        IntfXmlThrowStatus(-10, "xar_append");
}

} // namespace

void IntfXmlCheckArray(const void* array, int64_t count, size_t itemSize, const char* what,
                       bool paged) {
    if (count < 0)
        IntfXmlThrow(INTFXML_ERR_RECORD, "%s: negative count %lld", what, (long long)count);
    if (count == 0)
        return;
    if (!array)
        IntfXmlThrow(INTFXML_ERR_RECORD, "%s: %lld items claimed, no array", what,
                     (long long)count);
    // Records keep their arrays as xar arrays (or as har arrays of the same
    // item size, which hold their entries in pages).
    if (har_entry_size(array) != 0) {
        if (!paged)
            IntfXmlThrow(INTFXML_ERR_RECORD, "%s: an array in pages where one block belongs",
                         what);
        if (size_t(har_entry_size(array)) != itemSize || har_total(array) < count)
            IntfXmlThrow(INTFXML_ERR_RECORD, "%s: %lld items claimed, the array holds %d", what,
                         (long long)count, har_total(array));
        return;
    }
    if (size_t(xar_elem_size(array)) != itemSize || xar_count(array) < count)
        IntfXmlThrow(INTFXML_ERR_RECORD, "%s: %lld items claimed, the array holds %d", what,
                     (long long)count, xar_count(array));
}

// ---- point, vector, UV parameter -------------------------------------------------

IntfXmlQel3dPnt::IntfXmlQel3dPnt(const double* xyz, const char* name) { Write(xyz, name); }

IntfXmlQel3dPnt::IntfXmlQel3dPnt(IntfXmlElement* parent) : IntfXmlElement(parent) {}

IntfXmlElement* IntfXmlQel3dPnt::startElement(const char* name, IntfXmlAttributes&) {
    IntfXmlThrowUnexpected(name, "Qel3dPnt");
}

IntfXmlElement* IntfXmlQel3dPnt::endElement(const char* name) {
    ParseXyz(text_, xyz_, name);
    return parent_;
}

void IntfXmlQel3dPnt::ParseXyz(std::string_view text, double* xyz, const char* element) {
    IntfXmlParseXyz(text, xyz, element);
}

IntfXmlQelVector::IntfXmlQelVector(const double* xyz, const char* name) { Write(xyz, name); }

IntfXmlQelUvParam::IntfXmlQelUvParam(const double* uv, const char* name) { Write(uv, name); }

IntfXmlQelUvParam::IntfXmlQelUvParam(IntfXmlElement* parent) : IntfXmlElement(parent) {}

IntfXmlElement* IntfXmlQelUvParam::startElement(const char* name, IntfXmlAttributes&) {
    IntfXmlThrowUnexpected(name, "QelUvParam");
}

IntfXmlElement* IntfXmlQelUvParam::endElement(const char* name) {
    IntfXmlWords w(text_, name);
    double u = w.NextDouble();
    double v = w.NextDouble();
    w.PassOverRest(2);
    uv_[0] = u;
    uv_[1] = v;
    return parent_;
}

// ---- outline and coordinate system ---------------------------------------------------

IntfXmlOutline::IntfXmlOutline(const double* outline6) {
    StartElement("Outline");
    IntfXmlQel3dPnt::Write(outline6, "MinPoint");
    IntfXmlQel3dPnt::Write(outline6 + 3, "MaxPoint");
    EndElement();
}

IntfXmlOutline::IntfXmlOutline(IntfXmlElement* parent) : IntfXmlElement(parent) {}

IntfXmlElement* IntfXmlOutline::startElement(const char* name, IntfXmlAttributes&) {
    ExpectTextChild(name, "Outline", NamesEmpty());
    if (IntfXmlIsName(name, "MinPoint"))
        return TakeValue(0);
    if (IntfXmlIsName(name, "MaxPoint"))
        return TakeValue(1);
    IntfXmlThrowUnexpected(name, "Outline");
}

void IntfXmlOutline::EndValue(int slot, std::string_view text, const char*) {
    const char* child = slot == 0 ? "MinPoint" : "MaxPoint";
    IntfXmlParseXyz(text, outline_ + 3 * slot, child);
    IntfXmlSeeOnce(seen_, 1u << slot, child, "Outline");
}

IntfXmlElement* IntfXmlOutline::endElement(const char*) {
    if (!(seen_ & 1))
        IntfXmlThrowMissing("MinPoint", "Outline");
    if (!(seen_ & 2))
        IntfXmlThrowMissing("MaxPoint", "Outline");
    return parent_;
}

IntfXmlCsys::IntfXmlCsys(const double* x, const double* y, const double* z, const double* o,
                         const char* name) { Write(x, y, z, o, name); }

void IntfXmlCsys::Write(const double* x, const double* y, const double* z, const double* o,
                        const char* name) {
    StartElement(Or(name, "Csys"));
    IntfXmlQelVector::Write(x, "X");
    IntfXmlQelVector::Write(y, "Y");
    IntfXmlQelVector::Write(z, "Z");
    IntfXmlQel3dPnt::Write(o, "O");
    EndElement();
}

IntfXmlCsys::IntfXmlCsys(const QelFrame& frame, const char* name)
    : IntfXmlCsys(frame.e1, frame.e2, frame.e3, frame.origin, name) {}

IntfXmlCsys::IntfXmlCsys(IntfXmlElement* parent) : IntfXmlElement(parent) {}

namespace {
int CsysAxis(const char* name) {
    if (name[0] != '\0' && name[1] == '\0') {
        switch (name[0]) {
        case 'X': return 0;
        case 'Y': return 1;
        case 'Z': return 2;
        case 'O': return 3;
        }
    }
    return -1;
}
} // namespace

int IntfXmlCsysValues::Slot(const char* name, bool inValue) {
    ExpectTextChild(name, "Csys", !inValue);
    const int axis = CsysAxis(name);
    if (axis < 0)
        IntfXmlThrowUnexpected(name, "Csys");
    return axis;
}

void IntfXmlCsysValues::Store(int axis, std::string_view text, const char* name) {
    double* dst = axis == 0 ? frame.e1 : axis == 1 ? frame.e2 : axis == 2 ? frame.e3
                                                                       : frame.origin;
    IntfXmlParseXyz(text, dst, name);
    IntfXmlSeeOnce(seen, 1u << axis, name, "Csys");
}

void IntfXmlCsysValues::Finish() const {
    static const char* const kNames[] = {"X", "Y", "Z", "O"};
    for (int i = 0; i < 4; ++i)
        if (!(seen & (1u << i)))
            IntfXmlThrowMissing(kNames[i], "Csys");
}

IntfXmlElement* IntfXmlCsys::startElement(const char* name, IntfXmlAttributes&) {
    return TakeValue(IntfXmlCsysValues::Slot(name, !NamesEmpty()));
}

void IntfXmlCsys::EndValue(int axis, std::string_view text, const char* name) {
    values_.Store(axis, text, name);
}

IntfXmlElement* IntfXmlCsys::endElement(const char*) {
    values_.Finish();
    return parent_;
}

// ---- UV parameter list ------------------------------------------------------------------

IntfXmlUVParams::IntfXmlUVParams(const QelUvSample* items, int32_t count, const char* name) { Write(items, count, name); }

void IntfXmlUVParams::Write(const QelUvSample* items, int32_t count, const char* name) {
    StartElement(Or(name, "UVParams"));
    AddAttribute("size", count);
    for (int32_t i = 0; i < count; ++i)
        AddDoublesElement("SrfPoint", &items[i].uv1[0], 4);
    EndElement();
}

IntfXmlUVParams::IntfXmlUVParams(IntfXmlElement* parent, int32_t count)
    : IntfXmlElement(parent), count_(count) {
    if (count < 0)
        IntfXmlThrow(INTFXML_ERR_MALFORMED, "UVParams: negative size %d", count);
    items_ = NewItemArray<QelUvSample>(count);
}

IntfXmlUVParams::~IntfXmlUVParams() { xar_free(items_); }

IntfXmlElement* IntfXmlUVParams::startElement(const char* name, IntfXmlAttributes&) {
    // Items may bear any name; they hold only text.
    ExpectTextChild(name, "UVParams", NamesEmpty());
    if (next_ >= count_)
        IntfXmlThrow(INTFXML_ERR_MALFORMED, "UVParams: more items than its size %d", count_);
    return TakeValue(0);
}

void IntfXmlUVParams::EndValue(int, std::string_view text, const char* name) {
    QelUvSample item;
    IntfXmlWords w(text, name);
    item.uv1[0] = w.NextDouble();
    item.uv1[1] = w.NextDouble();
    item.uv2[0] = w.NextDouble();
    item.uv2[1] = w.NextDouble();
    w.PassOverRest(4);
    AppendItem(items_, item);
    ++next_;
}

IntfXmlElement* IntfXmlUVParams::endElement(const char*) {
    if (next_ != count_)
        IntfXmlThrow(INTFXML_ERR_MALFORMED, "UVParams: %d items where its size says %d", next_,
                     count_);
    return parent_;
}

QelUvSample* IntfXmlUVParams::TakeArray() {
    QelUvSample* a = items_;
    items_ = nullptr;
    return a;
}

// ---- point and vector lists ---------------------------------------------------------------

IntfXmlQelPntList::IntfXmlQelPntList(const QelPoint* points, int32_t count, const char* name)
    : IntfXmlQelPntList(points, count, name, "QelPntList", "P") {}

IntfXmlQelPntList::IntfXmlQelPntList(const QelPoint* points, int32_t count, const char* name,
                                     const char* defaultName, const char* itemName) {
    StartElement(Or(name, defaultName));
    AddAttribute("size", count);
    for (int32_t i = 0; i < count; ++i)
        AddDoublesElement(itemName, points[i].xyz, 3);
    EndElement();
}

IntfXmlPointItems::~IntfXmlPointItems() { xar_free(items_); }

void IntfXmlPointItems::Start(int32_t count, const char* what) {
    what_ = what;
    if (count < 0)
        IntfXmlThrow(INTFXML_ERR_MALFORMED, "point list: negative size %d", count);
    count_ = count;
    next_ = 0;
    xar_free(items_);
    items_ = NewItemArray<QelPoint>(count);
}

void IntfXmlPointItems::CheckItem(const char* name, bool inValue) const {
    ExpectTextChild(name, what_, !inValue);
    if (next_ >= count_)
        IntfXmlThrow(INTFXML_ERR_MALFORMED, "%s: more items than its size %d", what_, count_);
}

void IntfXmlPointItems::Add(std::string_view text, const char* name) {
    QelPoint p;
    IntfXmlParseXyz(text, p.xyz, name);
    AppendItem(items_, p);
    ++next_;
}

void IntfXmlPointItems::Finish() const {
    if (next_ != count_)
        IntfXmlThrow(INTFXML_ERR_MALFORMED, "%s: %d items where its size says %d", what_, next_,
                     count_);
}

QelPoint* IntfXmlPointItems::Take() {
    QelPoint* a = items_;
    items_ = nullptr;
    return a;
}

IntfXmlQelPntList::IntfXmlQelPntList(IntfXmlElement* parent, int32_t count)
    : IntfXmlQelPntList(parent, count, ListName{"QelPntList"}) {}

IntfXmlQelPntList::IntfXmlQelPntList(IntfXmlElement* parent, int32_t count, ListName name)
    : IntfXmlElement(parent) {
    items_.Start(count, name.what);
}

IntfXmlQelPntList::~IntfXmlQelPntList() = default;

IntfXmlElement* IntfXmlQelPntList::startElement(const char* name, IntfXmlAttributes&) {
    items_.CheckItem(name, !NamesEmpty());
    return TakeValue(0);
}

void IntfXmlQelPntList::EndValue(int, std::string_view text, const char* name) {
    items_.Add(text, name);
}

IntfXmlElement* IntfXmlQelPntList::endElement(const char*) {
    items_.Finish();
    return parent_;
}

IntfXmlQelVectorList::IntfXmlQelVectorList(const QelPoint* vectors, int32_t count,
                                           const char* name)
    : IntfXmlQelPntList(vectors, count, name, "QelVectorList", "V") {}

IntfXmlQelVectorList::IntfXmlQelVectorList(IntfXmlElement* parent, int32_t count)
    : IntfXmlQelPntList(parent, count, ListName{"QelVectorList"}) {}

// ---- sequences ------------------------------------------------------------------------------

namespace {

// Words 0 to count - 1 are the values (further words are not read, and
// that is told); the array is made only after the text has shown that they
// really are there.
template <class T, class Conv>
T* ReadSequence(std::string_view text, int32_t count, const char* element, Conv conv,
                const std::function<std::string()>& item = nullptr) {
    IntfXmlWords w(text, element);
    size_t words = w.CountRemaining();
    if (words < size_t(count))
        IntfXmlThrow(INTFXML_ERR_MALFORMED, "\"%s\" holds %zu values where its size says %d",
                     element, words, count);
    void* arr = xar_alloc(count, int(sizeof(T)), 4);
    if (!arr)
        IntfXmlThrowStatus(-10, "xar_alloc");
    T* values = static_cast<T*>(arr);
    try {
        for (int32_t i = 0; i < count; ++i)
            values[i] = conv(w);
    } catch (...) {
        xar_free(values);
        throw;
    }
    if (words > size_t(count))
        IntfXmlTellValuesPast(element, words, size_t(count), true, item);
    return values;
}

double NextDouble(IntfXmlWords& w) { return w.NextDouble(); }
int32_t NextInt(IntfXmlWords& w) { return w.NextInt(); }

} // namespace

double* IntfXmlReadRealSeq(std::string_view text, int32_t count, const char* element) {
    return ReadSequence<double>(text, count, element, NextDouble);
}

int32_t* IntfXmlReadIntSeq(std::string_view text, int32_t count, const char* element,
                           const std::function<std::string()>& item) {
    return ReadSequence<int32_t>(text, count, element, NextInt, item);
}

IntfXmlQelIntSeq::IntfXmlQelIntSeq(const int32_t* values, int32_t count, const char* name) { Write(values, count, name); }

void IntfXmlQelIntSeq::Write(const int32_t* values, int32_t count, const char* name) {
    IntfXmlWriter::Current().SequenceElement(Or(name, "QelIntSeq"), values, count, 64);
}

IntfXmlQelIntSeq::IntfXmlQelIntSeq(IntfXmlElement* parent, int32_t count)
    : IntfXmlElement(parent), count_(count) {
    if (count < 0)
        IntfXmlThrow(INTFXML_ERR_MALFORMED, "integer sequence: negative size %d", count);
}

IntfXmlQelIntSeq::~IntfXmlQelIntSeq() { xar_free(values_); }

IntfXmlElement* IntfXmlQelIntSeq::startElement(const char* name, IntfXmlAttributes&) {
    IntfXmlThrowUnexpected(name, "QelIntSeq");
}

IntfXmlElement* IntfXmlQelIntSeq::endElement(const char* name) {
    xar_free(values_);
    values_ = ReadSequence<int32_t>(text_, count_, name, NextInt);
    return parent_;
}

int32_t* IntfXmlQelIntSeq::TakeArray() {
    int32_t* a = values_;
    values_ = nullptr;
    return a;
}

void IntfXmlCheckWeights(const double* weights, int32_t count, const char* element) {
    const std::string why = qel_weights_fault(nullptr, weights, count);
    if (!why.empty())
        IntfXmlThrow(INTFXML_ERR_MALFORMED, "\"%s\": %s", element, why.c_str());
}

void IntfXmlCheckWeightedPoints(const QelPoint* points, const double* weights, int32_t count,
                                const char* element) {
    if (!weights)
        return;
    const std::string why = qel_weights_fault(points, weights, count);
    if (!why.empty())
        IntfXmlThrow(INTFXML_ERR_MALFORMED, "\"%s\": %s", element, why.c_str());
}

IntfXmlQelRealSeq::IntfXmlQelRealSeq(const double* values, int32_t count, const char* name) { Write(values, count, name); }

void IntfXmlQelRealSeq::Write(const double* values, int32_t count, const char* name) {
    IntfXmlWriter::Current().SequenceElement(Or(name, "QelRealSeq"), values, count, 16);
}

IntfXmlQelRealSeq::IntfXmlQelRealSeq(IntfXmlElement* parent, int32_t count)
    : IntfXmlElement(parent), count_(count) {
    if (count < 0)
        IntfXmlThrow(INTFXML_ERR_MALFORMED, "real sequence: negative size %d", count);
}

IntfXmlQelRealSeq::~IntfXmlQelRealSeq() { xar_free(values_); }

IntfXmlElement* IntfXmlQelRealSeq::startElement(const char* name, IntfXmlAttributes&) {
    IntfXmlThrowUnexpected(name, "QelRealSeq");
}

IntfXmlElement* IntfXmlQelRealSeq::endElement(const char* name) {
    xar_free(values_);
    values_ = ReadSequence<double>(text_, count_, name, NextDouble);
    return parent_;
}

double* IntfXmlQelRealSeq::TakeArray() {
    double* a = values_;
    values_ = nullptr;
    return a;
}
