// Extended edges and solid regions.
#include "xml/intfdata/xml_extedges.h"

#include "xml/geometry/xml_geometry.h"
#include "xml/framework/xml_records.h"

#include <cstring>
#include <string_view>

using namespace intfxml;

// ---- extended edges ------------------------------------------------------------------------

IntfXmlExtEdges::IntfXmlExtEdges(const void* edges, const char* name) {
    const int n = HarCount(edges, sizeof(QelExtEdgedata), "the extended edges");
    StartElement(name ? name : "ExtEdges");
    AddAttribute("size", int32_t(n));
    for (int i = 0; i < n; ++i)
        IntfXmlExtEdge{HarEntry<const QelExtEdgedata>(edges, i)};
    EndElement();
}

IntfXmlExtEdges::IntfXmlExtEdges(IntfXmlQelIntfDataExtend* parent, int32_t count)
    : IntfXmlExtListReader(parent, IntfXmlExtList::ExtEdges, count, "ExtEdges", "ExtEdge") {
    array_ = NewHar(sizeof(QelExtEdgedata), 50);
}

IntfXmlElement* IntfXmlExtEdges::startElement(const char* name, IntfXmlAttributes& attrs) {
    auto* e = static_cast<QelExtEdgedata*>(AppendHarEntry(name));
    DropChild(current_);
    e->edge_id = GetIntegerAttribValue("ID", &attrs, 0);
    return current_ = MakeChild<IntfXmlExtEdge>(e);
}

IntfXmlElement* IntfXmlExtEdges::endElement(const char*) { return Finish(har_total(array_)); }

IntfXmlExtEdge::IntfXmlExtEdge(const QelExtEdgedata* e, const char* name) {
    StartElement(name ? name : "ExtEdge");
    AddAttribute("ID", e->edge_id);
    IntfXmlVtxComps(e->start_comps, "StVtxComps");
    IntfXmlVtxComps(e->end_comps, "EndVtxComps");
    IntfXmlQel3dPnt::Write(e->start_point, "StXYZ");
    IntfXmlQel3dPnt::Write(e->end_point, "EndXYZ");
    EndElement();
}

IntfXmlExtEdge::IntfXmlExtEdge(IntfXmlExtEdges* parent, QelExtEdgedata* entry)
    : IntfXmlElement(parent), entry_(entry) {}

IntfXmlElement* IntfXmlExtEdge::startElement(const char* name, IntfXmlAttributes& attrs) {
    if (!NamesEmpty())
        IntfXmlThrowUnexpected(name, TopName().c_str());
    if (std::strcmp(name, "StVtxComps") == 0) {
        CheckOnce(start_, name, "ExtEdge");
        return start_ = MakeChild<IntfXmlVtxComps>(IntfXmlRequireSize(attrs, name));
    }
    if (std::strcmp(name, "EndVtxComps") == 0) {
        CheckOnce(end_, name, "ExtEdge");
        return end_ = MakeChild<IntfXmlVtxComps>(IntfXmlRequireSize(attrs, name));
    }
    if (std::strcmp(name, "StXYZ") == 0 || std::strcmp(name, "EndXYZ") == 0) {
        PushName(name);
        return this;
    }
    IntfXmlThrowUnexpected(name, "ExtEdge");
}

IntfXmlElement* IntfXmlExtEdge::endElement(const char* name) {
    if (!NamesEmpty()) {
        const bool start = TopName() == "StXYZ";
        PopName(name);
        IntfXmlParseXyz(Text(), start ? entry_->start_point : entry_->end_point,
                        start ? "StXYZ" : "EndXYZ");
        IntfXmlSeeOnce(seen_, start ? 1u : 2u, start ? "StXYZ" : "EndXYZ", "ExtEdge");
        return this;
    }
    // The entry starts zeroed.
    if (!(seen_ & 1))
        IntfXmlTellMissingChild("ExtEdge", "StXYZ", "0 0 0");
    if (!(seen_ & 2))
        IntfXmlTellMissingChild("ExtEdge", "EndXYZ", "0 0 0");
    // The entry belongs to the list's array, which frees what it holds.
    if (start_) {
        xar_free(entry_->start_comps);
        entry_->start_comps = start_->TakeArray();
    }
    if (end_) {
        xar_free(entry_->end_comps);
        entry_->end_comps = end_->TakeArray();
    }
    return Parent();
}

IntfXmlVtxComps::IntfXmlVtxComps(const QelVtxCompdata* comps, const char* name) {
    const int n = XarCount(comps, sizeof(QelVtxCompdata), "the vertex components");
    StartElement(name ? name : "VtxComps");
    AddAttribute("size", int32_t(n));
    for (int i = 0; i < n; ++i) {
        StartElement("VtxComp");
        AddAttribute("EdgeId", comps[i].edge_id);
        AddAttribute("StOrEnd", comps[i].start_or_end);
        EndElement();
    }
    EndElement();
}

IntfXmlVtxComps::IntfXmlVtxComps(IntfXmlElement* parent, int32_t count)
    : IntfXmlElement(parent), count_(count < 0 ? 0 : count) {
    comps_ = NewXar<QelVtxCompdata>(4);
}

