// Metadata lists of the extended interface data.
#include "xml/intfdata/xml_metadata.h"

#include "kernel/records/qel_check.h"

#include "xml/geometry/xml_geometry.h"
#include "xml/framework/xml_records.h"

#include <cstdio>
#include <cstring>
#include <string>

using namespace intfxml;

namespace {

// A child of an item element that has none of its own.
void RejectNested(bool namesEmpty, const char* name, const char* top) {
    if (!namesEmpty)
        IntfXmlThrowUnexpected(name, top);
}

void WriteMap(const char* element, const QelTexturemapdata& map) {
    IntfXmlWriting::StartElement(element);
    IntfXmlWriting::AddAttribute("name", Narrow(map.name, QEL_NAME_LEN).c_str());
    IntfXmlWriting::AddAttribute("fileName", Narrow(map.file_name, QEL_PATH_LEN).c_str());
    IntfXmlWriting::EndElement();
}

void ReadMap(QelTexturemapdata& map, IntfXmlAttributes& attrs, const char* element) {
    std::string e = "\"";
    (e += element) += "\" attribute ";
    StoreWide(map.name, QEL_NAME_LEN, GetStringAttribValue("name", &attrs, 0).c_str(),
              (e + "\"name\"").c_str());
    StoreWide(map.file_name, QEL_PATH_LEN, GetStringAttribValue("fileName", &attrs, 1).c_str(),
              (e + "\"fileName\"").c_str());
}

} // namespace

// ---- units -------------------------------------------------------------------------------

IntfXmlUnits::IntfXmlUnits(const QelUnitdata* units, const char* name) {
    const int n = XarCount(units, sizeof(QelUnitdata), "the units");
    StartElement(name ? name : "Units");
    AddAttribute("size", int32_t(n));
    for (int i = 0; i < n; ++i)
        IntfXmlWriteNaming(
            [&] {
                StartElement("Unit");
                AddAttribute("name", Narrow(units[i].name, QEL_NAME_LEN).c_str());
                AddAttribute("type", units[i].type);
                AddAttribute("factor", units[i].factor);
                EndElement();
            },
            [i] { return qel_entry_name("unit", i); });
    EndElement();
}

IntfXmlUnits::IntfXmlUnits(IntfXmlQelIntfDataExtend* parent, int32_t count)
    : IntfXmlExtListReader(parent, IntfXmlExtList::Units, count, "Units", "Unit") {
    array_ = NewXar<QelUnitdata>(5);
}

IntfXmlElement* IntfXmlUnits::startElement(const char* name, IntfXmlAttributes& attrs) {
    RejectNested(NamesEmpty(), name, TopName().c_str());
    const int i = AppendXarEntry(name);
    QelUnitdata& u = static_cast<QelUnitdata*>(array_)[i];
    StoreWide(u.name, QEL_NAME_LEN, GetStringAttribValue("name", &attrs, 0).c_str(),
              "\"Unit\" attribute \"name\"");
    u.type = uint32_t(GetIntegerAttribValue("type", &attrs, 1));
    u.factor = GetDoubleAttribValue("factor", &attrs, 2);
    PushName(name);
    return this;
}

IntfXmlElement* IntfXmlUnits::endElement(const char* name) { return EndFlatList(name); }

// ---- item names --------------------------------------------------------------------------

IntfXmlItemNames::IntfXmlItemNames(const QelItemNamedata* names, const char* name) {
    const int n = XarCount(names, sizeof(QelItemNamedata), "the item names");
    StartElement(name ? name : "ItemNames");
    AddAttribute("size", int32_t(n));
    for (int i = 0; i < n; ++i)
        IntfXmlWriteNaming(
            [&] {
                StartElement("ItemName");
                AddAttribute("name", Narrow(names[i].name, QEL_NAME_LEN).c_str());
                AddAttribute("type", names[i].item_type);
                AddAttribute("id", names[i].item_id);
                EndElement();
            },
            [i] { return qel_entry_name("item name", i); });
    EndElement();
}

