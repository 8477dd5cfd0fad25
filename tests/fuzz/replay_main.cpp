// Runs a fuzz target without the fuzzing engine, so that the normal build checks it too: every
// file of the given folders is fed to the target, then `--mutations N` inputs made by changing
// random bytes of those files (a fixed seed, so each run feeds the same inputs).
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

int Feed(const std::string& input) {
  return LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(input.data()), input.size());
}

std::string Mutate(std::string input, std::mt19937& random) {
  static const char kInteresting[] = "'\"`[]():?;-/*\n\r\t .,E0|<>=\\";
  const int edits = 1 + static_cast<int>(random() % 8);
  for (int i = 0; i < edits; ++i) {
    const size_t pos = input.empty() ? 0 : random() % (input.size() + 1);
    switch (random() % 4) {
      case 0:  // insert a character that matters to the lexer
        input.insert(pos, 1, kInteresting[random() % (sizeof kInteresting - 1)]);
        break;
      case 1:  // insert any byte
        input.insert(pos, 1, static_cast<char>(random()));
        break;
      case 2:  // delete one byte
        if (pos < input.size()) input.erase(pos, 1);
        break;
      default:  // repeat a piece
        if (pos < input.size()) input.insert(pos, input.substr(pos, 1 + random() % 16));
        break;
    }
  }
  return input;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> seeds;
  long mutations = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--mutations" && i + 1 < argc) {
      mutations = std::strtol(argv[++i], nullptr, 10);
      continue;
    }
    std::vector<std::filesystem::path> files;
    if (std::filesystem::is_directory(arg)) {
      for (const auto& entry : std::filesystem::directory_iterator(arg)) files.push_back(entry.path());
    } else {
      files.emplace_back(arg);
    }
    std::sort(files.begin(), files.end());
    for (const auto& file : files) {
      std::ifstream in(file, std::ios::binary);
      seeds.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
  }
  if (seeds.empty()) {
    std::fprintf(stderr, "usage: %s FOLDER|FILE... [--mutations N]\n", argv[0]);
    return 2;
  }
  for (const std::string& seed : seeds) Feed(seed);
  std::mt19937 random(12345);
  for (long n = 0; n < mutations; ++n) Feed(Mutate(seeds[random() % seeds.size()], random));
  std::printf("%zu inputs and %ld mutations ran\n", seeds.size(), mutations);
  return 0;
}
