// The process-wide session factory behind KGetPISession. The first call
// makes the factory (plain or journaled, decided once for the process),
// prepares memory and tells the base library that a session exists; the
// session itself is made by the factory's first GetSession.
#pragma once

#include "kpi_session.h"

#include <string>

// The factory that hands out the one session. Its handle is its own
// reference to the session; the process factory keeps it for the life of
// the process.
class KWPISessionFactory {
public:
    // Starts with the process factory's session when that factory exists.
    KWPISessionFactory();
    KWPISessionFactory(const KWPISessionFactory&) = delete;
    KWPISessionFactory& operator=(const KWPISessionFactory&) = delete;
    virtual ~KWPISessionFactory();

    // The session, made on first use. When making it fails nothing is kept
    // and the next call tries again.
    virtual xrchandle<KWPISession> GetSession();

protected:
    xrchandle<KWPISession> session_;
};

// The factory chosen while calls are journaled: its GetSession is the one
// call that the journal records under the name "KGetPISession" (defined
// with the session's journal wrapper, journal/wrappers/session_wrapper.cpp).
class KWPISessionFactory_j : public KWPISessionFactory {
public:
    static constexpr const char* kCallName = "KGetPISession";
    xrchandle<KWPISession> GetSession() override;
};

// The process factory, made by the first call from whichever thread; never
// deleted.
KWPISessionFactory* KGetPISessionFactory();

// The outside switch of the journal, read once by the first KGetPISession:
// the environment variable named here, set to a path, switches journaling
// on and writes the journal into that file (created, or emptied when it
// exists; it must be a regular file). A file that another process
// journals into is neither emptied nor written: this process says so and
// journals nowhere (journaling stays off). A set DISABLE_QELKERNEL_JOURNAL
// still wins: then the variable is not read.
constexpr const char* ZPI_JOURNAL_FILE_VARIABLE = "ZORVAN_JOURNAL_FILE";

// What the first KGetPISession does with the two variables' values (null:
// unset). With `disableValue` null and `journalFile` a non-empty path, the
// journal file is set and journaling switched on; when the file cannot be
// taken, one line on standard error (btk_tell) says so, with the path and
// the reason (the system's text, the kind of file, or that another process
// journals there), and nothing is switched; with `told`, that line goes
// there instead, for the caller to tell once it holds nothing others wait
// for (the first KGetPISession tells it after its once-only set-up).
// Answers whether journaling was switched on.
bool KJournalFromOutside(const char* disableValue, const char* journalFile,
                         std::string* told = nullptr);

// The factory choice: a set DISABLE_QELKERNEL_JOURNAL (`disableValue` not
// null) means plain, and then `journaling` is not asked; otherwise the
// factory is journaled exactly when `journaling()` answers true.
bool KSessionFactoryIsJournaled(const char* disableValue, bool (*journaling)());

// Registers the file locations once per process, whoever calls first (the
// session, a model or the client's server connection). Defined with the
// model's persistence operations (model_persistence.cpp).
void InitFileLocations();