IntfXmlItemNames::IntfXmlItemNames(IntfXmlQelIntfDataExtend* parent, int32_t count)
    : IntfXmlExtListReader(parent, IntfXmlExtList::ItemNames, count, "ItemNames", "ItemName") {
    array_ = NewXar<QelItemNamedata>(10);
}

IntfXmlElement* IntfXmlItemNames::startElement(const char* name, IntfXmlAttributes& attrs) {
    RejectNested(NamesEmpty(), name, TopName().c_str());
    const int i = AppendXarEntry(name);
    QelItemNamedata& e = static_cast<QelItemNamedata*>(array_)[i];
    StoreWide(e.name, QEL_NAME_LEN, GetStringAttribValue("name", &attrs, 0).c_str(),
              "\"ItemName\" attribute \"name\"");
    e.item_type = uint32_t(GetIntegerAttribValue("type", &attrs, 1));
    e.item_id = uint32_t(GetIntegerAttribValue("id", &attrs, 2));
    PushName(name);
    return this;
}

IntfXmlElement* IntfXmlItemNames::endElement(const char* name) { return EndFlatList(name); }

// ---- general attributes ------------------------------------------------------------------

IntfXmlAttribs::IntfXmlAttribs(const void* attribs, const char* name) {
    const int n = HarCount(attribs, sizeof(QelGenAttribdata), "the general attributes");
    StartElement(name ? name : "Attribs");
    AddAttribute("size", int32_t(n));
    for (int i = 0; i < n; ++i)
        IntfXmlWriteNaming([&] { IntfXmlAttrib{HarEntry<const QelGenAttribdata>(attribs, i)}; },
                           [i] { return qel_entry_name("attribute", i); });
    EndElement();
}

IntfXmlAttribs::IntfXmlAttribs(IntfXmlQelIntfDataExtend* parent, int32_t count)
    : IntfXmlExtListReader(parent, IntfXmlExtList::Attribs, count, "Attribs", "Attrib") {
    array_ = NewHar(sizeof(QelGenAttribdata), 10);
}

IntfXmlElement* IntfXmlAttribs::startElement(const char* name, IntfXmlAttributes& attrs) {
    auto* e = static_cast<QelGenAttribdata*>(AppendHarEntry(name));
    DropChild(current_);
    StoreWide(e->name, QEL_NAME_LEN, GetStringAttribValue("name", &attrs, 0).c_str(),
              "\"Attrib\" attribute \"name\"");
    e->item_type = uint32_t(GetIntegerAttribValue("refType", &attrs, 1));
    e->item_id = uint32_t(GetIntegerAttribValue("refId", &attrs, 2));
    return current_ = MakeChild<IntfXmlAttrib>(e);
}

IntfXmlElement* IntfXmlAttribs::endElement(const char*) { return Finish(har_total(array_)); }

IntfXmlAttrib::IntfXmlAttrib(const QelGenAttribdata* e, const char* name) {
    StartElement(name ? name : "Attrib");
    AddAttribute("name", Narrow(e->name, QEL_NAME_LEN).c_str());
    AddAttribute("refType", e->item_type);
    AddAttribute("refId", e->item_id);
    StartElement("Value");
    switch (e->value_kind) {
    case 1:
    case 5:
        AddAttribute("type", int32_t(e->value_kind));
        AddAttribute("val", e->int_value);
        break;
    case 2:
        AddAttribute("type", int32_t(2));
        AddAttribute("val", e->double_value);
        break;
    case 3:
        AddAttribute("type", int32_t(3));
        AddAttribute("val", Narrow(e->text, QEL_ATTRIB_TEXT_LEN).c_str());
        break;
    default:
        break; // a value of another kind has no text form
    }
    EndElement();
    EndElement();
}

IntfXmlAttrib::IntfXmlAttrib(IntfXmlAttribs* parent, QelGenAttribdata* entry)
    : IntfXmlElement(parent), entry_(entry) {}

