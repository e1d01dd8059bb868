// Jobs of the host and the loop that runs them on the translator's thread.
//
// The callback server (another thread) puts a job in the pending slot and
// signals; the loop takes it out and runs it outside the lock, so the
// callback server never waits for a job and a job never dies while it
// runs. A job that arrives while another is pending replaces it.
//
// Job texts, fields separated by line feeds:
//   export (112)          argument count N, then the N arguments
//   assembly import (152) (unused), argument count N, the N arguments
//   part import (110)     document path ("bnfs:" path or local file),
//                         argument count N, the N arguments
// A count that is not a number is 0; a count above the arguments present
// gives only those present.
//
// Every job ends with the finish request (108) to the host, sent once,
// whether the translator function ran, was missing, failed or threw.
#pragma once

#include "api/zpi50_client.h"
#include "api/zpi50_export.h"
#include "btkstring.h"

class ZorvanProxy;

class ZrTranslatorJob {
public:
    explicit ZrTranslatorJob(const char* text) : text_(text) {}
    virtual ~ZrTranslatorJob();
    ZrTranslatorJob(const ZrTranslatorJob&) = delete;
    ZrTranslatorJob& operator=(const ZrTranslatorJob&) = delete;

    virtual void Run() = 0;
    const btkString& GetText() const { return text_; }

protected:
    btkString text_;
};

class ZrExportJob : public ZrTranslatorJob {
public:
    using ZrTranslatorJob::ZrTranslatorJob;
    void Run() override;
};

class ZrImportAssemJob : public ZrTranslatorJob {
public:
    using ZrTranslatorJob::ZrTranslatorJob;
    void Run() override;
};

class ZrImportPartJob : public ZrTranslatorJob {
public:
    using ZrTranslatorJob::ZrTranslatorJob;
    void Run() override;
};

// Puts `job` (owned from now on; null empties the slot) in the pending slot,
// destroying a job that waited there, then SignalJobReady.
void ZrReplacePendingJob(ZrTranslatorJob* job);
// Sets the ready flag under the job condition's lock and signals.
void SignalJobReady();

// The job loop: waits for the ready flag and runs the pending job, for ever.
// Returns only after ZrRequestClientLoopStop.
void ZrRunJobLoop();
// ZrRequestClientLoopStop (api/zpi50_client.h) ends the loop after the job
// that runs now; the request stays until the loop has ended on it.
// Drops a pending job and a stop request that no loop took (start afresh);
// inside the library only (ZrShutdownClient does it for a caller).
void ZrResetJobLoop();

// Sends the finish request (108) and ignores the reply and any failure.
void ZrSendFinish(ZorvanProxy* proxy);
