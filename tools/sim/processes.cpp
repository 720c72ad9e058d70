#include "sim/processes.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace skyvox::sim {

namespace {

volatile std::sig_atomic_t gStopSignal = 0;
volatile std::sig_atomic_t gRunEnds = 0;

}  // namespace

void WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
#ifdef _WIN32
    const int n = ::_write(fd, text.data() + done, static_cast<unsigned>(text.size() - done));
#else
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
#endif
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;  // nowhere to write: the lines are lost, the run goes on
    done += static_cast<size_t>(n);
  }
}

#ifndef _WIN32

namespace {

void OnStopSignal(int signal) {
  gStopSignal = signal;
}

void OnRunEnds(int) {
  gRunEnds = 1;
}

}  // namespace

// SIGUSR1 is the host's word to its children that the run ends before its time: the host keeps it
// blocked, so that a child holds it pending from its start until it can take it.
void InstallStopHandlers(bool participant) {
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
  signal(SIGPIPE, SIG_IGN);
  sigset_t usr1;
  sigemptyset(&usr1);
  sigaddset(&usr1, SIGUSR1);
  if (participant) {
    action.sa_handler = OnRunEnds;
    sigaction(SIGUSR1, &action, nullptr);
    sigprocmask(SIG_UNBLOCK, &usr1, nullptr);
  } else {
    sigprocmask(SIG_BLOCK, &usr1, nullptr);
  }
}

int StopSignal() {
  return gStopSignal;
}

bool RunEnds() {
  return gRunEnds != 0;
}

int ReportDescriptor(long long value) {
  if (value < 0 || value > 65535) return -1;
  return ::fcntl(static_cast<int>(value), F_GETFD) < 0 ? -1 : static_cast<int>(value);
}

struct ChildProcess::Handles {
  pid_t Pid = 0;
  int Report = -1;  // the read end of the report pipe; -1 once at its end
};

std::unique_ptr<ChildProcess> ChildProcess::Start(std::vector<std::string> args, bool report,
                                                  std::string& error) {
  // A virtual pilot reports on fd 3 of its own, the write end of a pipe whose read end is the host's.
  int pipeEnds[2] = {-1, -1};
  if (report && pipe2(pipeEnds, O_CLOEXEC) != 0) {
    error = std::strerror(errno);
    return nullptr;
  }
  if (report) args.insert(args.end(), {"--report-fd", "3"});
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid < 0) {
    error = std::strerror(errno);
    if (report) {
      close(pipeEnds[0]);
      close(pipeEnds[1]);
    }
    return nullptr;
  }
  if (pid == 0) {
    // A child outlives no host: when the host dies it is told to leave. Only async-signal-safe calls
    // between fork and exec.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) _exit(1);
    // The host's sockets stay the host's: a child holding them open would keep the host's
    // connections alive after the host closed them.
    if (pipeEnds[1] == 3) {
      fcntl(3, F_SETFD, 0);
    } else if (pipeEnds[1] >= 0) {
      dup2(pipeEnds[1], 3);
    }
    closefrom(pipeEnds[1] >= 0 ? 4 : 3);
    execv("/proc/self/exe", argv.data());
    static const char kMessage[] = "skyvox-sim: cannot start a participant process\n";
    [[maybe_unused]] const ssize_t ignored = ::write(2, kMessage, sizeof kMessage - 1);
    _exit(127);
  }
  std::unique_ptr<ChildProcess> child(new ChildProcess);
  child->handles_ = std::make_unique<Handles>();
  child->handles_->Pid = pid;
  if (report) {
    close(pipeEnds[1]);
    fcntl(pipeEnds[0], F_SETFL, O_NONBLOCK);
    child->handles_->Report = pipeEnds[0];
  }
  return child;
}

ChildProcess::~ChildProcess() {
  if (handles_->Report >= 0) close(handles_->Report);
}

void ChildProcess::ReadReport(std::string& into) {
  int& fd = handles_->Report;
  if (fd < 0) return;
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n > 0) {
      into.append(buffer, static_cast<size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
      close(fd);
      fd = -1;
    }
    break;
  }
}

bool ChildProcess::Running(std::string& ending) {
  int status = 0;
  const pid_t r = waitpid(handles_->Pid, &status, WNOHANG);
  if (r == 0) return true;
  ending.clear();
  if (r > 0 && WIFEXITED(status) && WEXITSTATUS(status) != 0) {
    ending = "ends with exit status " + std::to_string(WEXITSTATUS(status));
  } else if (r > 0 && WIFSIGNALED(status) && WTERMSIG(status) != SIGKILL) {
    ending = "is ended by signal " + std::to_string(WTERMSIG(status));
  }
  return false;
}

