// The assembly information document ("assemInfo.xml"): an assembly as a
// tree of models and components.
//
//   	<Model name="asm" type="t" src_sys="s">
//   	<Comps size="n">
//   	<Comp ID="id">
//   	<Matrix>16 numbers, row after row, each followed by one blank</Matrix>
//   	<Model ...> ... </Model>           (only for a sub-assembly)
//   	</Comp>
//   	</Comps>                           (only when the record has a list)
//   	</Model>
//
// The record is qel_model_basic_info with an xar of component records.
//
// Writing: IntfXmlModel(path, record) writes the whole document and closes
// it. A record whose sub-assemblies lead back to one of its ancestors, or
// nest deeper than INTFXML_MAX_ASM_NESTING, is refused (IntfXmlError,
// INTFXML_ERR_RECORD) instead of being written without end; a sub-assembly
// shared by two components is written under each. So is a record whose
// name, or a sub-assembly's, holds a lone surrogate (it would be written as
// another character), naming it ("the sub-assembly of component 7: its
// name: it holds a lone surrogate (U+D800) at unit 1").
//
// Reading: make IntfXmlModel(nullptr), parse (IntfXmlParseDocument), then
// TakeData; or call IntfXmlModel::Read. The reader builds the tree as the
// elements arrive and owns it until taken; a document that fails half-way
// leaks nothing. Missing "type", "src_sys" and "ID" read as -1, a missing
// "name" as the empty text; a name longer than 259 UTF-16 units is cut on
// a character boundary. Strict about structure: "Comps" needs its "size"
// and exactly that many "Comp" elements, a "Comp" needs one "Matrix" of
// exactly 16 numbers and at most one "Model", and anything else is an
// error (IntfXmlError, INTFXML_ERR_MALFORMED). The caller frees a tree
// taken with IntfXmlFreeModelInfo.
//
// ModelBasicInfoMap: the process-wide map of assembly information records
// by model name (wide text, compared unit by unit), made empty while the
// library loads. It owns the records put into it and frees what it still
// holds when the library unloads.
#pragma once

#include "api/zpi50_export.h"
#include "api/qel_records.h"
#include "xml/framework/xml_element.h"
#include "xml/framework/xml_writer.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>

// Deepest nesting of sub-assemblies a written document may have (each
// level adds three elements; the reader allows INTFXML_MAX_DEPTH).
constexpr int INTFXML_MAX_ASM_NESTING = 80;

class IntfXmlComps;

class IntfXmlModel : public IntfXmlElement, public IntfXmlWriting {
public:
    // Writer: the whole document for `info` (a local file synced as
    // `durability` says).
    IntfXmlModel(const char* path, const qel_model_basic_info* info,
                 kkDurability durability = kkDurability::Durable);
    // Top reader (null parent): takes name, type and source system from
    // the root "Model".
    explicit IntfXmlModel(IntfXmlElement* parent);
    // The same with a first name, type and source system: a top reader
    // (null parent) takes the root's values instead; with a parent the
    // reader owns a record of its own that starts with these values, the
    // "Model" start tag counting as read.
    IntfXmlModel(IntfXmlElement* parent, const char* name, int32_t type, int32_t sourceSystem);
    // Reader of a nested "Model" whose start tag was read into `info` (a
    // record of the tree, owned by the tree's top reader).
    IntfXmlModel(IntfXmlElement* parent, qel_model_basic_info* info);
    ~IntfXmlModel() override;

    IntfXmlElement* startElement(const char* name, IntfXmlAttributes& attrs) override;
    IntfXmlElement* endElement(const char* name) override;

    // The record read (still owned by the top reader; null before the root
    // "Model" or once taken).
    const qel_model_basic_info* GetData() const { return info_; }
    // Hands the tree over (null for a reader of a nested "Model", whose
    // record belongs to the tree).
    qel_model_basic_info* TakeData();

    // Reads the document at `path`; the caller owns the tree. Throws
    // IntfXmlError.
    static qel_model_basic_info* Read(const char* path);

private:
    qel_model_basic_info* info_ = nullptr;
    bool owns_ = false;    // the top reader owns the whole tree
    bool started_ = false; // the model's own start tag was seen
    IntfXmlComps* comps_ = nullptr;
};

// Writes one "Model" element with everything below it.
void WriteAsmModelElement(const qel_model_basic_info* info);

// Reader of a "Comps": appends components to the model's list.
class IntfXmlComps : public IntfXmlElement {
public:
    IntfXmlComps(IntfXmlModel* parent, qel_model_basic_info* info, int32_t size);
    IntfXmlElement* startElement(const char* name, IntfXmlAttributes& attrs) override;
    IntfXmlElement* endElement(const char* name) override;
    // Each finished "Comp" reader is disposed of at once.
    bool IsListHandler() const override { return true; }

private:
    friend class IntfXmlComp;
    qel_model_basic_info* info_;
    int32_t size_;
};

// Reader of one "Comp": component `index` of the model's list.
class IntfXmlComp : public IntfXmlElement {
public:
    IntfXmlComp(IntfXmlComps* parent, int32_t index);
    IntfXmlElement* startElement(const char* name, IntfXmlAttributes& attrs) override;
    IntfXmlElement* endElement(const char* name) override;

private:
    qel_model_component_info& Component() const;

    IntfXmlComps* list_;
    int32_t index_;
    bool haveMatrix_ = false;
    bool haveModel_ = false;
};

// Words 0 to 15 of the text into the matrix, row after row; exactly 16
// numbers, else IntfXmlError (INTFXML_ERR_MALFORMED).
void ParseMatrix4x4(std::string_view text, double (*matrix)[4]);

// Frees a tree taken from the reader: every component list and
// sub-assembly record, then the record itself (accepts null).
void IntfXmlFreeModelInfo(qel_model_basic_info* info);

class ModelBasicInfoMap {
public:
    static ModelBasicInfoMap& Instance();

    ModelBasicInfoMap() = default;
    ModelBasicInfoMap(const ModelBasicInfoMap&) = delete;
    ModelBasicInfoMap& operator=(const ModelBasicInfoMap&) = delete;
    ~ModelBasicInfoMap();

    // Takes over `info` under its name; a record held under the same name
    // is freed. False (nothing taken) for null.
    bool Put(qel_model_basic_info* info);
    // The record held under `name` (the field's text), or null; it stays
    // the map's and lives until replaced, taken or cleared.
    const qel_model_basic_info* Find(const char16_t* name) const;
    // Hands the record over and forgets it; null when none.
    qel_model_basic_info* Take(const char16_t* name);
    size_t Size() const;
    void Clear();

private:
    static std::u16string Key(const char16_t* name);

    mutable std::mutex lock_;
    std::map<std::u16string, qel_model_basic_info*> records_;
};
