// Faceted representations.
#include "xml/intfdata/xml_facets.h"

#include "xml/geometry/xml_geometry.h"
#include "xml/framework/xml_records.h"

#include <cstring>

using namespace intfxml;

namespace {

enum : unsigned {
    kSeenXyz = 1,
    kSeenNormal = 2,
    kSeenUv = 4,
    kSeenVtx = 8,
    kSeenVtxdata = 16,
    kSeenFacet = 32,
};

// Marks a text child as seen; a child met twice is an error.
void See(unsigned& seen, unsigned bit, const char* name, const char* element) {
    if (seen & bit)
        IntfXmlThrow(INTFXML_ERR_MALFORMED, "\"%s\" appears twice in \"%s\"", name, element);
    seen |= bit;
}

void RequireSeen(unsigned seen, unsigned bit, const char* name, const char* element) {
    if (!(seen & bit))
        IntfXmlThrowMissing(name, element);
}

void ParseTriple(std::string_view text, uint32_t* out, const char* element) {
    IntfXmlWords words(text, element);
    int32_t v[3];
    for (int32_t& x : v)
        x = words.NextInt();
    words.PassOverRest(3);
    for (int i = 0; i < 3; ++i)
        out[i] = uint32_t(v[i]);
}

void WriteTriple(const char* name, const uint32_t* v) {
    btkString text;
    AppendIntTriple(int32_t(v[0]), int32_t(v[1]), int32_t(v[2]), text);
    IntfXmlWriting::AddTextElement(name, text.c_str());
}

// The record pointers of a list, each checked before the list is written.
template <class Rec, class W> void WriteRecords(const void* list, int n, const char* what) {
    for (int i = 0; i < n; ++i) {
        Rec* const* slot = HarEntry<Rec* const>(list, i);
        if (!*slot)
            IntfXmlThrow(INTFXML_ERR_RECORD, "%s hold no record at index %d", what, i);
        W{*slot};
    }
}

} // namespace

void IntfXmlFreeRecordList(void*& list) {
    if (!list)
        return;
    const int n = har_total(list);
    for (int i = 0; i < n; ++i)
        rlsmem(*HarEntry<void*>(list, i));
    har_free(&list);
}

// ---- representations ---------------------------------------------------------------------

IntfXmlFacetedReps::IntfXmlFacetedReps(const void* reps, const char* name) {
    const int n = HarCount(reps, sizeof(QelFacetedRepdata), "the faceted representations");
    StartElement(name ? name : "FacetedReps");
    AddAttribute("size", int32_t(n));
    for (int i = 0; i < n; ++i)
        IntfXmlFacetedRep{HarEntry<const QelFacetedRepdata>(reps, i)};
    EndElement();
}

IntfXmlFacetedReps::IntfXmlFacetedReps(IntfXmlQelIntfDataExtend* parent, int32_t count)
    : IntfXmlExtListReader(parent, IntfXmlExtList::FacetedReps, count, "FacetedReps",
                           "FacetedRep") {
    array_ = NewHar(sizeof(QelFacetedRepdata), 100);
}

IntfXmlElement* IntfXmlFacetedReps::startElement(const char* name, IntfXmlAttributes& attrs) {
    auto* rep = static_cast<QelFacetedRepdata*>(AppendHarEntry(name));
    rep->id = GetIntegerAttribValue("id", &attrs, 0);
    // An item reader of a list reader: the SAX handler disposes of it at its
    // end tag, so no pointer to it is kept.
    return MakeChild<IntfXmlFacetedRep>(rep);
}

IntfXmlElement* IntfXmlFacetedReps::endElement(const char*) { return Finish(har_total(array_)); }

IntfXmlFacetedRep::IntfXmlFacetedRep(const QelFacetedRepdata* rep, const char* name) {
    StartElement(name ? name : "FacetedRep");
    AddAttribute("id", rep->id);
    IntfXmlFacetVertices{rep->vertices};
    if (rep->vtxdata)
        IntfXmlFacetVtxdataArr{rep->vtxdata};
    if (rep->facets)
        IntfXmlFacetdataArr{rep->facets};
    IntfXmlOutline{rep->outline};
    EndElement();
}

