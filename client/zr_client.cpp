#include "client/zr_client.h"

#include "api/zpi50_client.h"
#include "client/zr_bnfs.h"
#include "client/zr_callback.h"
#include "client/zr_jobs.h"
#include "client/zr_requests_internal.h"
#include "btk_quoted.h"
#include "kbeside.h"
#include "kernel/model/session_factory.h"
#include "process.h"
#include "thr.h"
#include "uniloc.h"
#include "xml/framework/sax_handler_class.h"
#include "xml/framework/xml_element.h"
#include "xmemory.h"

#include <xercesc/parsers/SAXParser.hpp>
#include <xercesc/sax/HandlerBase.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/SecurityManager.hpp>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <limits>
#include <string>
#include <string_view>

#include <unistd.h>


namespace xc = XERCES_CPP_NAMESPACE;

namespace {

// The process's client and the facade's proxy. Never destroyed with the
// process: a callback thread may still run at exit. ZrShutdownClient
// releases them explicitly.
struct ClientState {
    std::mutex mutex;
    xrchandle<ZrClient> client;
    xrchandle<ZorvanProxy> facade;
};

ClientState& clientState() {
    static ClientState* s = new ClientState;
    return *s;
}

} // namespace

// ---- reply time limits ----------------------------------------------------------------------

namespace {
constexpr const char* kReplyTimeoutVariable = "ZORVAN_REPLY_TIMEOUT";
constexpr double kDefaultReplyTimeout = 300;
constexpr double kLongestReplyTimeout = 1000000;

// Whether a decimal number without a sign that std::from_chars finds out
// of range is too large (else too close to 0): whether the power of ten of
// its first digit other than 0, with its exponent, is positive.
bool TooLarge(std::string_view number) {
    long long power = 0;
    bool nonzero = false, point = false;
    size_t i = 0;
    for (; i < number.size() && (number[i] == '.' || (number[i] >= '0' && number[i] <= '9')); ++i) {
        if (number[i] == '.') {
            point = true;
            continue;
        }
        nonzero = nonzero || number[i] != '0';
        if (nonzero && !point)
            ++power; // a digit before the point
        else if (!nonzero && point)
            --power; // a 0 after the point, before any other digit
    }
    if (i < number.size()) { // the exponent
        const bool minus = number[++i] == '-';
        long long exponent = 0;
        for (i += minus || number[i] == '+'; i < number.size(); ++i)
            exponent = std::min(10 * exponent + (number[i] - '0'), 1LL << 40);
        power += minus ? -exponent : exponent;
    }
    return power > 0;
}

} // namespace

double ZrParseReplyTimeout(const char* text, std::string* diagnostic) {
    if (diagnostic)
        diagnostic->clear();
    if (!text)
        return kDefaultReplyTimeout;
    double seconds = 0;
    bool tiny = false;
    if (!btk_number_from_text(text, true, seconds)) {
        seconds = -1;
        // A number beyond what a double holds: as far from 0 as there is,
        // or as near. (The blanks around it are the C locale's, as there.)
        auto blank = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
        std::string_view number(text);
        while (!number.empty() && blank(number.front()))
            number.remove_prefix(1);
        while (!number.empty() && blank(number.back()))
            number.remove_suffix(1);
        double unused;
        const char* end = number.data() + number.size();
        const auto r = std::from_chars(number.data(), end, unused);
        if (!number.empty() && r.ptr == end && r.ec == std::errc::result_out_of_range &&
            number[0] != '-') {
            tiny = !TooLarge(number);
            seconds = tiny ? std::numeric_limits<double>::denorm_min()
                           : std::numeric_limits<double>::infinity();
        }
    }
    const bool positive = seconds > 0; // (not NaN)
    const double limit = !positive ? kDefaultReplyTimeout : std::min(seconds, kLongestReplyTimeout);
    const char* why = !positive                        ? "not a positive number of seconds"
                      : seconds > kLongestReplyTimeout ? "above the longest limit"
                      : tiny                           ? "below the shortest limit"
                                                       : nullptr;
    if (diagnostic && why)
        *diagnostic = std::string(kReplyTimeoutVariable) + "=" + btkQuoted(text) + " is " + why +
                      "; " + ZrDescribeReplyTimeout(limit);
    return limit;
}

std::string ZrDescribeReplyTimeout(double seconds) {
    // Without an exponent, unless that takes more than 32 characters.
    char digits[32];
    auto r = std::to_chars(digits, digits + sizeof digits, seconds, std::chars_format::fixed);
    if (r.ec != std::errc())
        r = std::to_chars(digits, digits + sizeof digits, seconds);
    return "the reply time limit is " + std::string(digits, r.ptr) + " seconds";
}

