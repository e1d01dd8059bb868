// The import-layer status document ("atbLayers.xml"): what an import did
// with each layer of the source data.
//
//   <?xml version="1.0" encoding="UTF-8"?>
//   	<Layers size="n">
//   	<Layer IntfId="i" Type="t" ImportStatus="s" CrvCount="c" SrfCount="f" TrmSrfCount="m">
//   	<Name>name</Name>
//   	<OrigName>name in the source data</OrigName>
//   	</Layer>
//   	...
//   	</Layers>
//
// The records travel as an xar of atb_import_layer; whoever receives an
// array frees it (IntfXmlFreeAtbImportLayers).
//
// Reading: make IntfXmlAtbImportLayers(nullptr), parse (IntfXmlParseDocument),
// then TakeData; or call IntfXmlAtbImportLayers::Read. The reader grows its
// array as the layers arrive ("size" never decides how much memory is
// taken) and requires exactly "size" of them. Elements other than "Layers",
// "Layer", "Name" and "OrigName" are passed over (within "Layers" each is
// told); a "Name" or "OrigName" that a "Layer" lacks is told and read as
// an empty name, one given twice is told and read as the later one. A
// "Layer" attribute that is missing, or not at the position the writer
// puts it, reads as -1; one that is there but not an integer is an error.
// Names longer than 80 UTF-16 units are cut on a character boundary. A
// "Layer" outside "Layers", a second "Layers" and counts that disagree
// with "size" throw IntfXmlError (INTFXML_ERR_MALFORMED). Without a
// "Layers" element there is no array (TakeData gives null).
#pragma once

#include "api/qel_records.h"
#include "api/zpi50_export.h"
#include "xml/framework/xml_element.h"
#include "xml/framework/xml_writer.h"

class IntfXmlAtbImportLayer;

class IntfXmlAtbImportLayers : public IntfXmlElement, public IntfXmlWriting {
public:
    // Writer: the whole document for `layers` (an xar, null for none).
    // Throws IntfXmlError: INTFXML_ERR_RECORD for an array of other
    // records or a name holding a lone surrogate, which would be written as
    // another character ("import layer at index 1: its original name: it
    // holds a lone surrogate (U+DC00) at unit 3"), or as IntfXmlWriteDocument
    // does. A local file is synced as
    // `durability` says.
    IntfXmlAtbImportLayers(const char* path, const atb_import_layer* layers,
                           kkDurability durability = kkDurability::Durable);
    // Reader; a null parent makes it a document's top reader.
    explicit IntfXmlAtbImportLayers(IntfXmlElement* parent);
    ~IntfXmlAtbImportLayers() override;

    IntfXmlElement* startElement(const char* name, IntfXmlAttributes& attrs) override;
    IntfXmlElement* endElement(const char* name) override;
    // Each finished "Layer" reader is disposed of at once.
    bool IsListHandler() const override { return true; }

    // The layers read, still owned by the reader (null without "Layers").
    const atb_import_layer* GetData() const { return layers_; }
    // Hands the array over; null without "Layers" or once taken.
    atb_import_layer* TakeData();

    // Reads the document at `path`; the caller owns the array (null when
    // the document has no "Layers"). Throws IntfXmlError.
    static atb_import_layer* Read(const char* path);

private:
    friend class IntfXmlAtbImportLayer;
    atb_import_layer* Record(int32_t index) { return layers_ + index; }

    atb_import_layer* layers_ = nullptr;
    int32_t size_ = -1; // announced by "Layers"
    int32_t read_ = 0;  // "Layer" elements read so far
    int depth_ = 0;     // open elements this reader has seen
    int layersDepth_ = 0; // depth of the open "Layers", 0 when none is open
    bool sawLayers_ = false;
};

// Reader of one "Layer": fills record `index` of its parent's array.
class IntfXmlAtbImportLayer : public IntfXmlElement {
public:
    IntfXmlAtbImportLayer(IntfXmlAtbImportLayers* parent, int32_t index);
    IntfXmlElement* startElement(const char* name, IntfXmlAttributes& attrs) override;
    IntfXmlElement* endElement(const char* name) override;

private:
    IntfXmlAtbImportLayers* list_;
    int32_t index_;
    unsigned seen_ = 0; // bit 0: "Name" came, bit 1: "OrigName"
};

// Frees an array of layers (accepts null).
void IntfXmlFreeAtbImportLayers(atb_import_layer* layers);