IntfXmlVtxComps::~IntfXmlVtxComps() { xar_free(comps_); }

IntfXmlElement* IntfXmlVtxComps::startElement(const char* name, IntfXmlAttributes& attrs) {
    if (!NamesEmpty())
        IntfXmlThrowUnexpected(name, TopName().c_str());
    if (std::strcmp(name, "VtxComp") != 0)
        IntfXmlThrowUnexpected(name, "VtxComps");
    if (!comps_)
        IntfXmlThrow(INTFXML_ERR_MALFORMED, "vertex components continue after they were taken");
    CheckRoom(xar_count(comps_), count_, "VtxComp", "VtxComps");
    const int i = XarAppendZero(comps_, 4);
    comps_[i].edge_id = GetIntegerAttribValue("EdgeId", &attrs, 0);
    comps_[i].start_or_end = GetIntegerAttribValue("StOrEnd", &attrs, 1);
    PushName(name);
    return this;
}

IntfXmlElement* IntfXmlVtxComps::endElement(const char* name) {
    if (!NamesEmpty()) {
        IntfXmlTellTextNotRead(name, Text()); // a component is its attributes
        PopName(name);
        return this;
    }
    CheckComplete(xar_count(comps_), count_, "VtxComp", "VtxComps");
    return Parent();
}

QelVtxCompdata* IntfXmlVtxComps::TakeArray() {
    QelVtxCompdata* c = comps_;
    comps_ = nullptr;
    return c;
}

// ---- solid regions ---------------------------------------------------------------------------

IntfXmlSolidRegions::IntfXmlSolidRegions(const QelSolidRegiondata* regions, const char* name) {
    const int n = XarCount(regions, sizeof(QelSolidRegiondata), "the solid regions");
    StartElement(name ? name : "SolidRegions");
    AddAttribute("size", int32_t(n));
    for (int i = 0; i < n; ++i)
        IntfXmlSolidRegion{&regions[i]};
    EndElement();
}

IntfXmlSolidRegions::IntfXmlSolidRegions(IntfXmlQelIntfDataExtend* parent, int32_t count)
    : IntfXmlExtListReader(parent, IntfXmlExtList::SolidRegions, count, "SolidRegions",
                           "SolidRegion") {
    array_ = NewXar<QelSolidRegiondata>(5);
}

QelSolidRegiondata& IntfXmlSolidRegions::Entry(int32_t index) {
    auto* regions = static_cast<QelSolidRegiondata*>(array_);
    if (index < 0 || index >= xar_count(regions))
        IntfXmlThrowStatus(QEL_ERR_BAD_ARG, "IntfXmlSolidRegions::Entry");
    return regions[index];
}

IntfXmlElement* IntfXmlSolidRegions::startElement(const char* name, IntfXmlAttributes&) {
    const int i = AppendXarEntry(name);
    DropChild(current_);
    return current_ = MakeChild<IntfXmlSolidRegion>(int32_t(i));
}

IntfXmlElement* IntfXmlSolidRegions::endElement(const char*) { return Finish(xar_count(array_)); }

IntfXmlSolidRegion::IntfXmlSolidRegion(const QelSolidRegiondata* r, const char* name) {
    const int n = XarCount(r->internal_shells, sizeof(int32_t*), "the internal shells");
    StartElement(name ? name : "SolidRegion");
    IntfXmlShell(r->external_shell, "ExtShell");
    if (n > 0) {
        StartElement("IntShells");
        AddAttribute("size", int32_t(n));
        for (int i = 0; i < n; ++i)
            IntfXmlShell(r->internal_shells[i], "IntShell");
        EndElement();
    }
    EndElement();
}

IntfXmlSolidRegion::IntfXmlSolidRegion(IntfXmlSolidRegions* parent, int32_t index)
    : IntfXmlElement(parent), list_(parent), index_(index) {}

IntfXmlElement* IntfXmlSolidRegion::startElement(const char* name, IntfXmlAttributes& attrs) {
    if (std::strcmp(name, "ExtShell") == 0) {
        CheckOnce(extShell_, name, "SolidRegion");
        return extShell_ = MakeChild<IntfXmlShell>();
    }
    if (std::strcmp(name, "IntShells") == 0) {
        CheckOnce(intShells_, name, "SolidRegion");
        return intShells_ = MakeChild<IntfXmlIntShells>(IntfXmlRequireSize(attrs, name));
    }
    IntfXmlThrowUnexpected(name, "SolidRegion");
}

IntfXmlElement* IntfXmlSolidRegion::endElement(const char*) {
    // The entry belongs to the list's array, which frees what it holds.
    QelSolidRegiondata& r = list_->Entry(index_);
    if (extShell_) {
        if (int32_t* ids = extShell_->TakeArray()) {
            xar_free(r.external_shell);
            r.external_shell = ids;
        }
    }
    if (intShells_) {
        int32_t** shells = intShells_->TakeArray();
        if (shells) {
            const int n = xar_count(r.internal_shells);
            for (int i = 0; i < n; ++i)
                xar_free(r.internal_shells[i]);
            xar_free(r.internal_shells);
            r.internal_shells = shells;
        }
    }
    return Parent();
}

