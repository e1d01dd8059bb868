// Requests to the host and the records that take its replies apart.
//
// A request is one text: the decimal opcode, then every field preceded by
// one line feed ("%d" integers, "%.18lg" doubles, texts as they are). A
// reply is fields separated by line feeds, the status first. Fields stand
// by position: an empty field is a field (the reply "1\n3\n\n0.001" has the
// fields 1, 3, "" and 0.001), so an empty text value never shifts the
// values after it. A list inside one field has its items separated by
// blanks (runs of blanks count as one).
//
// How a request member is written (a member of ZorvanProxy, see
// client/zr_proxy.h):
//
//     int ZorvanProxy::CreateModel(const char* name, int value, int* out) {
//         ZrReply reply;
//         int status = SendRequest(ZrRequestText(101).AddText(name).AddInt(value), reply);
//         if (status != 0)
//             return status;               // 100: not sent; else the host's code
//         if (out)
//             *out = reply.GetInt(1, -1);
//         return 0;
//     }
//
// SendRequest answers 100 when the request did not go out (no connection,
// a failed exchange) and otherwise the reply's status (field 0 as an
// integer, -1 when it is not a number).
#pragma once

#include "api/zpi50_export.h"
#include "btkstring.h"

#include <cstdint>
#include <vector>

// ---- request text ----------------------------------------------------------------

class ZrRequestText {
public:
    explicit ZrRequestText(int opcode);

    // One field each. A null text is an empty field.
    ZrRequestText& AddText(const char* text);
    ZrRequestText& AddInt(int value);
    ZrRequestText& AddDouble(double value);
    // One field of `n` values joined by one blank (a point, a matrix row).
    ZrRequestText& AddDoubles(const double* values, int n);
    ZrRequestText& AddInts(const int* values, int n);
    // A line feed with no field after it (a request that ends in one).
    ZrRequestText& AddLineFeed();

    int GetOpcode() const { return opcode_; }
    const btkString& GetText() const { return text_; }
    const char* c_str() const { return text_.c_str(); }

private:
    int opcode_;
    btkString text_;
};

// ---- replies ---------------------------------------------------------------------

// Every field of a reply, in order. One record serves every reply shape:
// a request reads the fields that its shape has. Getters of a field that
// is missing behave as for a field that is not a number.
class ZrReply {
public:
    ZrReply();
    virtual ~ZrReply();

    // Keeps the text and its fields (replacing what a former Parse kept).
    virtual void Parse(const char* reply);

    // Field 0 as an integer, -1 when it is not a number.
    virtual int GetStatus() const;
    // The whole reply read as one integer, -1 when it holds anything but a
    // number (the replies that are nothing but a status).
    int GetWholeAsInt() const;

    int GetFieldCount() const { return static_cast<int>(fields_.size()); }
    // Field i as text; "" when there is no field i.
    const char* GetField(int i) const;
    // Field 1.
    const char* GetValue() const { return GetField(1); }
    // Field i as a number; `fallback` when it is not one.
    int GetInt(int i, int fallback = 0) const;
    double GetDouble(int i, double fallback = 0.0) const;
    // The blank-separated items of field i.
    int GetListCount(int i) const;
    btkString GetListItem(int i, int k) const;
    // Items of field i read as numbers; an item that is not one gives
    // `fallback`.
    std::vector<int> GetIntList(int i, int fallback = 0) const;
    std::vector<double> GetDoubleList(int i, double fallback = 0.0) const;

    const btkString& GetText() const { return text_; }

protected:
    btkString text_;
    std::vector<btkString> fields_;
};

// Reply of request 109: its only field is the value (0 when it is not a
// number), which is also what GetStatus gives.
class ZrReplyIsModelUsed : public ZrReply {
public:
    int GetStatus() const override { return GetIsUsed(); }
    int GetIsUsed() const { return GetInt(0, 0); }
};
