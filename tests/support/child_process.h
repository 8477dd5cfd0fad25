// Real child processes for multi-process tests. A test executable registers child roles; the test
// starts a child as a fresh run of the same executable (fork and exec, so the child shares no
// descriptors, locks or memory with the test), talks to it by lines on its standard input and
// output, and can kill it with SIGKILL.
//
//   VIZ_CHILD_ROLE(holder) {            // int holder(const std::vector<std::string>& args)
//     ... read commands with ReadCommand(), answer with Reply() ...
//     return 0;
//   }
//   ChildProcess child("holder", {"/tmp/file"});
//   child.Send("lock 5 1");
//   EXPECT_EQ(child.ReadLine(), "locked");
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace viz::testing {

using ChildMain = int (*)(const std::vector<std::string>& args);

//! Registers a child role. When this process was started as that role, the constructor runs it
//! (before main) and ends the process with its result.
struct ChildRole {
  ChildRole(const char* name, ChildMain main);
};

#define VIZ_CHILD_ROLE(name)                                                                           \
  static int VizChildRole_##name(const std::vector<std::string>& args);                                \
  static const ::viz::testing::ChildRole vizChildRoleRegistration_##name(#name, &VizChildRole_##name); \
  static int VizChildRole_##name([[maybe_unused]] const std::vector<std::string>& args)

//! In a child: reads the next command line from the test; false at end of input.
bool ReadCommand(std::string* line);
//! In a child: sends one answer line to the test.
void Reply(const std::string& line);

//! A running child. Destroying it kills the child and reaps it.
class ChildProcess {
 public:
  ChildProcess(const std::string& role, const std::vector<std::string>& args);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  //! Sends one command line.
  void Send(const std::string& line);
  //! Returns the child's next line, or "<timeout>" / "<eof>".
  std::string ReadLine(int timeoutMs = 10000);
  //! Sends a command and returns the answer.
  std::string Ask(const std::string& line) {
    Send(line);
    return ReadLine();
  }
  //! Kills the child with SIGKILL and waits until it is gone.
  void Kill();
  //! Closes the child's input and waits for it to end; returns its exit status (-1 when killed).
  int Finish();

  pid_t Pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
  int toChild_ = -1;
  int fromChild_ = -1;
  std::string pending_;
};

}  // namespace viz::testing