double ZrReadReplyTimeout(const char* text) {
    std::string diagnostic;
    const double seconds = ZrParseReplyTimeout(text, &diagnostic);
    // Told whatever the run mode: a setting that is not taken as it stands
    // must not go unnoticed.
    if (!diagnostic.empty())
        IntfXmlTellFailure(diagnostic);
    return seconds;
}

double ZrGetReplyTimeout() {
    struct Read {
        double seconds;
        std::string diagnostic;
    };
    // Lives for the process: a callback thread may ask during exit.
    static const Read* const read = [] {
        auto* made = new Read;
        made->seconds = ZrParseReplyTimeout(btk_getenv(kReplyTimeoutVariable), &made->diagnostic);
        return made;
    }();
    // Told once, as ZrReadReplyTimeout tells it, by a caller after the
    // once-only read, so that no thread waits for standard error inside it.
    static std::atomic<bool> told{false};
    if (!read->diagnostic.empty() && !told.load(std::memory_order_relaxed) && !told.exchange(true))
        IntfXmlTellFailure(read->diagnostic);
    return read->seconds;
}

void ZrApplyReplyLimits(BNFSConnection* connection) {
    if (!connection)
        return;
    connection->SetTimeout(ZrGetReplyTimeout());
    connection->SetRestTimeout(kZrReplyRestTimeout);
}

// ---- ZorvanProxy: construction and connection ------------------------------------------------

ZorvanProxy::ZorvanProxy() {
    InitFileLocations();
    ZrRegisterBnfsOpener();
}

namespace {

// Why the last Connect of a proxy failed, kept beside the proxy (whose
// installed layout has no room for it); none after a Connect that
// connected.
KBeside<std::string>& connectFailures() {
    static KBeside<std::string>* const failures = new KBeside<std::string>;
    return *failures;
}

} // namespace

ZorvanProxy::~ZorvanProxy() {
    connectFailures().Drop(this);
    BNFSConnection::Close(connection_);
}

const char* ZorvanProxy::GetConnectFailure() const {
    const std::string* failure = connectFailures().Find(this);
    return failure ? failure->c_str() : "";
}

bool ZorvanProxy::SplitServerUrl(const char* url, std::string& host, int32_t& port) {
    const btkString text(url ? url : "");
    // Words are taken without empty ones: "bnfs", "//host", "4711/...".
    if (text.GetNWords(":", 0) < 3)
        return true;
    host = text.GetWord(1, ":", 0).GetWord(0, "/", 0).str();
    // The leading digits of the port word; anything else is no port.
    const btkString word = text.GetWord(2, ":", 0).GetWord(0, "/", 0);
    const char* p = word.c_str();
    while (*p == ' ' || *p == '\t')
        ++p;
    int64_t value = 0;
    bool digits = false;
    while (*p >= '0' && *p <= '9' && value <= 65535) {
        value = value * 10 + (*p - '0');
        digits = true;
        ++p;
    }
    port = digits && value <= 65535 ? int32_t(value) : -1;
    return true;
}

namespace {

// Whether `url` names the bnfs scheme (in any case, folded in ASCII
// whatever the locale).
bool HasBnfsScheme(const char* url) {
    static constexpr char kScheme[] = "bnfs://";
    if (!url)
        return false;
    for (size_t i = 0; kScheme[i]; ++i) {
        const char c = url[i] >= 'A' && url[i] <= 'Z' ? char(url[i] - 'A' + 'a') : url[i];
        if (c != kScheme[i])
            return false;
    }
    return true;
}

} // namespace