IntfXmlElement* IntfXmlAttrib::startElement(const char* name, IntfXmlAttributes& attrs) {
    RejectNested(NamesEmpty(), name, TopName().c_str());
    if (std::strcmp(name, "Value") != 0)
        IntfXmlThrowUnexpected(name, "Attrib");
    IntfXmlSeeOnce(haveValue_, name, "Attrib");
    // The later of two values stands alone.
    entry_->value_kind = 0;
    entry_->int_value = 0;
    entry_->double_value = 0;
    std::memset(entry_->text, 0, sizeof entry_->text);
    // A value of a kind without an element is written as "Value" without
    // attributes: the entry holds no value, quietly.
    const int32_t type = attrs.getLength() == 0 ? 0 : GetIntegerAttribValue("type", &attrs, 0);
    switch (type) {
    case 1:
        entry_->value_kind = 1;
        entry_->int_value = GetIntegerAttribValue("val", &attrs, 1);
        break;
    case 2:
        entry_->value_kind = 2;
        entry_->double_value = GetDoubleAttribValue("val", &attrs, 1);
        break;
    case 3:
        entry_->value_kind = 3;
        StoreWide(entry_->text, QEL_ATTRIB_TEXT_LEN,
                  GetStringAttribValue("val", &attrs, 1).c_str(), "\"Value\" attribute \"val\"");
        break;
    case 5:
        entry_->value_kind = 5;
        entry_->int_value = GetIntegerAttribValue("val", &attrs, 1);
        break;
    default:
        // No value kind a model holds: the entry holds no value. A type or
        // a value given all the same is told.
        if (type != 0) {
            IntfXmlTellPassedOver(IntfXmlPassed::ValueOfNoKind, [&] {
                char text[200];
                std::snprintf(text, sizeof text,
                              "\"Value\" of type %d, which no value kind carries: read as no value",
                              type);
                return std::string(text);
            });
        } else if (attrs.getLength() > 1) {
            IntfXmlTellPassedOver(IntfXmlPassed::ValueOfNoKind,
                                  "\"Value\" of type 0 (no value) holds a value: read as no value");
        }
        break;
    }
    PushName(name);
    return this;
}

IntfXmlElement* IntfXmlAttrib::endElement(const char* name) {
    if (!NamesEmpty()) {
        // The value is in the attributes; a text is no part of it.
        IntfXmlTellTextNotRead(name, Text());
        PopName(name);
        return this;
    }
    if (!haveValue_)
        IntfXmlTellMissingChild("Attrib", "Value", "no value");
    return Parent();
}

// ---- layers ------------------------------------------------------------------------------

IntfXmlLayers::IntfXmlLayers(const QelLayerdata* layers, const char* name) {
    const int n = XarCount(layers, sizeof(QelLayerdata), "the layers");
    StartElement(name ? name : "Layers");
    AddAttribute("size", int32_t(n));
    for (int i = 0; i < n; ++i)
        IntfXmlWriteNaming([&] { IntfXmlLayer{&layers[i]}; },
                           [i] { return qel_entry_name("layer", i); });
    EndElement();
}

IntfXmlLayers::IntfXmlLayers(IntfXmlQelIntfDataExtend* parent, int32_t count)
    : IntfXmlExtListReader(parent, IntfXmlExtList::Layers, count, "Layers", "Layer") {
    array_ = NewXar<QelLayerdata>(10);
}

IntfXmlElement* IntfXmlLayers::startElement(const char* name, IntfXmlAttributes& attrs) {
    const int i = AppendXarEntry(name);
    DropChild(current_);
    QelLayerdata& l = static_cast<QelLayerdata*>(array_)[i];
    StoreWide(l.name, QEL_NAME_LEN, GetStringAttribValue("name", &attrs, 0).c_str(),
              "\"Layer\" attribute \"name\"");
    l.layer_id = uint32_t(GetIntegerAttribValue("layer_id", &attrs, 1));
    l.status = uint32_t(GetIntegerAttribValue("operation", &attrs, 2));
    return current_ = MakeChild<IntfXmlLayer>(int32_t(i));
}

IntfXmlElement* IntfXmlLayers::endElement(const char*) { return Finish(xar_count(array_)); }

void IntfXmlLayers::SetIds(int32_t index, uint32_t* ids) {
    auto* layers = static_cast<QelLayerdata*>(array_);
    if (index < 0 || index >= xar_count(layers)) {
        xar_free(ids);
        IntfXmlThrowStatus(QEL_ERR_BAD_ARG, "IntfXmlLayers::SetIds");
    }
    xar_free(layers[index].item_ids);
    layers[index].item_ids = ids;
}