IntfXmlFacetedRep::IntfXmlFacetedRep(IntfXmlFacetedReps* parent, QelFacetedRepdata* entry)
    : IntfXmlElement(parent), entry_(entry) {}

IntfXmlElement* IntfXmlFacetedRep::startElement(const char* name, IntfXmlAttributes& attrs) {
    if (std::strcmp(name, "FacetVertices") == 0) {
        CheckOnce(vertices_, name, "FacetedRep");
        return vertices_ = MakeChild<IntfXmlFacetVertices>(IntfXmlRequireSize(attrs, name));
    }
    if (std::strcmp(name, "FacetVtxdataArr") == 0) {
        CheckOnce(vtxdata_, name, "FacetedRep");
        return vtxdata_ = MakeChild<IntfXmlFacetVtxdataArr>(IntfXmlRequireSize(attrs, name));
    }
    if (std::strcmp(name, "FacetdataArr") == 0) {
        CheckOnce(facets_, name, "FacetedRep");
        return facets_ = MakeChild<IntfXmlFacetdataArr>(IntfXmlRequireSize(attrs, name));
    }
    if (std::strcmp(name, "Outline") == 0) {
        CheckOnce(outline_, name, "FacetedRep");
        return outline_ = MakeChild<IntfXmlOutline>();
    }
    IntfXmlThrowUnexpected(name, "FacetedRep");
}

IntfXmlElement* IntfXmlFacetedRep::endElement(const char*) {
    // The entry belongs to the list's array, which frees what it holds;
    // lists that did not come leave their fields as they are.
    if (outline_)
        std::memcpy(entry_->outline, outline_->GetOutline(), sizeof entry_->outline);
    else // the entry starts zeroed
        IntfXmlTellMissingChild("FacetedRep", "Outline", "0 0 0 and 0 0 0");
    IntfXmlFacetList* lists[3] = {vertices_, vtxdata_, facets_};
    void** fields[3] = {&entry_->vertices, &entry_->vtxdata, &entry_->facets};
    for (int i = 0; i < 3; ++i) {
        if (!lists[i])
            continue;
        void* records = lists[i]->TakeArray();
        if (records) {
            IntfXmlFreeRecordList(*fields[i]);
            *fields[i] = records;
        }
    }
    return Parent();
}

// ---- element lists -------------------------------------------------------------------------

IntfXmlFacetList::IntfXmlFacetList(IntfXmlElement* parent, int32_t count, const char* element,
                                   const char* item, size_t recordSize)
    : IntfXmlElement(parent), count_(count < 0 ? 0 : count), element_(element), item_(item),
      recordSize_(recordSize) {
    records_ = NewHar(sizeof(void*), 100);
}

IntfXmlFacetList::~IntfXmlFacetList() { IntfXmlFreeRecordList(records_); }

int IntfXmlFacetList::CountRecords(const void* list, const char* what) {
    return HarCount(list, sizeof(void*), what);
}

void* IntfXmlFacetList::NewRecord(const char* name) {
    if (std::strcmp(name, item_) != 0)
        IntfXmlThrowUnexpected(name, element_);
    if (!records_)
        IntfXmlThrow(INTFXML_ERR_MALFORMED, "\"%s\" continues after it was taken", element_);
    CheckRoom(har_total(records_), count_, item_, element_);
    void* rec = getmem(recordSize_);
    if (!rec)
        IntfXmlThrowStatus(QEL_ERR_NO_MEMORY, "getmem");
    int st = har_append(&records_, &rec);
    if (st != 0) {
        rlsmem(rec);
        IntfXmlThrowStatus(st, "har_append");
    }
    return rec;
}

IntfXmlElement* IntfXmlFacetList::endElement(const char*) {
    if (records_)
        CheckComplete(har_total(records_), count_, item_, element_);
    return Parent();
}

void* IntfXmlFacetList::TakeArray() {
    void* r = records_;
    records_ = nullptr;
    return r;
}

IntfXmlFacetVertices::IntfXmlFacetVertices(const void* vertices, const char* name) {
    const int n = CountRecords(vertices, "the facet vertices");
    StartElement(name ? name : "FacetVertices");
    AddAttribute("size", int32_t(n));
    WriteRecords<QelFacetVertexdata, IntfXmlFacetVtx>(vertices, n, "the facet vertices");
    EndElement();
}

