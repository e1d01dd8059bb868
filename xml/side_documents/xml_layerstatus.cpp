// The import-layer status document.
#include "xml/side_documents/xml_layerstatus.h"

#include "kernel/records/wide_name.h"
#include "xml/framework/sax_handler.h"
#include "xml/framework/xml_document.h"
#include "xml/geometry/xml_geometry.h"
#include "xml/framework/xml_records.h"

#include "xmemory.h"

#include <cstring>
#include <string>
#include <utility>

namespace {

bool Is(const char* a, const char* b) { return std::strcmp(a, b) == 0; }

// The integer attribute of a "Layer" at `pos` under `name`; -1 when it is
// not there, an error when it is there but not an integer.
int32_t IntAttrib(const char* name, IntfXmlAttributes& attrs, unsigned pos) {
    return intfxml::IntAt(name, attrs, pos, -1, "Layer");
}

} // namespace

// ---- writer ------------------------------------------------------------------------

IntfXmlAtbImportLayers::IntfXmlAtbImportLayers(const char* path, const atb_import_layer* layers,
                                               kkDurability durability) {
    const int32_t n = xar_count(layers);
    IntfXmlCheckArray(layers, n, sizeof(atb_import_layer), "import layers");
    IntfXmlWriteDocument(path, [&] {
        StartElement("Layers");
        AddAttribute("size", n);
        for (int32_t i = 0; i < n; ++i) {
            const atb_import_layer& l = layers[i];
            // A lone surrogate would be written as another character.
            for (const auto& [field, its] : {std::pair{l.Name, "its name"},
                                             std::pair{l.OrigName, "its original name"}}) {
                const std::string fault = kname::SurrogateFault(field, ATB_LAYER_NAME_LEN);
                if (!fault.empty())
                    IntfXmlRefuseFault("import layer at index " + std::to_string(i) + ": " + its +
                                       ": " + fault);
            }
            StartElement("Layer");
            AddAttribute("IntfId", l.IntfId);
            AddAttribute("Type", l.Type);
            AddAttribute("ImportStatus", l.ImportStatus);
            AddAttribute("CrvCount", l.CrvCount);
            AddAttribute("SrfCount", l.SrfCount);
            AddAttribute("TrmSrfCount", l.TrmSrfCount);
            AddTextElement("Name", kname::Narrow(l.Name, ATB_LAYER_NAME_LEN).c_str());
            AddTextElement("OrigName", kname::Narrow(l.OrigName, ATB_LAYER_NAME_LEN).c_str());
            EndElement();
        }
        EndElement();
    }, durability);
}

// ---- reader ------------------------------------------------------------------------

IntfXmlAtbImportLayers::IntfXmlAtbImportLayers(IntfXmlElement* parent) : IntfXmlElement(parent) {}

IntfXmlAtbImportLayers::~IntfXmlAtbImportLayers() { IntfXmlFreeAtbImportLayers(layers_); }

atb_import_layer* IntfXmlAtbImportLayers::TakeData() {
    atb_import_layer* layers = layers_;
    layers_ = nullptr;
    return layers;
}

IntfXmlElement* IntfXmlAtbImportLayers::startElement(const char* name, IntfXmlAttributes& attrs) {
    ++depth_;
    if (Is(name, "Layers")) {
        if (sawLayers_)
            IntfXmlThrow(INTFXML_ERR_MALFORMED, "the document holds \"Layers\" twice");
        sawLayers_ = true;
        size_ = IntfXmlRequireSize(attrs, "Layers");
        layers_ = intfxml::NewXar<atb_import_layer>(10);
        layersDepth_ = depth_;
        return this;
    }
    if (Is(name, "Layer")) {
        if (layersDepth_ == 0)
            IntfXmlThrow(INTFXML_ERR_MALFORMED, "\"Layer\" stands outside \"Layers\"");
        intfxml::CheckRoom(read_, size_, "Layer", "Layers");
        const int index = intfxml::XarAppendZero(layers_, 10);
        atb_import_layer& l = layers_[index];
        l.IntfId = IntAttrib("IntfId", attrs, 0);
        l.Type = IntAttrib("Type", attrs, 1);
        l.ImportStatus = IntAttrib("ImportStatus", attrs, 2);
        l.CrvCount = IntAttrib("CrvCount", attrs, 3);
        l.SrfCount = IntAttrib("SrfCount", attrs, 4);
        l.TrmSrfCount = IntAttrib("TrmSrfCount", attrs, 5);
        // The "Layer" reader sees its own end tag.
        --depth_;
        return MakeChild<IntfXmlAtbImportLayer>(read_++);
    }
    // Passed over: told within "Layers"; around it, the document's own
    // frame.
    if (layersDepth_ != 0)
        IntfXmlTellElementNotRead(name, attrs);
    else
        IntfXmlTakeAttributes(attrs);
    return this;
}

IntfXmlElement* IntfXmlAtbImportLayers::endElement(const char*) {
    if (depth_ == layersDepth_) {
        layersDepth_ = 0;
        intfxml::CheckComplete(read_, size_, "Layer", "Layers");
    }
    if (--depth_ <= 0)
        return Parent();
    return this;
}

atb_import_layer* IntfXmlAtbImportLayers::Read(const char* path) {
    IntfXmlAtbImportLayers reader(nullptr);
    IntfXmlParseDocument(path, &reader);
    return reader.TakeData();
}

IntfXmlAtbImportLayer::IntfXmlAtbImportLayer(IntfXmlAtbImportLayers* parent, int32_t index)
    : IntfXmlElement(parent), list_(parent), index_(index) {}

namespace {
// The children of a "Layer", by their bit in the reader's `seen_`.
const char* const kLayerChildren[] = {"Name", "OrigName"};
} // namespace

IntfXmlElement* IntfXmlAtbImportLayer::startElement(const char* name, IntfXmlAttributes& attrs) {
    // Only a direct child's text is taken; other elements are passed over
    // (told).
    if (!NamesEmpty() || (!Is(name, "Name") && !Is(name, "OrigName")))
        IntfXmlTellElementNotRead(name, attrs);
    PushName(name);
    return this;
}

IntfXmlElement* IntfXmlAtbImportLayer::endElement(const char* name) {
    if (NamesEmpty()) { // the "Layer" itself ends; its record starts zeroed
        for (int child = 0; child < 2; ++child)
            if (!(seen_ & (1u << child)))
                IntfXmlTellMissingChild("Layer", kLayerChildren[child], "an empty name");
        return Parent();
    }
    const bool direct = names_.size() == 1;
    if (PopName(name) && direct) {
        atb_import_layer* l = list_->Record(index_);
        const int child = Is(name, "Name") ? 0 : Is(name, "OrigName") ? 1 : -1;
        if (child >= 0) {
            IntfXmlSeeOnce(seen_, 1u << child, name, "Layer");
            intfxml::StoreWide(child == 0 ? l->Name : l->OrigName, ATB_LAYER_NAME_LEN,
                               text_.c_str(),
                               child == 0 ? "\"Layer\" \"Name\"" : "\"Layer\" \"OrigName\"");
        }
    }
    return this;
}

void IntfXmlFreeAtbImportLayers(atb_import_layer* layers) {
    if (layers)
        xar_free(layers);
}