bool ZorvanProxy::Connect(const char* url) {
    // A URL without host and port leaves both fields as they were; it then
    // opens nothing, rather than a connection to the server of an earlier URL.
    const bool named = btkString(url ? url : "").GetNWords(":", 0) >= 3;
    SplitServerUrl(url, host_, port_);
    serverUrl_ = url ? url : "";
    connectFailures().Drop(this);
    BNFSConnection::CacheEnable(true);
    // A connection held before would be lost: close it first.
    BNFSConnection::Close(connection_);
    connection_ = nullptr;
    // Only a bnfs URL with a host and a port of 1..65535 is connected to.
    if (!named || !HasBnfsScheme(url) || host_.empty() || port_ < 1) {
        connectFailures().Set(this, btkQuoted(serverUrl_) + " is not a bnfs://host:port/ URL");
        return false;
    }
    bnfsError error;
    connection_ = BNFSConnection::Open(error, host_.c_str(), port_);
    if (!connection_) {
        // The base layer's reason begins with the address and the call
        // that failed ("127.0.0.1:1: connect: ..."): the address is said
        // here once.
        const std::string address = btkQuoted(host_ + ":" + IntToString(port_).str());
        std::string why = error.message;
        for (const std::string& head : {address + ": ", std::string("connect: ")})
            if (why.compare(0, head.size(), head) == 0)
                why.erase(0, head.size());
        connectFailures().Set(this, "cannot connect to " + address + " (" + btkQuoted(serverUrl_) +
                                        "): " + why);
        return false;
    }
    ZrApplyReplyLimits(connection_);
    // A host that closed the connection is reached again by the next request.
    connection_->SetReopenWhenClosed(true);
    return true;
}

// ---- ZrClient -----------------------------------------------------------------------------

ZrClient::ZrClient(const char* serverUrl) {
    try {
        xc::XMLPlatformUtils::Initialize();
    } catch (const xc::XMLException&) {
        // The parser reports its own failure when it is used.
    }
    serverUrl_ = serverUrl ? serverUrl : "";
    proxy_ = new ZorvanProxy();
}

ZrClient::~ZrClient() {
    delete parser_;
    parser_ = nullptr;
    xc::XMLPlatformUtils::Terminate();
}

xrchandle<ZrClient> ZrClient::Get() {
    ClientState& s = clientState();
    std::lock_guard<std::mutex> hold(s.mutex);
    return s.client;
}

btkString ZrClient::GetCallbackUrl() const {
    std::lock_guard<std::mutex> hold(mutex_);
    return callbackUrl_;
}

ZrCallbackServer* ZrClient::GetCallbackServer() const {
    std::lock_guard<std::mutex> hold(mutex_);
    return callbackServer_;
}

bool ZrClient::StartCallbackServer() {
    EnableThreading();
    std::unique_ptr<ZrCallbackServer> server(new ZrCallbackServer());
    if (!server->Init() || !server->Mount())
        return false;
    std::unique_ptr<ZrServerThread> thread(new ZrServerThread(server.get()));
    if (!thread->Execute())
        return false;
    std::lock_guard<std::mutex> hold(mutex_);
    callbackUrl_ = server->GetCallbackUrl();
    callbackServer_ = server.get();
    servers_.push_back(Running{server.release(), thread.release()});
    return true;
}

bool ZrClient::ServesAt(const char* host, int port) const {
    btkString address;
    if (!host || !btkGetCurHostAddress(address) || address.str() != host)
        return false;
    std::lock_guard<std::mutex> hold(mutex_);
    for (const Running& r : servers_)
        if (r.server->GetPort() == port)
            return true;
    return false;
}

void ZrClient::HoldInArea(const char* inner, bool hold) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const Running& r : servers_)
        r.server->HoldInArea(inner, hold);
}

void ZrClient::StopCallbackServers() {
    std::vector<Running> running;
    {
        std::lock_guard<std::mutex> hold(mutex_);
        running.swap(servers_);
        callbackServer_ = nullptr;
        callbackUrl_.Clear();
    }
    for (Running& r : running)
        r.server->RequestStop();
    for (Running& r : running) {
        r.thread->Join();
        delete r.thread;
        delete r.server;
    }
}

xc::SAXParser* ZrClient::GetParser(IntfXmlSaxHandler* handler) {
    if (!parser_) {
        auto* parser = new xc::SAXParser();
        parser->setValidationScheme(xc::SAXParser::Val_Never);
        parser->setDoNamespaces(false);
        parser->setDoSchema(false);
        parser->setLoadExternalDTD(false);
        // Documents come from outside: no external entities.
        parser->setDisableDefaultEntityResolution(true);
        parser_ = parser;
    }
    xc::HandlerBase* base = handler; // null clears both handlers
    parser_->setDocumentHandler(base);
    parser_->setErrorHandler(base);
    return parser_;
}

bool ZrClient::RunLoop() {
    // The host learns the callback URL only from the registration: when it
    // did not take it, no job can ever come and the loop would wait for
    // ever. Told whatever the run mode, as a start-up that fails.
    std::string why;
    if (!zr_detail::Register(*proxy_, GetCallbackUrl(), static_cast<int>(::getpid()), &why)) {
        IntfXmlTellFailure("cannot register with the host at " + btkQuoted(proxy_->GetServerUrl()) +
                           " (request 111): " + why + "; no job can come");
        return false;
    }
    ZrRunJobLoop();
    return true;
}