IntfXmlFacetVertices::IntfXmlFacetVertices(IntfXmlElement* parent, int32_t count)
    : IntfXmlFacetList(parent, count, "FacetVertices", "FacetVtx", sizeof(QelFacetVertexdata)) {}

IntfXmlElement* IntfXmlFacetVertices::startElement(const char* name, IntfXmlAttributes& attrs) {
    auto* rec = static_cast<QelFacetVertexdata*>(NewRecord(name));
    rec->neighbour = GetIntegerAttribValue("Neighbour", &attrs, 0);
    return MakeChild<IntfXmlFacetVtx>(rec);
}

IntfXmlFacetVtxdataArr::IntfXmlFacetVtxdataArr(const void* vtxdata, const char* name) {
    const int n = CountRecords(vtxdata, "the facet vertex data");
    StartElement(name ? name : "FacetVtxdataArr");
    AddAttribute("size", int32_t(n));
    WriteRecords<QelFacetVtxdata, IntfXmlFacetVtxdata>(vtxdata, n, "the facet vertex data");
    EndElement();
}

IntfXmlFacetVtxdataArr::IntfXmlFacetVtxdataArr(IntfXmlElement* parent, int32_t count)
    : IntfXmlFacetList(parent, count, "FacetVtxdataArr", "FacetVtxdata", sizeof(QelFacetVtxdata)) {}

IntfXmlElement* IntfXmlFacetVtxdataArr::startElement(const char* name, IntfXmlAttributes&) {
    return MakeChild<IntfXmlFacetVtxdata>(static_cast<QelFacetVtxdata*>(NewRecord(name)));
}

IntfXmlFacetdataArr::IntfXmlFacetdataArr(const void* facets, const char* name) {
    const int n = CountRecords(facets, "the facets");
    StartElement(name ? name : "FacetdataArr");
    AddAttribute("size", int32_t(n));
    WriteRecords<QelFacetdata, IntfXmlFacetdata>(facets, n, "the facets");
    EndElement();
}

IntfXmlFacetdataArr::IntfXmlFacetdataArr(IntfXmlElement* parent, int32_t count)
    : IntfXmlFacetList(parent, count, "FacetdataArr", "Facetdata", sizeof(QelFacetdata)) {}

IntfXmlElement* IntfXmlFacetdataArr::startElement(const char* name, IntfXmlAttributes&) {
    return MakeChild<IntfXmlFacetdata>(static_cast<QelFacetdata*>(NewRecord(name)));
}

// ---- element records -----------------------------------------------------------------------

IntfXmlFacetVtx::IntfXmlFacetVtx(const QelFacetVertexdata* rec, const char* name) {
    StartElement(name ? name : "FacetVtx");
    AddAttribute("Neighbour", rec->neighbour);
    AddDoublesElement("XYZ", rec->point, 3);
    EndElement();
}

IntfXmlFacetVtx::IntfXmlFacetVtx(IntfXmlElement* parent, QelFacetVertexdata* rec)
    : IntfXmlElement(parent), rec_(rec) {}

IntfXmlElement* IntfXmlFacetVtx::startElement(const char* name, IntfXmlAttributes&) {
    if (!NamesEmpty())
        IntfXmlThrowUnexpected(name, TopName().c_str());
    if (std::strcmp(name, "XYZ") != 0)
        IntfXmlThrowUnexpected(name, "FacetVtx");
    See(seen_, kSeenXyz, name, "FacetVtx");
    PushName(name);
    return this;
}

IntfXmlElement* IntfXmlFacetVtx::endElement(const char* name) {
    if (NamesEmpty()) {
        RequireSeen(seen_, kSeenXyz, "XYZ", "FacetVtx");
        return Parent();
    }
    PopName(name);
    IntfXmlParseXyz(Text(), rec_->point, "XYZ");
    return this;
}

IntfXmlFacetVtxdata::IntfXmlFacetVtxdata(const QelFacetVtxdata* rec, const char* name) {
    StartElement(name ? name : "FacetVtxdata");
    IntfXmlQelVector::Write(rec->normal, "Normal");
    const double uv[2] = {rec->u, rec->v};
    IntfXmlQelUvParam::Write(uv, "TextureUV");
    EndElement();
}

