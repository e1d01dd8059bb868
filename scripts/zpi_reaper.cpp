// zpi_reaper PROGRAM [ARGUMENT...]: runs PROGRAM (scripts/run_gtest.sh runs
// each test program under it) and fails the run when PROGRAM leaves a
// process running once it has ended, naming each and ending it.
//
// It makes itself a child subreaper (prctl PR_SET_CHILD_SUBREAPER): a
// process whose parent ends is handed to it instead of to init, so every
// process PROGRAM starts stays its descendant, whatever that process did
// (left its session with setsid, dropped its environment, forked twice),
// and is found by walking /proc from parent to child. Once PROGRAM has
// ended, what is already ending is given a moment (2 s at most); every
// descendant still running is then named on the standard error ("PROGRAM
// left N process(es) running after it ended (ended now):", then one
// "  PID: COMMAND LINE" line each) and killed. Only its own children are
// killed, a generation at a time: a child's number cannot pass to another
// process before it is waited for, and the children of each one killed
// become its own in turn.
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

// The descendants of this process that have not ended (zombies left out),
// read from /proc; each before its own children.
std::vector<Process> Descendants() {
  std::map<pid_t, std::vector<pid_t>> children;
  std::set<pid_t> ended;
  if (DIR* dir = opendir("/proc")) {
    while (dirent* entry = readdir(dir)) {
      char* end = nullptr;
      long pid = std::strtol(entry->d_name, &end, 10);
      if (pid <= 0 || *end != '\0')
        continue;
      std::string stat = ReadProc(std::string("/proc/") + entry->d_name + "/stat");
      // "PID (NAME) STATE PARENT ...": the name may hold blanks and ')'.
      size_t close = stat.rfind(')');
      char state = 0;
      long parent = 0;
      if (close == std::string::npos || std::sscanf(stat.c_str() + close + 1, " %c %ld", &state, &parent) != 2)
        continue;  // ended while being read
      children[static_cast<pid_t>(parent)].push_back(static_cast<pid_t>(pid));
      if (state == 'Z' || state == 'X')
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
      if (!ended.count(child))
        found.push_back({child, parent});
      todo.push_back(child);
    }
  }
  return found;
}

std::string CommandLine(pid_t pid) {
  std::string line = ReadProc("/proc/" + std::to_string(pid) + "/cmdline");
  while (!line.empty() && line.back() == '\0')
    line.pop_back();
  for (char& c : line)
    if (c == '\0')
      c = ' ';
  return line;
}

// Waits for every child that has ended; notes PROGRAM's status.
void Reap(pid_t program, int& status, bool& ended) {
  int st;
  pid_t pid;
  while ((pid = waitpid(-1, &st, WNOHANG)) > 0)
    if (pid == program) {
      status = st;
      ended = true;
    }
}

// Kills every descendant, its own children first, until none is left but
// those it may not kill (another user's), which are named.
void EndAll() {
  std::set<pid_t> refused;
  for (;;) {
    int st;
    while (waitpid(-1, &st, WNOHANG) > 0) {
    }
    bool killed = false;
    for (const Process& p : Descendants()) {
      if (p.parent != getpid() || refused.count(p.pid))
        continue;
      if (kill(p.pid, SIGKILL) == 0) {
        killed = true;
      } else if (errno == EPERM) {
        refused.insert(p.pid);
        std::fprintf(stderr, "zpi_reaper: may not end %d (%s)\n", p.pid, CommandLine(p.pid).c_str());
      }
    }
    if (!killed)
      return;
    waitpid(-1, &st, 0);
  }
}

double Now() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec + t.tv_nsec / 1e9;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: zpi_reaper PROGRAM [ARGUMENT...]\n");
    return 2;
  }
  if (prctl(PR_SET_CHILD_SUBREAPER, 1) != 0) {
    std::fprintf(stderr, "zpi_reaper: cannot become a child subreaper: %s\n", std::strerror(errno));
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
  pid_t program = fork();
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

  int status = 0, told = 0;
  bool ended = false;
  while (!ended && !told) {
    int sig = sigwaitinfo(&taken, nullptr);
    if (sig == SIGCHLD)
      Reap(program, status, ended);
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
  std::vector<Process> left = Descendants();
  for (double until = Now() + 2; !left.empty() && Now() < until;) {
    timespec step{0, 100 * 1000 * 1000};
    int sig = sigtimedwait(&taken, nullptr, &step);
    if (sig > 0 && sig != SIGCHLD) {
      EndAll();
      return 128 + sig;
    }
    Reap(program, status, ended);
    left = Descendants();
  }
  if (left.empty())
    return rc;
  std::fprintf(stderr, "%s left %zu process(es) running after it ended (ended now):\n", argv[1], left.size());
  for (const Process& p : left)
    std::fprintf(stderr, "  %d: %s\n", p.pid, CommandLine(p.pid).c_str());
  EndAll();
  return rc != 0 ? rc : 1;
}
