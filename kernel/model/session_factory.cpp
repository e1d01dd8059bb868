#include "kernel/model/session_factory.h"

#include "kernel/model/session_i.h"

#include "btk_quoted.h"
#include "kkjournal.h"
#include "process.h"
#include "xmemory.h"

#include <atomic>
#include <mutex>
#include <string>

namespace {
// Set once the process factory exists; never reset, the factory is never
// deleted.
std::atomic<KWPISessionFactory*> g_factory{nullptr};

// Guards the factories' session handles: the session is made once even when
// threads ask for it together.
std::mutex& sessionLock() {
    static std::mutex* m = new std::mutex;
    return *m;
}

// What it has to tell goes to `told`: the caller tells it once the other
// threads that wait for the factory may go on.
KWPISessionFactory* makeProcessFactory(std::string& told) {
    init_memory();
    const char* disable = btk_getenv("DISABLE_QELKERNEL_JOURNAL");
    KJournalFromOutside(disable, disable ? nullptr : btk_getenv(ZPI_JOURNAL_FILE_VARIABLE), &told);
    const bool journaled = KSessionFactoryIsJournaled(disable, &KGetZorvanJournaling);
    KWPISessionFactory* factory =
        journaled ? new KWPISessionFactory_j : new KWPISessionFactory;
    NotifySessionCreated();
    return factory;
}
} // namespace

bool KJournalFromOutside(const char* disableValue, const char* journalFile, std::string* told) {
    if (disableValue || !journalFile || !*journalFile)
        return false;
    std::string why;
    if (!kkJournalSetFile(journalFile, &why)) {
        const std::string line = std::string(ZPI_JOURNAL_FILE_VARIABLE) +
                                 ": cannot journal into " + btkQuoted(journalFile) + " (" + why +
                                 "); journaling is not switched on";
        if (told)
            *told = line;
        else
            btk_tell("%s", line.c_str());
        return false;
    }
    KSetZorvanJournaling(true);
    return true;
}

bool KSessionFactoryIsJournaled(const char* disableValue, bool (*journaling)()) {
    if (disableValue)
        return false;
    return journaling && journaling();
}

KWPISessionFactory* KGetPISessionFactory() {
    if (KWPISessionFactory* made = g_factory.load())
        return made;
    static std::once_flag once;
    std::string told; // by the thread that made the factory, after the others went on
    std::call_once(once, [&] { g_factory.store(makeProcessFactory(told)); });
    if (!told.empty())
        btk_tell("%s", told.c_str());
    return g_factory.load();
}

KWPISessionFactory::KWPISessionFactory() {
    KWPISessionFactory* process = g_factory.load();
    if (process) {
        std::lock_guard<std::mutex> guard(sessionLock());
        session_ = process->session_;
    }
}

KWPISessionFactory::~KWPISessionFactory() = default;

xrchandle<KWPISession> KWPISessionFactory::GetSession() {
    std::lock_guard<std::mutex> guard(sessionLock());
    if (session_.isNull()) {
        KWPISessionFactory* process = g_factory.load();
        if (process && !process->session_.isNull()) {
            session_ = process->session_;
        } else {
            // A constructor that raises leaves both handles null.
            xrchandle<KWPISession> made(static_cast<KWPISession*>(new KWPISession_i()));
            if (process)
                process->session_ = made;
            session_ = made;
        }
    }
    return session_;
}

xrchandle<KWPISession> KGetPISession() { return KGetPISessionFactory()->GetSession(); }
