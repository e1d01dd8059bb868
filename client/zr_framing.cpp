#include "client/zr_framing.h"

#include "api/zpi50_status.h"
#include "client/zr_proxy.h"

// ---- ZrRequestText ------------------------------------------------------------------

ZrRequestText::ZrRequestText(int opcode) : opcode_(opcode), text_(IntToString(opcode)) {}

ZrRequestText& ZrRequestText::AddText(const char* text) {
    text_ += '\n';
    if (text)
        text_ += text;
    return *this;
}

ZrRequestText& ZrRequestText::AddInt(int value) {
    text_ += '\n';
    text_ += IntToString(value);
    return *this;
}

ZrRequestText& ZrRequestText::AddDouble(double value) {
    text_ += '\n';
    text_ += DoubleToString(value);
    return *this;
}

ZrRequestText& ZrRequestText::AddDoubles(const double* values, int n) {
    text_ += '\n';
    for (int i = 0; values && i < n; ++i) {
        if (i)
            text_ += ' ';
        text_ += DoubleToString(values[i]);
    }
    return *this;
}

ZrRequestText& ZrRequestText::AddInts(const int* values, int n) {
    text_ += '\n';
    for (int i = 0; values && i < n; ++i) {
        if (i)
            text_ += ' ';
        text_ += IntToString(values[i]);
    }
    return *this;
}

ZrRequestText& ZrRequestText::AddLineFeed() {
    text_ += '\n';
    return *this;
}

// ---- ZrReply ---------------------------------------------------------------------------

namespace {
const char kLineFeed[] = "\n";
const char kBlank[] = " ";
// Fields stand by position: every line feed ends one, so an empty field
// keeps the fields after it in place.
constexpr int kByPosition = 1;
// Within a field, runs of blanks separate list items.
constexpr int kSkipEmpty = 0;
} // namespace

ZrReply::ZrReply() = default;
ZrReply::~ZrReply() = default;

void ZrReply::Parse(const char* reply) {
    text_ = reply ? reply : "";
    fields_ = text_.Split(kLineFeed, kByPosition);
}

int ZrReply::GetStatus() const { return fields_.empty() ? -1 : fields_[0].AsInt(); }

int ZrReply::GetWholeAsInt() const { return text_.AsInt(); }

const char* ZrReply::GetField(int i) const {
    return i >= 0 && i < GetFieldCount() ? fields_[size_t(i)].c_str() : "";
}

int ZrReply::GetInt(int i, int fallback) const {
    int value = fallback;
    if (i >= 0 && i < GetFieldCount())
        fields_[size_t(i)].ToInt(value);
    return value;
}

double ZrReply::GetDouble(int i, double fallback) const {
    double value = fallback;
    if (i >= 0 && i < GetFieldCount())
        fields_[size_t(i)].ToDouble(value);
    return value;
}

int ZrReply::GetListCount(int i) const {
    return i >= 0 && i < GetFieldCount() ? fields_[size_t(i)].GetNWords(kBlank, kSkipEmpty) : 0;
}

btkString ZrReply::GetListItem(int i, int k) const {
    return i >= 0 && i < GetFieldCount() ? fields_[size_t(i)].GetWord(k, kBlank, kSkipEmpty)
                                         : btkString();
}

std::vector<int> ZrReply::GetIntList(int i, int fallback) const {
    std::vector<int> values;
    if (i < 0 || i >= GetFieldCount())
        return values;
    for (const btkString& item : fields_[size_t(i)].Split(kBlank, kSkipEmpty)) {
        int v = fallback;
        item.ToInt(v);
        values.push_back(v);
    }
    return values;
}

std::vector<double> ZrReply::GetDoubleList(int i, double fallback) const {
    std::vector<double> values;
    if (i < 0 || i >= GetFieldCount())
        return values;
    for (const btkString& item : fields_[size_t(i)].Split(kBlank, kSkipEmpty)) {
        double v = fallback;
        item.ToDouble(v);
        values.push_back(v);
    }
    return values;
}

// ---- sending ---------------------------------------------------------------------------

bool ZorvanProxy::SendRequest(const char* request, btkString& reply, bnfsError& error) {
    if (!connection_) {
        error.Set(BNFS_ERR_NOT_OPEN, "the proxy has no connection");
        return false;
    }
    return BNFSConnection::OtherRequest(connection_, request, reply, error);
}

int ZorvanProxy::SendRequest(const ZrRequestText& request, ZrReply& reply) {
    btkString text;
    bnfsError error;
    if (!SendRequest(request.c_str(), text, error))
        return ZPI_REQUEST_NOT_SENT;
    reply.Parse(text);
    return reply.GetStatus();
}

bool ZorvanProxy::SendRequestNoReply(const ZrRequestText& request) {
    btkString text;
    bnfsError error;
    return SendRequest(request.c_str(), text, error);
}
