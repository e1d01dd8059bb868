// The assembly information document and the process-wide map of assembly
// information records.
#include "xml/side_documents/xml_asminfo.h"

#include "kernel/records/qel_routines.h"
#include "kernel/records/wide_name.h"
#include "xml/framework/sax_handler.h"
#include "xml/framework/xml_document.h"
#include "xml/geometry/xml_geometry.h"
#include "xml/framework/xml_records.h"

#include "process.h"
#include "xmemory.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

using intfxml::IntAt;

bool Is(const char* a, const char* b) { return std::strcmp(a, b) == 0; }

// Name, type and source system of a "Model" start tag into the record; a
// missing "type" or "src_sys" reads as -1, a missing "name" as the empty
// text.
void ReadModelAttributes(IntfXmlAttributes& attrs, qel_model_basic_info* info) {
    intfxml::StoreWide(info->name, QEL_PATH_LEN, GetStringAttribValue("name", &attrs, 0).c_str(),
                       "\"Model\" attribute \"name\"");
    info->type = uint32_t(IntAt("type", attrs, 1, -1, "Model"));
    info->source_system = uint32_t(IntAt("src_sys", attrs, 2, -1, "Model"));
}

qel_model_basic_info* NewModelInfo() {
    auto* info = static_cast<qel_model_basic_info*>(getmem(sizeof(qel_model_basic_info)));
    if (!info)
        IntfXmlThrowStatus(-10, "getmem");
    return info;
}

// Writes a tree, refusing one that leads back to an ancestor or nests too
// deep.
class AsmWriter {
public:
    // `what` names the record on a refusal ("the assembly", "the
    // sub-assembly of component 7").
    void Write(const qel_model_basic_info* info, const std::string& what = "the assembly") {
        if (!info)
            IntfXmlThrow(INTFXML_ERR_RECORD, "no assembly information to write");
        if (ancestors_.size() >= size_t(INTFXML_MAX_ASM_NESTING))
            IntfXmlThrow(INTFXML_ERR_RECORD, "sub-assemblies nest deeper than %d levels",
                         INTFXML_MAX_ASM_NESTING);
        for (const qel_model_basic_info* a : ancestors_)
            if (a == info)
                IntfXmlThrow(INTFXML_ERR_RECORD,
                             "a sub-assembly contains one of its own ancestors");
        const qel_model_component_info* comps = info->components;
        const int32_t n = xar_count(comps);
        IntfXmlCheckArray(comps, n, sizeof(qel_model_component_info), "assembly components");
        // A lone surrogate would be written as another character.
        IntfXmlRefuseFault(WithName(what, kname::SurrogateFault(info->name, QEL_PATH_LEN)));
        ancestors_.push_back(info);

        IntfXmlWriter& w = IntfXmlWriter::Current();
        w.StartElement("Model");
        w.WriteAttribute("name", kname::Narrow(info->name, QEL_PATH_LEN));
        w.WriteAttribute("type", int32_t(info->type));
        w.WriteAttribute("src_sys", int32_t(info->source_system));
        if (comps) {
            w.StartElement("Comps");
            w.WriteAttribute("size", n);
            for (int32_t i = 0; i < n; ++i) {
                const qel_model_component_info& c = comps[i];
                w.StartElement("Comp");
                w.WriteAttribute("ID", int32_t(c.id));
                w.StartElement("Matrix");
                w.BeginText();
                for (const auto& row : c.matrix)
                    for (double v : row) {
                        w.TextDouble(v);
                        w.TextChar(' ');
                    }
                w.EndElement();
                if (c.sub)
                    Write(c.sub, "the sub-assembly of component " + std::to_string(c.id));
                w.EndElement();
            }
            w.EndElement();
        }
        w.EndElement();
        ancestors_.pop_back();
    }

private:
    static std::string WithName(const std::string& what, const std::string& fault) {
        return fault.empty() ? fault : what + ": its name: " + fault;
    }

    std::vector<const qel_model_basic_info*> ancestors_;
};

} // namespace

void WriteAsmModelElement(const qel_model_basic_info* info) { AsmWriter().Write(info); }

