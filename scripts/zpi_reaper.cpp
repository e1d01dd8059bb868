// zpi_reaper PROGRAM [ARGUMENT...]: runs PROGRAM (scripts/run_gtest.sh runs
// each test program under it) and fails the run when PROGRAM leaves a
// process running once it has ended, naming each and ending it.
//
// It makes itself a child subreaper (prctl PR_SET_CHILD_SUBREAPER): a
// process whose parent ends is handed to it instead of to init, so every
// process PROGRAM starts stays its descendant, whatever that process did
// (left its session with setsid, dropped its environment, forked twice),
// and it has a child as long as one of them runs (waitpid tells, at once
// and exactly). Once PROGRAM has ended, what is already ending is given a
// moment (2 s at most); every descendant still running is then named on
// the standard error ("PROGRAM left N process(es) running after it ended
// (ended now):", then one "  PID: COMMAND LINE" line each), as found by
// walking /proc from parent to child and in the kernel's list of its
// children (a process that forks and ends over and over is gone before the
// walk reads it), and killed. Only its own children are killed, over and
// over until it has none: a child's number cannot pass to another process
// before it is waited for, and the children of each one killed become its
// own in turn. What still runs after 5 s is named ("zpi_reaper: could not
// end N process(es) within 5 s:"). A process whose first thread ended
// while others run counts as running.
//
// Ends with PROGRAM's status (128 + the signal, when one ended it), and
// with 1 when that was 0 and PROGRAM left a process. Told to end (SIGTERM,
// SIGINT, SIGHUP), it kills PROGRAM and everything PROGRAM started and
// ends with 128 + that signal.
#include <sys/prctl.h>
#include <sys/wait.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <set>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// A file of /proc, whole; empty when it cannot be read (the process ended).
std::string ReadProc(const std::string& path) {
    std::string text;
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return text;
    char buffer[4096];
    ssize_t n;
    while ((n = read(fd, buffer, sizeof buffer)) > 0)
        text.append(buffer, static_cast<size_t>(n));
    close(fd);
    return text;
}

struct Process {
    pid_t pid;
    pid_t parent;
};

// The parent of the process PID and whether it still runs, from its stat
// ("PID (NAME) STATE PARENT ... THREADS ...": the name may hold blanks and
// ')'); false when it cannot be read (it ended while being read). A zombie
// whose other threads still run has not ended.
bool ReadStat(const std::string& pid, pid_t& parent, bool& running) {
    const std::string stat = ReadProc("/proc/" + pid + "/stat");
    size_t close = stat.rfind(')');
    char state = 0;
    long ppid = 0, threads = 0;
    if (close == std::string::npos ||
        std::sscanf(stat.c_str() + close + 1,
                    " %c %ld"
                    "%*s %*s %*s %*s %*s %*s %*s %*s %*s %*s %*s %*s %*s %*s %*s %ld",
                    &state, &ppid, &threads) != 3)
        return false;
    parent = static_cast<pid_t>(ppid);
    running = !((state == 'Z' && threads <= 1) || state == 'X');
    return true;
}

// The descendants of this process that have not ended, read from /proc;
// each before its own children. Those in `skip`, and theirs, are left out.
std::vector<Process> Descendants(const std::set<pid_t>& skip = {}) {
    std::map<pid_t, std::vector<pid_t>> children;
    std::set<pid_t> ended;
    if (DIR* dir = opendir("/proc")) {
        while (dirent* entry = readdir(dir)) {
            char* end = nullptr;
            long pid = std::strtol(entry->d_name, &end, 10);
            pid_t parent;
            bool running;
            if (pid <= 0 || *end != '\0' || !ReadStat(entry->d_name, parent, running))
                continue;
            children[parent].push_back(static_cast<pid_t>(pid));
            if (!running)
                ended.insert(static_cast<pid_t>(pid));
        }
        closedir(dir);
    } else {
        std::fprintf(stderr, "zpi_reaper: cannot read /proc: %s\n", std::strerror(errno));
        std::exit(2);
    }
    std::vector<Process> found;
    std::vector<pid_t> todo{getpid()};
    while (!todo.empty()) {
        pid_t parent = todo.back();
        todo.pop_back();
        for (pid_t child : children[parent]) {
            if (skip.count(child))
                continue;
            if (!ended.count(child))
                found.push_back({child, parent});
            todo.push_back(child);
        }
    }
    return found;
}

// The children of this process (ended ones too, until waited for), as the
// kernel lists them; from the walk of /proc when that list cannot be read.
std::vector<pid_t> Children() {
    std::vector<pid_t> found;
    const std::string self = std::to_string(getpid());
    const std::string list = "/proc/" + self + "/task/" + self + "/children";
    if (access(list.c_str(), R_OK) != 0) {
        for (const Process& p : Descendants())
            if (p.parent == getpid())
                found.push_back(p.pid);
        return found;
    }
    const std::string text = ReadProc(list);
    const char* at = text.c_str();
    for (char* end = nullptr;; at = end) {
        long pid = std::strtol(at, &end, 10);
        if (end == at)
            break;
        found.push_back(static_cast<pid_t>(pid));
    }
    return found;
}

// The descendants that still run (but those in `skip`, and theirs): the
// walk of /proc, and the children it missed. (A child that has ended by
// the time it is read has handed its children to this process: they are
// read again.)
std::vector<Process> Running(const std::set<pid_t>& skip = {}) {
    std::vector<Process> found = Descendants(skip);
    std::set<pid_t> seen(skip);
    for (const Process& p : found)
        seen.insert(p.pid);
    for (int reads = 0, again = 1; again && reads < 10; reads++) {
        again = 0;
        for (pid_t child : Children()) {
            pid_t parent;
            bool running = false;
            if (!seen.insert(child).second || !ReadStat(std::to_string(child), parent, running))
                continue;
            if (running)
                found.push_back({child, getpid()});
            else
                again = 1;
        }
    }
    return found;
}