// ---- exported functions ------------------------------------------------------------------

xrchandle<ZorvanProxy> ZrInitializeClient(const char* serverUrl) {
    init_memory();
    ZrGetReplyTimeout(); // read at start-up, once per process
    xrchandle<ZrClient> client;
    {
        ClientState& s = clientState();
        std::lock_guard<std::mutex> hold(s.mutex);
        if (!s.client)
            s.client = new ZrClient(serverUrl);
        client = s.client;
    }
    xrchandle<ZorvanProxy> proxy = client->GetProxy();
    // A translator that cannot start is told why whatever the run mode: its
    // host started it and would otherwise wait for it in silence.
    if (!proxy->Connect(serverUrl ? serverUrl : "")) {
        IntfXmlTellFailure(proxy->GetConnectFailure());
        return xrchandle<ZorvanProxy>();
    }
    if (!client->StartCallbackServer()) {
        IntfXmlTellFailure("connected to " + btkQuoted(proxy->GetServerUrl()) +
                           ", but the callback server did not start (no loopback address to "
                           "listen on, or no thread for it): the host cannot send jobs");
        return xrchandle<ZorvanProxy>();
    }
    return proxy;
}

bool ZrClient::IsServing() const {
    std::lock_guard<std::mutex> hold(mutex_);
    return proxy_ && proxy_->IsConnected() && callbackServer_;
}

namespace {
// The client when it can run jobs: connected to its host, with a callback
// server (null before a start-up succeeded, and after the last one failed).
xrchandle<ZrClient> servingClient() {
    xrchandle<ZrClient> client = ZrClient::Get();
    return client && client->IsServing() ? client : xrchandle<ZrClient>();
}
} // namespace

bool ZrRunClient() {
    // Without a host and a callback server no job can ever come: the loop
    // would wait for ever.
    xrchandle<ZrClient> client = servingClient();
    if (!client)
        return false;
    return client->RunLoop();
}

namespace {
bool registerUnder(const char* name, void* function) {
    if (!servingClient())
        return false;
    ZrBindFunction(name, function);
    return true;
}
} // namespace

bool ZrRegisterExportTranslator(ZrExportTranslatorFn function) {
    return registerUnder(kZrExportTranslator, reinterpret_cast<void*>(function));
}

bool ZrRegisterImportTranslator(ZrImportTranslatorFn function) {
    return registerUnder(kZrImportPartTranslator, reinterpret_cast<void*>(function));
}

bool ZrRegisterAssemImportTranslator(ZrAssemImportTranslatorFn function) {
    return registerUnder(kZrImportAssemTranslator, reinterpret_cast<void*>(function));
}

xrchandle<ZorvanProxy> ZrGetFacadeProxy() {
    ClientState& s = clientState();
    std::lock_guard<std::mutex> hold(s.mutex);
    return s.facade;
}

unilocation* ZrOwnCallbackLocation(const char* host, int port) {
    xrchandle<ZrClient> client = ZrClient::Get();
    return client && client->ServesAt(host, port) ? unimemlocation::GetRegistered() : nullptr;
}

btkString ZrGetCallbackUrl() {
    xrchandle<ZrClient> client = ZrClient::Get();
    return client ? client->GetCallbackUrl() : btkString();
}

void ZrShutdownClient() {
    xrchandle<ZrClient> client;
    xrchandle<ZorvanProxy> facade;
    {
        ClientState& s = clientState();
        std::lock_guard<std::mutex> hold(s.mutex);
        client = std::move(s.client);
        facade = std::move(s.facade);
    }
    if (client)
        client->StopCallbackServers();
    ZrResetJobLoop();
    // The handles go here, outside the lock.
}

// ---- plain C entry points -------------------------------------------------------------------

extern "C" {

int InitializeClient(const char* serverUrl) {
    InitFileLocations();
    xrchandle<ZorvanProxy> proxy = ZrInitializeClient(serverUrl);
    ClientState& s = clientState();
    std::lock_guard<std::mutex> hold(s.mutex);
    s.facade = proxy;
    return s.facade ? 1 : 0;
}

int RunClient() { return ZrRunClient() ? 1 : 0; }

int RegisterExportTranslator(ZrExportTranslatorFn function) {
    return ZrRegisterExportTranslator(function) ? 1 : 0;
}

void NotifyFinish() {
    xrchandle<ZorvanProxy> proxy = ZrGetFacadeProxy();
    ZrSendFinish(proxy.get());
}

} // extern "C"
