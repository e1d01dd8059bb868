// xml/side_documents: the documents that travel beside the interface data
// during a translation: the assembly information (xml_asminfo.h), the
// import-layer status (xml_layerstatus.h), and the translation log and
// translation options (xml_translog.h). This header brings in all of them.
// They use framework/ (and geometry/'s value readers for numbers).
#pragma once

#include "xml/side_documents/xml_asminfo.h"
#include "xml/side_documents/xml_layerstatus.h"
#include "xml/side_documents/xml_translog.h"
