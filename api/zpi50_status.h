// Every status that the library raises or answers, by name.
//
// The interface operations raise KXSimple (xexcept.h) with one of these as
// its status (KXSimple::GetStatus). A status raised with a reason (the
// document statuses of WriteZPI, -54 and -92 of SaveAsNeutral, 13 of a
// closed model) carries what failed and why, the path or the item among it,
// in the exception's what() and in the journal; KXSimpleReason gives the
// reason alone. ReadZPI raises nothing: it answers a null model and writes
// its reason on standard error.
//
// The client's requests and the host-toolkit functions answer a result: 0
// for success, one of the request results below, or the host's own status
// passed on as it came (a few requests take the host's -5 as a success with
// their outputs filled). The plain C entry points (InitializeClient,
// RegisterExportTranslator, ...) and CreatePIModel_global answer 1 for
// success and 0 for failure instead.
//
// The values are plain int constants, usable from C as well.
#pragma once

enum {
    ZPI_OK = 0, // success

    // ---- model operations (raised) ----
    // The model has no interface data: made while the storage mode was off
    // (SaveAsNeutral), or closed (SaveAsNeutral, WriteZPI and the AddPI...
    // operations refuse a closed model).
    ZPI_STATUS_NO_INTF_DATA = 13,
    // The neutral stream name is held, by another save in the process or by
    // a save that runs on this very thread (a stream whose Write saves
    // again): nothing was written.
    ZPI_STATUS_NEUTRAL_STREAM_TAKEN = -91,
    // The neutral part did not reach the stream whole: the stream refused a
    // write or threw (the reason says which); the stream is left open.
    ZPI_STATUS_NEUTRAL_WRITE_FAILED = -92,

    // ---- host record statuses (raised by the operations that fill or
    // convert records; answered by the record routines) ----
    ZPI_STATUS_DATUM_TYPE = -1,   // a datum body of a type other than 25, 62 and 176
    ZPI_STATUS_BAD_ARG = -2,      // a null, inconsistent or missing record, count or index
                                  // (also an object made in cache mode, which has no record)
    ZPI_STATUS_NO_MEMORY = -10,   // memory ran out
    ZPI_STATUS_WRONG_KIND = -18,  // a getter of one kind asked of a record of another
    ZPI_STATUS_BSPLINE_DEGREE = -41,    // a B-spline of degree 4 or more
    ZPI_STATUS_BSPLINE_UNCLAMPED = -42, // a B-spline whose ends are not clamped
    ZPI_STATUS_BSPLINE_SPANS = -43,     // a B-spline profile that fails the span check
    ZPI_STATUS_PROFILE_KIND = -44,      // a profile curve of a kind the surface does not take

    // ---- documents (WriteZPI raises them with the path and the reason) ----
    ZPI_STATUS_DOC_MALFORMED = -50, // the document breaks its vocabulary
    ZPI_STATUS_DOC_PARSE = -51,     // not well-formed XML, or empty
    ZPI_STATUS_DOC_OPEN = -52,      // the document cannot be opened or made: no name, no such
                                    // folder, a directory, a FIFO, a folder that is not writable
    ZPI_STATUS_DOC_WRITE = -53,     // the bytes did not all arrive (no space left, say); the
                                    // old document stays as it was
    ZPI_STATUS_DOC_RECORD = -54,    // a record handed to a writer is inconsistent, or holds a
                                    // text that a document cannot carry (WriteZPI: a name
                                    // with a control character, U+FFFE or U+FFFF), or an
                                    // item named in the reason that no model holds (read as
                                    // it stands) or that a neutral part cannot hold
                                    // (SaveAsNeutral)

    // ---- results of the client's requests and host-toolkit functions ----
    ZPI_REQUEST_NOT_SENT = 100,        // the request did not go out (no connection, not started,
                                       // a text that cannot travel: a line feed in a text, a
                                       // wide text that is not whole UTF-16, told; a hand-over
                                       // file that was not written whole); nothing was read. So
                                       // for a reply holding a zero byte before its end, which
                                       // would cut its texts short (told). From a request
                                       // answered by a document (GetAssemblyInfo 154,
                                       // GetAtbImportLayers 161, GetTranslationOptions 183) also:
                                       // the host answered another status than 0, its reply
                                       // named no document where one is read, or its document
                                       // could not be read or held no record; each cause (a
                                       // request that did not go out too) is told in one line
                                       // on standard error, and every output is null (a record
                                       // read before a later document failed is freed).
                                       // GetQelIntfData (153) answers a null model instead, and
                                       // tells why the same way
    ZPI_REQUEST_BAD_REPLY = -1,        // the reply's status is not a number (QelMessageDisplay:
                                       // the message's format cannot be read), or a text of
                                       // the reply is not UTF-8 where a wide text or field is
                                       // handed back (not handed back, the output left as it
                                       // was, told)
    ZPI_REQUEST_BAD_ARG = -2,          // a null handle, record or array the function must read
    ZPI_REQUEST_NO_MEMORY = -10,       // no memory for a handle the function makes
    ZPI_REQUEST_TEXT_TOO_LONG = -24,   // the host's text does not fit the caller's buffer, or
                                       // a record's wide field (told) (left untouched)
};