// Its command line, or "[NAME]" when it shows none (its first thread ended).
std::string CommandLine(pid_t pid) {
    std::string line = ReadProc("/proc/" + std::to_string(pid) + "/cmdline");
    while (!line.empty() && line.back() == '\0')
        line.pop_back();
    for (char& c : line)
        if (c == '\0')
            c = ' ';
    if (line.empty()) {
        const std::string stat = ReadProc("/proc/" + std::to_string(pid) + "/stat");
        size_t open = stat.find('('), close = stat.rfind(')');
        if (open != std::string::npos && close != std::string::npos && close > open)
            line = "[" + stat.substr(open + 1, close - open - 1) + "]";
    }
    return line;
}

// Names each process (a line "  PID: COMMAND LINE").
void Name(const std::vector<Process>& processes) {
    for (const Process& p : processes)
        std::fprintf(stderr, "  %d: %s\n", p.pid, CommandLine(p.pid).c_str());
}

pid_t program = 0;
int status = 0;
bool program_ended = false;

// Waits for every child that has ended, noting PROGRAM's status; returns
// whether a child is left. As long as a process PROGRAM started runs,
// this one has a child: its parent's end hands it to this one.
bool Reap() {
    int st;
    pid_t pid;
    while ((pid = waitpid(-1, &st, WNOHANG)) > 0)
        if (pid == program) {
            status = st;
            program_ended = true;
        }
    return pid == 0;
}

double Now() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

// Waits for a child to end (SIGCHLD, blocked), `ms` milliseconds at most.
void AwaitChild(long ms) {
    sigset_t child;
    sigemptyset(&child);
    sigaddset(&child, SIGCHLD);
    timespec step{0, ms * 1000 * 1000};
    sigtimedwait(&child, nullptr, &step);
}

// Kills every descendant, its own children over and over, until it has
// none left but those it may not kill (another user's), which are named,
// and theirs; names what still runs after 5 s.
void EndAll() {
    const int seconds = 5;
    const double until = Now() + seconds;
    std::set<pid_t> refused;
    while (Reap()) {
        bool killed = false;
        for (pid_t child : Children()) {
            if (refused.count(child))
                continue;
            if (kill(child, SIGKILL) == 0) {
                killed = true;
            } else if (errno == EPERM) {
                refused.insert(child);
                std::fprintf(stderr, "zpi_reaper: may not end %d (%s)\n", child,
                             CommandLine(child).c_str());
            }
        }
        if (!killed && !refused.empty() && Running(refused).empty())
            return;
        if (Now() >= until) {
            std::vector<Process> left = Running(refused);
            std::fprintf(stderr, "zpi_reaper: could not end %zu process(es) within %d s:\n",
                         left.size(), seconds);
            Name(left);
            return;
        }
        AwaitChild(10);
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: zpi_reaper PROGRAM [ARGUMENT...]\n");
        return 2;
    }
    if (prctl(PR_SET_CHILD_SUBREAPER, 1) != 0) {
        std::fprintf(stderr, "zpi_reaper: cannot become a child subreaper: %s\n",
                     std::strerror(errno));
        return 2;
    }
    // The signals are taken when waited for; PROGRAM gets the mask as it was.
    // (Children are waited for here: an inherited SIG_IGN would reap them.)
    std::signal(SIGCHLD, SIG_DFL);
    sigset_t taken, before;
    sigemptyset(&taken);
    for (int sig : {SIGCHLD, SIGTERM, SIGINT, SIGHUP})
        sigaddset(&taken, sig);
    sigprocmask(SIG_BLOCK, &taken, &before);
    program = fork();
    if (program < 0) {
        std::fprintf(stderr, "zpi_reaper: cannot start %s: %s\n", argv[1], std::strerror(errno));
        return 2;
    }
    if (program == 0) {
        sigprocmask(SIG_SETMASK, &before, nullptr);
        execvp(argv[1], argv + 1);
        std::fprintf(stderr, "zpi_reaper: cannot run %s: %s\n", argv[1], std::strerror(errno));
        _exit(127);
    }
    // (Its output closed, it still ends what PROGRAM left.)
    std::signal(SIGPIPE, SIG_IGN);

    int told = 0;
    while (!program_ended && !told) {
        int sig = sigwaitinfo(&taken, nullptr);
        if (sig == SIGCHLD)
            Reap();
        else if (sig > 0)
            told = sig;
    }
    if (told) {
        EndAll();
        return 128 + told;
    }
    int rc = WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);

    // What is already ending (a child the program killed as it ended) is
    // given a moment to end.
    for (double until = Now() + 2; Reap() && Now() < until;) {
        timespec step{0, 100 * 1000 * 1000};
        int sig = sigtimedwait(&taken, nullptr, &step);
        if (sig > 0 && sig != SIGCHLD) {
            EndAll();
            return 128 + sig;
        }
    }
    // (Read again when what it has left was not there when read.)
    std::vector<Process> left;
    for (int tries = 0; left.empty() && tries < 100; tries++) {
        if (!Reap())
            return rc;
        left = Running();
    }
    std::fprintf(stderr, "%s left %zu process(es) running after it ended (ended now):\n", argv[1],
                 left.size());
    Name(left);
    EndAll();
    return rc != 0 ? rc : 1;
}