IntfXmlLayer::IntfXmlLayer(const QelLayerdata* l, const char* name) {
    const int n = XarCount(l->item_ids, sizeof(uint32_t), "the layer's item ids");
    StartElement(name ? name : "Layer");
    AddAttribute("name", Narrow(l->name, QEL_NAME_LEN).c_str());
    AddAttribute("layer_id", l->layer_id);
    AddAttribute("operation", l->status);
    IntfXmlQelIntSeq::Write(reinterpret_cast<const int32_t*>(l->item_ids), n, "Ids");
    EndElement();
}

IntfXmlLayer::IntfXmlLayer(IntfXmlLayers* parent, int32_t index)
    : IntfXmlElement(parent), list_(parent), index_(index) {}

IntfXmlElement* IntfXmlLayer::startElement(const char* name, IntfXmlAttributes& attrs) {
    if (std::strcmp(name, "Ids") != 0)
        IntfXmlThrowUnexpected(name, "Layer");
    CheckOnce(ids_, name, "Layer");
    return ids_ = MakeChild<IntfXmlQelIntSeq>(IntfXmlRequireSize(attrs, "Ids"));
}

IntfXmlElement* IntfXmlLayer::endElement(const char*) {
    // A layer without "Ids" keeps no id array.
    if (ids_) {
        int32_t* ids = ids_->TakeArray();
        if (ids)
            list_->SetIds(index_, reinterpret_cast<uint32_t*>(ids));
    }
    return Parent();
}

// ---- element colours ---------------------------------------------------------------------

IntfXmlEleColors::IntfXmlEleColors(const QelElemColordata* colors, const char* name) {
    const int n = XarCount(colors, sizeof(QelElemColordata), "the element colours");
    StartElement(name ? name : "EleColors");
    AddAttribute("size", int32_t(n));
    for (int i = 0; i < n; ++i) {
        StartElement("Col");
        AddAttribute("id", colors[i].item_id);
        AddAttribute("idx0", colors[i].color_index[0]);
        AddAttribute("idx1", colors[i].color_index[1]);
        EndElement();
    }
    EndElement();
}

IntfXmlEleColors::IntfXmlEleColors(IntfXmlQelIntfDataExtend* parent, int32_t count)
    : IntfXmlExtListReader(parent, IntfXmlExtList::ElemColors, count, "ElemColors", "Col") {
    array_ = NewXar<QelElemColordata>(10);
}

IntfXmlElement* IntfXmlEleColors::startElement(const char* name, IntfXmlAttributes& attrs) {
    RejectNested(NamesEmpty(), name, TopName().c_str());
    const int i = AppendXarEntry(name);
    QelElemColordata& c = static_cast<QelElemColordata*>(array_)[i];
    c.item_id = uint32_t(GetIntegerAttribValue("id", &attrs, 0));
    c.color_index[0] = uint32_t(GetIntegerAttribValue("idx0", &attrs, 1));
    c.color_index[1] = uint32_t(GetIntegerAttribValue("idx1", &attrs, 2));
    PushName(name);
    return this;
}

IntfXmlElement* IntfXmlEleColors::endElement(const char* name) { return EndFlatList(name); }

// ---- reference colours -------------------------------------------------------------------

IntfXmlRefColors::IntfXmlRefColors(const QelRefColordata* colors, const char* name) {
    const int n = XarCount(colors, sizeof(QelRefColordata), "the reference colours");
    StartElement(name ? name : "RefColors");
    AddAttribute("size", int32_t(n));
    for (int i = 0; i < n; ++i)
        IntfXmlWriteNaming([&] { IntfXmlRefColor{&colors[i]}; },
                           [i] { return qel_entry_name("reference colour", i); });
    EndElement();
}

IntfXmlRefColors::IntfXmlRefColors(IntfXmlQelIntfDataExtend* parent, int32_t count)
    : IntfXmlExtListReader(parent, IntfXmlExtList::RefColors, count, "RefColors", "RefColor") {
    array_ = NewXar<QelRefColordata>(10);
}

