// vizcheck FILE [--password TEXT]: checks a database file and reports every problem found.
#include <iostream>
#include <string>

#include "tools/vizcheck/file_checker.h"

namespace {

int Usage() {
  std::cerr << "usage: vizcheck FILE [--password TEXT]\n";
  return viz::tools::kCannotCheck;
}

}  // namespace

int main(int argc, char** argv) {
  std::string fileName;
  std::string password;
  for (int index = 1; index < argc; ++index) {
    std::string argument = argv[index];
    if (argument == "--password") {
      if (++index >= argc) return Usage();
      password = argv[index];
    } else if (argument.rfind("--password=", 0) == 0) {
      password = argument.substr(11);
    } else if (argument == "--help" || argument == "-h") {
      Usage();
      return viz::tools::kSound;
    } else if (fileName.empty() && (argument.empty() || argument[0] != '-')) {
      fileName = argument;
    } else {
      return Usage();
    }
  }
  if (fileName.empty()) return Usage();
  viz::tools::FileChecker checker(std::cout);
  return checker.Check(fileName, password);
}
