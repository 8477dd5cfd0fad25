// vizcheck FILE [--password TEXT] [--tables]: checks a database file and reports every problem
// found; with --tables it lists the tables with their record counts instead of the whole report.
#include <iostream>
#include <sstream>
#include <string>

#include "tools/vizcheck/file_checker.h"

namespace {

int Usage() {
  std::cerr << "usage: vizcheck FILE [--password TEXT] [--tables]\n";
  return viz::tools::kCannotCheck;
}

}  // namespace

int main(int argc, char** argv) {
  std::string fileName;
  std::string password;
  bool tablesOnly = false;
  for (int index = 1; index < argc; ++index) {
    std::string argument = argv[index];
    if (argument == "--tables") {
      tablesOnly = true;
    } else if (argument == "--password") {
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
  if (!tablesOnly) {
    viz::tools::FileChecker checker(std::cout);
    return checker.Check(fileName, password);
  }
  // The report is kept back; its problems and its verdict are shown after the list.
  std::ostringstream report;
  viz::tools::FileChecker checker(report);
  checker.ListTablesOn(&std::cout);
  const viz::tools::CheckResult result = checker.Check(fileName, password);
  std::istringstream lines(report.str());
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("PROBLEM:", 0) == 0 || line.rfind("ERROR:", 0) == 0 || line.rfind("WRONG PASSWORD:", 0) == 0 ||
        line.find("found.") != std::string::npos)
      std::cout << line << "\n";
  }
  return result;
}