QelRefColordata& IntfXmlRefColors::Entry(int32_t index) {
    auto* colors = static_cast<QelRefColordata*>(array_);
    if (index < 0 || index >= xar_count(colors))
        IntfXmlThrowStatus(QEL_ERR_BAD_ARG, "IntfXmlRefColors::Entry");
    return colors[index];
}

IntfXmlElement* IntfXmlRefColors::startElement(const char* name, IntfXmlAttributes& attrs) {
    const int i = AppendXarEntry(name);
    DropChild(current_);
    QelRefColordata& c = static_cast<QelRefColordata*>(array_)[i];
    c.ambient = GetDoubleAttribValue("amb", &attrs, 0);
    c.diffuse = GetDoubleAttribValue("diff", &attrs, 1);
    c.specular = GetDoubleAttribValue("spec", &attrs, 2);
    c.specular_coef = GetDoubleAttribValue("spec-coef", &attrs, 3);
    c.reflection = GetDoubleAttribValue("ref", &attrs, 4);
    c.transmission = GetDoubleAttribValue("trans", &attrs, 5);
    return current_ = MakeChild<IntfXmlRefColor>(int32_t(i));
}

IntfXmlElement* IntfXmlRefColors::endElement(const char*) { return Finish(xar_count(array_)); }

IntfXmlRefColor::IntfXmlRefColor(const QelRefColordata* c, const char* name) {
    StartElement(name ? name : "RefColor");
    AddAttribute("amb", c->ambient);
    AddAttribute("diff", c->diffuse);
    AddAttribute("spec", c->specular);
    AddAttribute("spec-coef", c->specular_coef);
    AddAttribute("ref", c->reflection);
    AddAttribute("trans", c->transmission);
    AddDoublesElement("Color", c->color, 3);
    AddDoublesElement("Highlight", c->highlight, 3);
    WriteMap("Bump", c->bump);
    WriteMap("Decal", c->decal);
    WriteMap("Texture", c->texture);
    EndElement();
}

IntfXmlRefColor::IntfXmlRefColor(IntfXmlRefColors* parent, int32_t index)
    : IntfXmlElement(parent), list_(parent), index_(index) {}

namespace {
// The children of a reference colour, by their bit in its `seen_`.
const char* const kRefColorChildren[] = {"Color", "Highlight", "Bump", "Decal", "Texture"};
} // namespace

IntfXmlElement* IntfXmlRefColor::startElement(const char* name, IntfXmlAttributes& attrs) {
    RejectNested(NamesEmpty(), name, TopName().c_str());
    QelRefColordata& c = list_->Entry(index_);
    int child = 0;
    while (child < 5 && std::strcmp(name, kRefColorChildren[child]) != 0)
        ++child;
    if (child == 5)
        IntfXmlThrowUnexpected(name, "RefColor");
    if (child >= 2) {
        ReadMap(child == 2 ? c.bump : child == 3 ? c.decal : c.texture, attrs, name);
        See(child);
    }
    PushName(name);
    return this;
}

void IntfXmlRefColor::See(int child) {
    IntfXmlSeeOnce(seen_, 1u << child, kRefColorChildren[child], "RefColor");
}

IntfXmlElement* IntfXmlRefColor::endElement(const char* name) {
    if (NamesEmpty()) {
        // The entry starts zeroed.
        static const char* const kReadAs[] = {"0 0 0", "0 0 0", "empty names", "empty names",
                                              "empty names"};
        for (int child = 0; child < 5; ++child)
            if (!(seen_ & (1u << child)))
                IntfXmlTellMissingChild("RefColor", kRefColorChildren[child], kReadAs[child]);
        return Parent();
    }
    const std::string top = TopName();
    PopName(name);
    if (top == "Color") {
        IntfXmlParseXyz(Text(), list_->Entry(index_).color, "Color");
        See(0);
    } else if (top == "Highlight") {
        IntfXmlParseXyz(Text(), list_->Entry(index_).highlight, "Highlight");
        See(1);
    } else { // a map is its attributes
        IntfXmlTellTextNotRead(top.c_str(), Text());
    }
    return this;
}
