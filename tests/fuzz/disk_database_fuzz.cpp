// Fuzz target of database files. The input is a whole database file; it is opened and every table
// read in every order with every BLOB value (support/disk_reader.h). Reading a damaged file may
// raise engine errors and nothing else, and must never change the file.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/disk_reader.h"

namespace {

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "disk database fuzz: %s\n", what.c_str());
  std::abort();
}

const std::string& FilePath() {
  static const std::string path = [] {
    const char* folder = std::getenv("TMPDIR");
    std::string pattern = std::string(folder && *folder ? folder : "/tmp") + "/vizfuzzXXXXXX";
    if (!mkdtemp(pattern.data())) Fail("cannot make a folder for the database file");
    return pattern + "/fuzz.svl";
  }();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string& path = FilePath();
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (!out) Fail("cannot write the database file");
  }
  try {
    // The enciphered seeds use this password; for a plain file it does not matter.
    viz::testing::ReadWholeDatabase(path, "fuzz");
  } catch (const std::exception& error) {
    Fail(std::string("not an engine error: ") + error.what());
  }
  std::ifstream in(path, std::ios::binary);
  const std::vector<uint8_t> after{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (after != std::vector<uint8_t>(data, data + size)) Fail("reading changed the file");
  std::remove((path + "-journal").c_str());
  return 0;
}