IntfXmlShell::IntfXmlShell(const int32_t* ids, const char* name) {
    const int n = XarCount(ids, sizeof(int32_t), "the shell's surface ids");
    StartElement(name ? name : "Shell");
    StartElement("SurfIds");
    AddAttribute("size", int32_t(n));
    if (n > 0) {
        IntfXmlWriter& w = IntfXmlWriter::Current();
        w.BeginText();
        for (int i = 0; i < n; ++i) {
            w.TextInt(ids[i]);
            w.TextChar('\n');
        }
    }
    EndElement();
    EndElement();
}

IntfXmlShell::IntfXmlShell(IntfXmlElement* parent) : IntfXmlElement(parent) {}

IntfXmlShell::~IntfXmlShell() { xar_free(ids_); }

IntfXmlElement* IntfXmlShell::startElement(const char* name, IntfXmlAttributes& attrs) {
    if (!NamesEmpty())
        IntfXmlThrowUnexpected(name, TopName().c_str());
    if (std::strcmp(name, "SurfIds") != 0)
        IntfXmlThrowUnexpected(name, "Shell");
    if (haveIds_)
        IntfXmlThrow(INTFXML_ERR_MALFORMED, "\"SurfIds\" appears twice in a shell");
    count_ = IntfXmlRequireSize(attrs, name);
    PushName(name);
    return this;
}

IntfXmlElement* IntfXmlShell::endElement(const char* name) {
    if (NamesEmpty())
        return Parent();
    PopName(name);
    // One id per line; blanks around an id are allowed, two numbers on one
    // line are not. Exactly `count_` ids are taken; any further are told.
    std::string_view text = Text();
    int32_t* ids = static_cast<int32_t*>(xar_alloc(0, int(sizeof(int32_t)), 10));
    if (!ids)
        IntfXmlThrowStatus(QEL_ERR_NO_MEMORY, "xar_alloc");
    xar_free(ids_);
    ids_ = ids;
    size_t pos = 0;
    while (xar_count(ids_) < count_) {
        while (pos < text.size() && text[pos] == '\n')
            ++pos;
        if (pos == text.size())
            IntfXmlThrow(INTFXML_ERR_MALFORMED, "\"SurfIds\" holds fewer ids than its size %d",
                         count_);
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        pos = end;
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t'))
            line.remove_prefix(1);
        while (!line.empty() && (line.back() == ' ' || line.back() == '\t' || line.back() == '\r'))
            line.remove_suffix(1);
        if (line.empty())
            continue;
        int32_t id = 0;
        if (!IntfXmlToInt(line, id))
            IntfXmlThrow(INTFXML_ERR_MALFORMED, "\"SurfIds\" holds %s where an id belongs",
                         kname::Shown(line).c_str());
        IntfXmlCheck(xar_append(ids_, 1, &id), "xar_append");
    }
    const size_t past = IntfXmlWords(text.substr(pos), "SurfIds").CountRemaining();
    if (past > 0)
        IntfXmlTellValuesPast("SurfIds", size_t(count_) + past, size_t(count_), true);
    haveIds_ = true;
    return this;
}

int32_t* IntfXmlShell::TakeArray() {
    int32_t* ids = ids_;
    ids_ = nullptr;
    return ids;
}

IntfXmlIntShells::IntfXmlIntShells(IntfXmlElement* parent, int32_t count)
    : IntfXmlElement(parent), count_(count < 0 ? 0 : count) {
    shells_ = NewXar<int32_t*>(5);
}

IntfXmlIntShells::~IntfXmlIntShells() {
    const int n = xar_count(shells_);
    for (int i = 0; i < n; ++i)
        xar_free(shells_[i]);
    xar_free(shells_);
}

void IntfXmlIntShells::Collect() {
    if (!current_)
        return;
    int32_t* ids = current_->TakeArray();
    DropChild(current_);
    int st = xar_append(shells_, 1, &ids);
    if (st != 0) {
        xar_free(ids);
        IntfXmlThrowStatus(st, "xar_append");
    }
}

IntfXmlElement* IntfXmlIntShells::startElement(const char* name, IntfXmlAttributes&) {
    if (std::strcmp(name, "IntShell") != 0)
        IntfXmlThrowUnexpected(name, "IntShells");
    if (!shells_)
        IntfXmlThrow(INTFXML_ERR_MALFORMED, "internal shells continue after they were taken");
    Collect();
    CheckRoom(xar_count(shells_), count_, "IntShell", "IntShells");
    return current_ = MakeChild<IntfXmlShell>();
}

IntfXmlElement* IntfXmlIntShells::endElement(const char*) {
    if (shells_) {
        Collect();
        CheckComplete(xar_count(shells_), count_, "IntShell", "IntShells");
    }
    return Parent();
}

int32_t** IntfXmlIntShells::TakeArray() {
    int32_t** s = shells_;
    shells_ = nullptr;
    return s;
}
