#include "support/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>

namespace viz::testing {
namespace {

constexpr const char* kRoleVariable = "VIZ_TEST_CHILD_ROLE";

//! The arguments of this process after the program name.
std::vector<std::string> OwnArguments() {
  std::ifstream in("/proc/self/cmdline", std::ios::binary);
  std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<std::string> args;
  size_t start = 0;
  while (start < all.size()) {
    size_t end = all.find('\0', start);
    if (end == std::string::npos) end = all.size();
    args.push_back(all.substr(start, end - start));
    start = end + 1;
  }
  if (!args.empty()) args.erase(args.begin());
  return args;
}

void WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t put = write(fd, text.data() + done, text.size() - done);
    if (put < 0) {
      if (errno == EINTR) continue;
      return;
    }
    done += static_cast<size_t>(put);
  }
}

}  // namespace

ChildRole::ChildRole(const char* name, ChildMain main) {
  const char* role = getenv(kRoleVariable);
  if (!role || std::strcmp(role, name) != 0) return;
  int result = main(OwnArguments());
  std::fflush(nullptr);
  _exit(result);
}

bool ReadCommand(std::string* line) {
  line->clear();
  char c;
  for (;;) {
    ssize_t got = read(STDIN_FILENO, &c, 1);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return !line->empty();
    if (c == '\n') return true;
    line->push_back(c);
  }
}

void Reply(const std::string& line) {
  WriteAll(STDOUT_FILENO, line + "\n");
}

ChildProcess::ChildProcess(const std::string& role, const std::vector<std::string>& args) {
  int input[2], output[2];
  if (pipe2(input, O_CLOEXEC) != 0 || pipe2(output, O_CLOEXEC) != 0) {
    std::perror("pipe2");
    std::abort();
  }
  std::vector<std::string> argvText;
  argvText.push_back("/proc/self/exe");
  argvText.insert(argvText.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& text : argvText) argv.push_back(text.data());
  argv.push_back(nullptr);
  std::string roleSetting = std::string(kRoleVariable) + "=" + role;

  pid_ = fork();
  if (pid_ < 0) {
    std::perror("fork");
    std::abort();
  }
  if (pid_ == 0) {
    dup2(input[0], STDIN_FILENO);
    dup2(output[1], STDOUT_FILENO);
    putenv(roleSetting.data());
    execv("/proc/self/exe", argv.data());
    _exit(127);
  }
  close(input[0]);
  close(output[1]);
  toChild_ = input[1];
  fromChild_ = output[0];
}

ChildProcess::~ChildProcess() {
  Kill();
  if (toChild_ >= 0) close(toChild_);
  if (fromChild_ >= 0) close(fromChild_);
}

void ChildProcess::Send(const std::string& line) {
  WriteAll(toChild_, line + "\n");
}

std::string ChildProcess::ReadLine(int timeoutMs) {
  for (;;) {
    size_t end = pending_.find('\n');
    if (end != std::string::npos) {
      std::string line = pending_.substr(0, end);
      pending_.erase(0, end + 1);
      return line;
    }
    pollfd waitFor{fromChild_, POLLIN, 0};
    int ready = poll(&waitFor, 1, timeoutMs);
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return "<timeout>";
    char buffer[256];
    ssize_t got = read(fromChild_, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return "<eof>";
    pending_.append(buffer, static_cast<size_t>(got));
  }
}

void ChildProcess::Kill() {
  if (pid_ <= 0) return;
  kill(pid_, SIGKILL);
  int status = 0;
  while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  pid_ = -1;
}

int ChildProcess::Finish() {
  if (pid_ <= 0) return -1;
  if (toChild_ >= 0) {
    close(toChild_);
    toChild_ = -1;
  }
  int status = 0;
  while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  pid_ = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace viz::testing
