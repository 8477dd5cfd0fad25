#include "player/startup_seed.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>

#include "engine/platform/random.h"

namespace sonvale {
namespace {

// The seed a fresh process would start with, given SONVALE_SEED (or none).
uint32_t SeedOfANewStart(const char* variable) {
  int pipeEnds[2];
  if (pipe(pipeEnds) != 0) ADD_FAILURE() << "pipe";
  const pid_t child = fork();
  if (child == 0) {
    if (variable)
      setenv(kSeedVariable, variable, 1);
    else
      unsetenv(kSeedVariable);
    SeedRandomGenerator();
    const uint32_t seed = viz::platform::RandomSeed();
    _exit(write(pipeEnds[1], &seed, sizeof seed) == sizeof seed ? 0 : 1);
  }
  close(pipeEnds[1]);
  uint32_t seed = 0;
  EXPECT_EQ(read(pipeEnds[0], &seed, sizeof seed), static_cast<ssize_t>(sizeof seed));
  close(pipeEnds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  return seed;
}

TEST(StartupSeedTest, EveryStartDrawsItsOwnSeedUnlessTheVariableFixesIt) {
  const uint32_t first = SeedOfANewStart(nullptr);
  const uint32_t second = SeedOfANewStart(nullptr);
  EXPECT_NE(first, second);
  EXPECT_EQ(SeedOfANewStart("12345"), 12345u);
  EXPECT_EQ(SeedOfANewStart("12345"), 12345u);
  EXPECT_EQ(SeedOfANewStart("0"), 0u);
  EXPECT_NE(SeedOfANewStart("not a number"), SeedOfANewStart("not a number"));
}

TEST(StartupSeedTest, OnlyAWholeDecimalNumberIsASeed) {
  const std::pair<const char*, std::optional<uint32_t>> cases[] = {
      {"0", 0u},          {"4294967295", 4294967295u}, {"4294967296", std::nullopt}, {"-1", std::nullopt},
      {"", std::nullopt}, {" 7", std::nullopt},        {"7 ", std::nullopt},         {"0x10", std::nullopt},
      {"007", 7u},        {"12a", std::nullopt}};
  for (const auto& [text, seed] : cases) EXPECT_EQ(ParseSeed(text), seed) << '"' << text << '"';
}

}  // namespace
}  // namespace sonvale