void ChildProcess::Wait() {
  int status = 0;
  waitpid(handles_->Pid, &status, 0);
}

void ChildProcess::Signal(ChildSignal signal) {
  if (signal == ChildSignal::Kill) killed_ = true;
  kill(handles_->Pid, signal == ChildSignal::Stop      ? SIGTERM
                      : signal == ChildSignal::RunEnds ? SIGUSR1
                                                       : SIGKILL);
}

#else  // _WIN32

namespace {

// The events a child is told by: "Local\skyvox-sim-stop-PID" and "Local\skyvox-sim-ends-PID".
std::wstring EventName(const wchar_t* what, DWORD pid) {
  return std::wstring(L"Local\\skyvox-sim-") + what + L"-" + std::to_wstring(pid);
}

HANDLE gStopEvent = nullptr;
HANDLE gEndsEvent = nullptr;

BOOL WINAPI OnConsoleEvent(DWORD event) {
  gStopSignal = event == CTRL_C_EVENT ? SIGINT : SIGTERM;
  return TRUE;
}

bool Signalled(HANDLE event) {
  return event && WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
}

// Every argument as the C runtime splits a command line again: quoted when it holds a blank, a tab or
// a quote or is empty, quotes escaped, and backslashes doubled where a quote follows them.
std::wstring CommandLine(const std::vector<std::wstring>& args) {
  std::wstring line;
  for (const std::wstring& a : args) {
    if (!line.empty()) line += L' ';
    if (!a.empty() && a.find_first_of(L" \t\"") == std::wstring::npos) {
      line += a;
      continue;
    }
    line += L'"';
    size_t slashes = 0;
    for (const wchar_t c : a) {
      if (c == L'\\') {
        ++slashes;
        continue;
      }
      line.append(c == L'"' ? slashes * 2 + 1 : slashes, L'\\');
      slashes = 0;
      line += c;
    }
    line.append(slashes * 2, L'\\');
    line += L'"';
  }
  return line;
}

std::wstring Wide(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), n);
  return wide;
}

std::string SystemMessage(DWORD code) {
  return "Windows error " + std::to_string(code);
}

// The job every child is placed in: it ends them when the host ends, however it ends.
HANDLE ChildrenJob() {
  static HANDLE job = [] {
    HANDLE j = CreateJobObjectW(nullptr, nullptr);
    if (j) {
      JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
      limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
      SetInformationJobObject(j, JobObjectExtendedLimitInformation, &limits, sizeof limits);
    }
    return j;
  }();
  return job;
}

}  // namespace

void InstallStopHandlers(bool participant) {
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
  if (!participant) return;
  const DWORD self = GetCurrentProcessId();
  gStopEvent = OpenEventW(SYNCHRONIZE, FALSE, EventName(L"stop", self).c_str());
  gEndsEvent = OpenEventW(SYNCHRONIZE, FALSE, EventName(L"ends", self).c_str());
}

int StopSignal() {
  if (!gStopSignal && Signalled(gStopEvent)) gStopSignal = SIGTERM;
  return gStopSignal;
}

bool RunEnds() {
  if (!gRunEnds && Signalled(gEndsEvent)) gRunEnds = 1;
  return gRunEnds != 0;
}

int ReportDescriptor(long long value) {
  if (value <= 0) return -1;
  const auto handle = reinterpret_cast<HANDLE>(static_cast<intptr_t>(value));
  if (GetFileType(handle) != FILE_TYPE_PIPE) return -1;
  return _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
}

struct ChildProcess::Handles {
  HANDLE Process = nullptr;
  HANDLE Report = nullptr;  // the read end of the report pipe; null once at its end
  HANDLE Stop = nullptr;
  HANDLE Ends = nullptr;
};