void ParseMatrix4x4(std::string_view text, double (*matrix)[4]) {
    double values[16];
    IntfXmlWords words(text, "Matrix");
    for (double& v : values)
        v = words.NextDouble();
    words.ExpectEnd();
    std::memcpy(matrix, values, sizeof values);
}

void IntfXmlFreeModelInfo(qel_model_basic_info* info) {
    if (!info)
        return;
    if (int st = QelAsmBasicInfoClean(info))
        btk_tell("assembly information not freed: status %d", st);
    else
        rlsmem(info);
}

// ---- "Model" ------------------------------------------------------------------------------

IntfXmlModel::IntfXmlModel(const char* path, const qel_model_basic_info* info,
                           kkDurability durability) {
    if (!info)
        IntfXmlThrow(INTFXML_ERR_RECORD, "no assembly information to write");
    IntfXmlWriteDocument(path, [info] { WriteAsmModelElement(info); }, durability);
}

IntfXmlModel::IntfXmlModel(IntfXmlElement* parent)
    : IntfXmlElement(parent), info_(NewModelInfo()), owns_(true) {}

IntfXmlModel::IntfXmlModel(IntfXmlElement* parent, const char* name, int32_t type,
                           int32_t sourceSystem)
    : IntfXmlElement(parent), info_(NewModelInfo()), owns_(true), started_(parent != nullptr) {
    kname::Write(info_->name, QEL_PATH_LEN, name ? name : "");
    info_->type = uint32_t(type);
    info_->source_system = uint32_t(sourceSystem);
}

IntfXmlModel::IntfXmlModel(IntfXmlElement* parent, qel_model_basic_info* info)
    : IntfXmlElement(parent), info_(info), started_(true) {}

IntfXmlModel::~IntfXmlModel() {
    if (owns_)
        IntfXmlFreeModelInfo(info_);
}

qel_model_basic_info* IntfXmlModel::TakeData() {
    if (!owns_)
        return nullptr;
    qel_model_basic_info* info = info_;
    info_ = nullptr;
    return info;
}

IntfXmlElement* IntfXmlModel::startElement(const char* name, IntfXmlAttributes& attrs) {
    if (!info_)
        IntfXmlThrow(INTFXML_ERR_MALFORMED, "\"Model\" continues after it was taken");
    if (!started_) {
        if (!Is(name, "Model"))
            IntfXmlThrowUnexpected(name, "the assembly information document");
        started_ = true;
        ReadModelAttributes(attrs, info_);
        return this;
    }
    if (!Is(name, "Comps"))
        IntfXmlThrowUnexpected(name, "Model");
    if (comps_)
        IntfXmlThrow(INTFXML_ERR_MALFORMED, "\"Model\" holds \"Comps\" twice");
    const int32_t size = IntfXmlRequireSize(attrs, "Comps");
    info_->components = intfxml::NewXar<qel_model_component_info>(10);
    return comps_ = MakeChild<IntfXmlComps>(info_, size);
}

IntfXmlElement* IntfXmlModel::endElement(const char*) { return Parent(); }

qel_model_basic_info* IntfXmlModel::Read(const char* path) {
    IntfXmlModel reader(nullptr);
    IntfXmlParseDocument(path, &reader);
    if (!reader.started_)
        IntfXmlThrowMissing("Model", "the assembly information document");
    return reader.TakeData();
}

// ---- "Comps" ------------------------------------------------------------------------------

IntfXmlComps::IntfXmlComps(IntfXmlModel* parent, qel_model_basic_info* info, int32_t size)
    : IntfXmlElement(parent), info_(info), size_(size) {}

IntfXmlElement* IntfXmlComps::startElement(const char* name, IntfXmlAttributes& attrs) {
    if (!Is(name, "Comp"))
        IntfXmlThrowUnexpected(name, "Comps");
    intfxml::CheckRoom(xar_count(info_->components), size_, "Comp", "Comps");
    const int index = intfxml::XarAppendZero(info_->components, 10);
    info_->components[index].id = uint32_t(IntAt("ID", attrs, 0, -1, "Comp"));
    return MakeChild<IntfXmlComp>(index);
}

