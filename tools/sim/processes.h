// The processes of a network run: the host starts every participant as a process of its own (this
// program again, with other arguments), reads the lines a virtual pilot reports on a channel of its
// own, asks its participants to stop or tells them that the run ends, and kills those that outstay the
// run. On POSIX systems these are fork/exec, a pipe on descriptor 3 and signals (SIGTERM, SIGUSR1,
// SIGKILL); on Windows CreateProcess, an inherited pipe and two named events per child, the children
// placed in a job that ends them with the host.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace skyvox::sim {

// The requests that end a process's run, watched from its main loop. InstallStopHandlers must come
// first: SIGTERM and SIGINT (Ctrl+C, Ctrl+Break and closing the console on Windows) ask the process to
// stop; a participant also hears the host's word that the run ends, and a write to a peer that went
// away never kills it.
void InstallStopHandlers(bool participant);
// 0, or the number of the signal that asked this process to stop (SIGINT 2, SIGTERM 15).
int StopSignal();
// True once the host told this participant that the run ends before its time.
bool RunEnds();

// The descriptor a participant writes its report lines to, from the value of its --report-fd option:
// the descriptor itself on POSIX systems, the inherited pipe's handle on Windows (turned into a
// descriptor here); -1 stays -1, and so does a value that names no pipe.
int ReportDescriptor(long long value);
// Writes all of text to fd; lines that cannot be written are lost and the run goes on.
void WriteAll(int fd, const std::string& text);

enum class ChildSignal {
  Stop,     // leave cleanly (SIGTERM)
  RunEnds,  // the run ends before its time (SIGUSR1)
  Kill,     // end at once (SIGKILL)
};

class ChildProcess {
 public:
  // Starts the running program with `args` (args[0] its name) and, when `report`, a report channel
  // whose number is appended as "--report-fd N". Nothing when it cannot be started; `error` then says
  // why.
  static std::unique_ptr<ChildProcess> Start(std::vector<std::string> args, bool report, std::string& error);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Appends what the child reported since the last call, without waiting.
  void ReadReport(std::string& into);
  // False once the child has ended (its report can still be read to its end). Then
  // `ending` says how, when it ended otherwise than by exit status 0 or by our Kill: "ends with exit
  // status N" or "is ended by signal N".
  bool Running(std::string& ending);
  // Until the child ends.
  void Wait();
  void Signal(ChildSignal signal);

 private:
  ChildProcess() = default;
  struct Handles;
  std::unique_ptr<Handles> handles_;
  bool killed_ = false;
};

}  // namespace skyvox::sim