std::unique_ptr<ChildProcess> ChildProcess::Start(std::vector<std::string> args, bool report,
                                                  std::string& error) {
  std::wstring self(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size()));
    if (n == 0) {
      error = SystemMessage(GetLastError());
      return nullptr;
    }
    if (n < self.size()) {
      self.resize(n);
      break;
    }
    self.resize(self.size() * 2);
  }

  auto handles = std::make_unique<Handles>();
  HANDLE writeEnd = nullptr;
  if (report) {
    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    if (!CreatePipe(&handles->Report, &writeEnd, &inherited, 0)) {
      error = SystemMessage(GetLastError());
      return nullptr;
    }
    SetHandleInformation(handles->Report, HANDLE_FLAG_INHERIT, 0);
    args.insert(args.end(), {"--report-fd", std::to_string(reinterpret_cast<uintptr_t>(writeEnd))});
  }
  std::vector<std::wstring> wide;
  wide.push_back(self);
  for (size_t i = 1; i < args.size(); ++i) wide.push_back(Wide(args[i]));
  std::wstring line = CommandLine(wide);

  // Only the report pipe and the standard handles go to the child: the host's sockets stay the host's,
  // for a child holding them would keep the host's connections alive after the host closed them.
  std::vector<HANDLE> inherit;
  if (writeEnd) inherit.push_back(writeEnd);
  STARTUPINFOEXW startup{};
  startup.StartupInfo.cb = sizeof startup;
  startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
  HANDLE* standard[] = {&startup.StartupInfo.hStdInput, &startup.StartupInfo.hStdOutput,
                        &startup.StartupInfo.hStdError};
  const DWORD which[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
  for (int i = 0; i < 3; ++i) {
    HANDLE h = GetStdHandle(which[i]);
    if (h == INVALID_HANDLE_VALUE || h == nullptr) continue;
    if (!SetHandleInformation(h, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT)) continue;
    *standard[i] = h;
    if (std::find(inherit.begin(), inherit.end(), h) == inherit.end()) inherit.push_back(h);
  }
  SIZE_T size = 0;
  InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
  std::vector<char> attributes(size);
  auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attributes.data());
  DWORD flags = CREATE_SUSPENDED | CREATE_UNICODE_ENVIRONMENT;
  bool listed = false;
  if (!inherit.empty() && size > 0 && InitializeProcThreadAttributeList(list, 1, 0, &size)) {
    if (UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherit.data(),
                                  inherit.size() * sizeof(HANDLE), nullptr, nullptr)) {
      startup.lpAttributeList = list;
      flags |= EXTENDED_STARTUPINFO_PRESENT;
      listed = true;
    } else {
      DeleteProcThreadAttributeList(list);
    }
  }

  PROCESS_INFORMATION started{};
  const BOOL ok = CreateProcessW(self.c_str(), line.data(), nullptr, nullptr, inherit.empty() ? FALSE : TRUE,
                                 flags, nullptr, nullptr, &startup.StartupInfo, &started);
  const DWORD failure = ok ? 0 : GetLastError();
  if (listed) DeleteProcThreadAttributeList(list);
  if (writeEnd) CloseHandle(writeEnd);
  if (!ok) {
    if (handles->Report) CloseHandle(handles->Report);
    error = SystemMessage(failure);
    return nullptr;
  }
  // The events exist before the child runs, so that it finds them at its start.
  handles->Process = started.hProcess;
  handles->Stop = CreateEventW(nullptr, TRUE, FALSE, EventName(L"stop", started.dwProcessId).c_str());
  handles->Ends = CreateEventW(nullptr, TRUE, FALSE, EventName(L"ends", started.dwProcessId).c_str());
  if (HANDLE job = ChildrenJob()) AssignProcessToJobObject(job, started.hProcess);
  ResumeThread(started.hThread);
  CloseHandle(started.hThread);
  std::unique_ptr<ChildProcess> child(new ChildProcess);
  child->handles_ = std::move(handles);
  return child;
}

ChildProcess::~ChildProcess() {
  for (HANDLE h : {handles_->Process, handles_->Report, handles_->Stop, handles_->Ends}) {
    if (h) CloseHandle(h);
  }
}

void ChildProcess::ReadReport(std::string& into) {
  HANDLE& pipe = handles_->Report;
  char buffer[4096];
  while (pipe) {
    DWORD waiting = 0;
    if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &waiting, nullptr)) {
      CloseHandle(pipe);  // the child closed its end
      pipe = nullptr;
      break;
    }
    if (waiting == 0) break;
    DWORD n = 0;
    if (!ReadFile(pipe, buffer, std::min<DWORD>(waiting, sizeof buffer), &n, nullptr) || n == 0) break;
    into.append(buffer, n);
  }
}

bool ChildProcess::Running(std::string& ending) {
  if (WaitForSingleObject(handles_->Process, 0) == WAIT_TIMEOUT) return true;
  ending.clear();
  DWORD code = 0;
  if (!killed_ && GetExitCodeProcess(handles_->Process, &code) && code != 0) {
    ending = "ends with exit status " + std::to_string(code);
  }
  return false;
}

void ChildProcess::Wait() {
  WaitForSingleObject(handles_->Process, INFINITE);
}

void ChildProcess::Signal(ChildSignal signal) {
  switch (signal) {
    case ChildSignal::Stop:
      SetEvent(handles_->Stop);
      break;
    case ChildSignal::RunEnds:
      SetEvent(handles_->Ends);
      break;
    case ChildSignal::Kill:
      killed_ = true;
      TerminateProcess(handles_->Process, 137);
      break;
  }
}

#endif

}  // namespace skyvox::sim
