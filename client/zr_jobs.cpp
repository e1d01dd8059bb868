#include "client/zr_jobs.h"

#include "api/kpi_interfaces.h"
#include "client/zr_strings.h"
#include "api/zpi50_client.h"
#include "client/zr_client.h"
#include "client/zr_framing.h"
#include "client/zr_proxy.h"
#include "kernel/model/model.h"
#include "kernel/records/qel_copy.h"
#include "kernel/records/qel_routines.h"
#include "btk_quoted.h"
#include "thr_condition.h"
#include "xml/framework/sax_handler.h"
#include "xml/framework/xml_tempdir.h"
#include "xml/intfdata/xml_zpi.h"

#include <memory>
#include <mutex>

namespace {

// The job condition: its test is the ready flag, or a stop request.
class ZrJobCondition : public thrCondition {
public:
    bool Test() override { return ready_ != 0 || stop_; }

    uint8_t ready_ = 0; // job-ready flag, under the condition's lock
    bool stop_ = false; // under the condition's lock
};

// Process-wide state shared by the callback server's thread and the loop.
// Never destroyed: the callback thread may still signal while the process
// ends.
struct JobState {
    ZrJobCondition condition;
    std::mutex slotMutex;
    std::unique_ptr<ZrTranslatorJob> pending; // under slotMutex
};

JobState& state() {
    static JobState* s = new JobState;
    return *s;
}

// Words of a job text: every line is a field (an empty line too).
constexpr int kEveryLine = 1;

// The translator function bound under `name`, as the type of its kind.
template <class Fn> Fn boundFunction(const char* name) {
    return reinterpret_cast<Fn>(ZrGetBoundFunction(name));
}

xrchandle<ZorvanProxy> clientProxy() {
    xrchandle<ZrClient> client = ZrClient::Get();
    return client ? client->GetProxy() : xrchandle<ZorvanProxy>();
}

// Tells, in one line on standard error, why a job did not run its
// translator function through: no one else would learn it.
void tellJob(const char* name, const std::string& why) {
    IntfXmlTellFailure("job of " + btkQuoted(name) + ": " + why);
}

void tellUnbound(const char* name) {
    tellJob(name, "no translator function is registered under this name; the job ends");
}

// Runs an export or assembly-import function on the argument count in
// word `countWord` of the text and the arguments after it.
void runArgvJob(const btkString& text, const char* name, int countWord) {
    xrchandle<ZorvanProxy> proxy = clientProxy();
    auto fn = boundFunction<ZrExportTranslatorFn>(name);
    if (!fn) {
        tellUnbound(name);
    } else {
        try {
            int count = 0;
            text.GetWord(countWord, "\n", kEveryLine).ToInt(count);
            btkString args = text.GetWords(countWord + 1, "\n", kEveryLine);
            ZrArgv argv(count, args);
            fn(argv.GetArgc(), argv.GetArgv());
        } catch (...) {
            // The job ends as any other, once told.
            tellJob(name, "the translator function raised: " + IntfXmlCaughtText());
        }
    }
    ZrSendFinish(proxy.get());
}

} // namespace

ZrTranslatorJob::~ZrTranslatorJob() = default;

void ZrExportJob::Run() { runArgvJob(text_, kZrExportTranslator, 0); }

void ZrImportAssemJob::Run() { runArgvJob(text_, kZrImportAssemTranslator, 1); }

void ZrImportPartJob::Run() {
    xrchandle<ZorvanProxy> proxy = clientProxy();
    auto fn = boundFunction<ZrImportTranslatorFn>(kZrImportPartTranslator);
    if (!fn) {
        tellUnbound(kZrImportPartTranslator);
    } else {
        qel_intf_data* data = nullptr;
        qel_intf_data_extend* extension = nullptr;
        bool translating = false;
        try {
            ZrJobRequest job(text_);
            ZrArgv argv(job.GetArgCount(), job.GetArgs());
            IntfXmlDumpIfRequested(job.GetPath());
            std::string missing;
            IntfXmlZPI::Read(job.GetPath(), &data, &extension, &missing);
            // A document without interface data cannot make a model: told
            // as ReadZPI tells the same document.
            if (!data) {
                tellJob(kZrImportPartTranslator, IntfXmlReadFailure(job.GetPath(), missing));
            } else {
                xrchandle<KWPIModel> model(static_cast<KWPIModel*>(new KWPIModel_i(data, false)));
                data = nullptr; // the model holds it now
                translating = true;
                fn(model, extension, argv.GetArgc(), argv.GetArgv());
                translating = false;
                model->Close();
            }
        } catch (...) {
            // Unreadable job or document, failing model or translator: the
            // job ends, once told.
            tellJob(kZrImportPartTranslator,
                    (translating ? "the translator function raised: " : "") + IntfXmlCaughtText());
        }
        if (data)
            qel_intf_data_free(data);
        // The translator may keep the extension only for the call.
        if (extension)
            qel_intf_data_extend_block_free(extension);
    }
    ZrSendFinish(proxy.get());
}

void ZrSendFinish(ZorvanProxy* proxy) {
    if (proxy)
        proxy->SendRequestNoReply(ZrRequestText(108));
}

// ---- the pending job and the loop ------------------------------------------------------

void ZrReplacePendingJob(ZrTranslatorJob* job) {
    std::unique_ptr<ZrTranslatorJob> replaced;
    {
        JobState& s = state();
        std::lock_guard<std::mutex> hold(s.slotMutex);
        replaced = std::move(s.pending);
        s.pending.reset(job);
    }
    replaced.reset(); // outside the lock: a job's destructor may take time
    if (job)
        SignalJobReady();
}

void SignalJobReady() {
    ZrJobCondition& c = state().condition;
    c.Lock();
    c.ready_ = 1;
    c.Signal();
    c.Unlock();
}

void ZrRunJobLoop() {
    JobState& s = state();
    ZrJobCondition& c = s.condition;
    for (;;) {
        c.WaitForLock();
        if (c.stop_) {
            c.stop_ = false;
            c.Unlock();
            return;
        }
        c.ready_ = 0;
        c.Unlock();
        // The job leaves the slot while it runs, so a job that arrives
        // meanwhile replaces nothing that is running and waits its turn.
        std::unique_ptr<ZrTranslatorJob> job;
        {
            std::lock_guard<std::mutex> hold(s.slotMutex);
            job = std::move(s.pending);
        }
        if (job)
            job->Run();
    }
}

void ZrRequestClientLoopStop() {
    ZrJobCondition& c = state().condition;
    c.Lock();
    c.stop_ = true;
    c.Signal();
    c.Unlock();
}

void ZrResetJobLoop() {
    JobState& s = state();
    std::unique_ptr<ZrTranslatorJob> dropped;
    {
        std::lock_guard<std::mutex> hold(s.slotMutex);
        dropped = std::move(s.pending);
    }
    s.condition.Lock();
    s.condition.ready_ = 0;
    s.condition.stop_ = false;
    s.condition.Unlock();
}