IntfXmlElement* IntfXmlComps::endElement(const char*) {
    intfxml::CheckComplete(xar_count(info_->components), size_, "Comp", "Comps");
    return Parent();
}

// ---- "Comp" -------------------------------------------------------------------------------

IntfXmlComp::IntfXmlComp(IntfXmlComps* parent, int32_t index)
    : IntfXmlElement(parent), list_(parent), index_(index) {}

qel_model_component_info& IntfXmlComp::Component() const {
    return list_->info_->components[index_];
}

IntfXmlElement* IntfXmlComp::startElement(const char* name, IntfXmlAttributes& attrs) {
    if (!NamesEmpty())
        IntfXmlThrowUnexpected(name, TopName().c_str());
    if (Is(name, "Matrix")) {
        if (haveMatrix_)
            IntfXmlThrow(INTFXML_ERR_MALFORMED, "\"Comp\" holds \"Matrix\" twice");
        PushName(name);
        return this;
    }
    if (!Is(name, "Model"))
        IntfXmlThrowUnexpected(name, "Comp");
    if (haveModel_)
        IntfXmlThrow(INTFXML_ERR_MALFORMED, "\"Comp\" holds \"Model\" twice");
    haveModel_ = true;
    // The sub-assembly joins the tree at once, so the tree's owner frees it
    // whatever happens next.
    qel_model_basic_info* sub = NewModelInfo();
    Component().sub = sub;
    ReadModelAttributes(attrs, sub);
    return MakeChild<IntfXmlModel>(sub);
}

IntfXmlElement* IntfXmlComp::endElement(const char* name) {
    if (NamesEmpty()) {
        if (!haveMatrix_)
            IntfXmlThrowMissing("Matrix", "Comp");
        return Parent();
    }
    if (PopName(name)) {
        ParseMatrix4x4(text_, Component().matrix);
        haveMatrix_ = true;
    }
    return this;
}

// ---- the process-wide map -----------------------------------------------------------------

ModelBasicInfoMap& ModelBasicInfoMap::Instance() {
    static ModelBasicInfoMap map;
    return map;
}

namespace {
// The map is made while the library loads, empty, like the library's other
// process-wide objects, and goes away when it unloads.
[[maybe_unused]] const ModelBasicInfoMap& kMapAtLoad = ModelBasicInfoMap::Instance();
} // namespace

ModelBasicInfoMap::~ModelBasicInfoMap() { Clear(); }

std::u16string ModelBasicInfoMap::Key(const char16_t* name) {
    if (!name)
        return std::u16string();
    return std::u16string(name, size_t(kname::FieldLength(name, QEL_PATH_LEN)));
}

bool ModelBasicInfoMap::Put(qel_model_basic_info* info) {
    if (!info)
        return false;
    qel_model_basic_info* old = nullptr;
    {
        std::lock_guard<std::mutex> lock(lock_);
        qel_model_basic_info*& slot = records_[Key(info->name)];
        if (slot != info)
            old = slot;
        slot = info;
    }
    IntfXmlFreeModelInfo(old);
    return true;
}

const qel_model_basic_info* ModelBasicInfoMap::Find(const char16_t* name) const {
    std::lock_guard<std::mutex> lock(lock_);
    auto found = records_.find(Key(name));
    return found == records_.end() ? nullptr : found->second;
}

qel_model_basic_info* ModelBasicInfoMap::Take(const char16_t* name) {
    std::lock_guard<std::mutex> lock(lock_);
    auto found = records_.find(Key(name));
    if (found == records_.end())
        return nullptr;
    qel_model_basic_info* info = found->second;
    records_.erase(found);
    return info;
}

size_t ModelBasicInfoMap::Size() const {
    std::lock_guard<std::mutex> lock(lock_);
    return records_.size();
}

void ModelBasicInfoMap::Clear() {
    std::map<std::u16string, qel_model_basic_info*> records;
    {
        std::lock_guard<std::mutex> lock(lock_);
        records.swap(records_);
    }
    for (auto& entry : records)
        IntfXmlFreeModelInfo(entry.second);
}