IntfXmlFacetVtxdata::IntfXmlFacetVtxdata(IntfXmlElement* parent, QelFacetVtxdata* rec)
    : IntfXmlElement(parent), rec_(rec) {}

IntfXmlElement* IntfXmlFacetVtxdata::startElement(const char* name, IntfXmlAttributes&) {
    if (!NamesEmpty())
        IntfXmlThrowUnexpected(name, TopName().c_str());
    if (std::strcmp(name, "Normal") == 0)
        See(seen_, kSeenNormal, name, "FacetVtxdata");
    else if (std::strcmp(name, "TextureUV") == 0)
        See(seen_, kSeenUv, name, "FacetVtxdata");
    else
        IntfXmlThrowUnexpected(name, "FacetVtxdata");
    PushName(name);
    return this;
}

IntfXmlElement* IntfXmlFacetVtxdata::endElement(const char* name) {
    if (NamesEmpty()) {
        RequireSeen(seen_, kSeenNormal, "Normal", "FacetVtxdata");
        RequireSeen(seen_, kSeenUv, "TextureUV", "FacetVtxdata");
        return Parent();
    }
    const bool normal = TopName() == "Normal";
    PopName(name);
    if (normal) {
        IntfXmlParseXyz(Text(), rec_->normal, "Normal");
    } else {
        IntfXmlWords words(Text(), "TextureUV");
        const double u = words.NextDouble();
        const double v = words.NextDouble();
        words.PassOverRest(2);
        rec_->u = u;
        rec_->v = v;
    }
    return this;
}

IntfXmlFacetdata::IntfXmlFacetdata(const QelFacetdata* rec, const char* name) {
    StartElement(name ? name : "Facetdata");
    WriteTriple("VtxIndices", rec->vertex_idx);
    WriteTriple("VtxdataIndices", rec->vtxdata_idx);
    WriteTriple("FacetIndices", rec->neighbour_idx);
    IntfXmlQelVector::Write(rec->normal, "Normal");
    EndElement();
}

IntfXmlFacetdata::IntfXmlFacetdata(IntfXmlElement* parent, QelFacetdata* rec)
    : IntfXmlElement(parent), rec_(rec) {}

IntfXmlElement* IntfXmlFacetdata::startElement(const char* name, IntfXmlAttributes&) {
    if (!NamesEmpty())
        IntfXmlThrowUnexpected(name, TopName().c_str());
    if (std::strcmp(name, "VtxIndices") == 0)
        See(seen_, kSeenVtx, name, "Facetdata");
    else if (std::strcmp(name, "VtxdataIndices") == 0)
        See(seen_, kSeenVtxdata, name, "Facetdata");
    else if (std::strcmp(name, "FacetIndices") == 0)
        See(seen_, kSeenFacet, name, "Facetdata");
    else if (std::strcmp(name, "Normal") == 0)
        See(seen_, kSeenNormal, name, "Facetdata");
    else
        IntfXmlThrowUnexpected(name, "Facetdata");
    PushName(name);
    return this;
}

IntfXmlElement* IntfXmlFacetdata::endElement(const char* name) {
    if (NamesEmpty()) {
        RequireSeen(seen_, kSeenVtx, "VtxIndices", "Facetdata");
        RequireSeen(seen_, kSeenVtxdata, "VtxdataIndices", "Facetdata");
        RequireSeen(seen_, kSeenFacet, "FacetIndices", "Facetdata");
        RequireSeen(seen_, kSeenNormal, "Normal", "Facetdata");
        return Parent();
    }
    const std::string top = TopName();
    PopName(name);
    if (top == "VtxIndices")
        ParseTriple(Text(), rec_->vertex_idx, "VtxIndices");
    else if (top == "VtxdataIndices")
        ParseTriple(Text(), rec_->vtxdata_idx, "VtxdataIndices");
    else if (top == "FacetIndices")
        ParseTriple(Text(), rec_->neighbour_idx, "FacetIndices");
    else
        IntfXmlParseXyz(Text(), rec_->normal, "Normal");
    return this;
}
