#include "engine/sql/reserved_words.h"

#include <algorithm>
#include <array>

namespace viz {
namespace {

constexpr std::string_view kWords[] = {
#define VIZ_RESERVED_WORD(identifier, text) text,
#include "engine/sql/reserved_words.inc"
#undef VIZ_RESERVED_WORD
};
static_assert(std::size(kWords) == kReservedWordCount);

constexpr size_t kLongestWord = [] {
  size_t longest = 0;
  for (std::string_view word : kWords) longest = std::max(longest, word.size());
  return longest;
}();

struct Entry {
  std::string_view text;
  uint16_t number;
};

// The table sorted by text, built once, for a binary search.
const std::array<Entry, kReservedWordCount>& SortedWords() {
  static const std::array<Entry, kReservedWordCount> sorted = [] {
    std::array<Entry, kReservedWordCount> entries{};
    for (uint16_t number = 0; number < kReservedWordCount; ++number)
      entries[number] = {kWords[number], number};
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.text < b.text; });
    return entries;
  }();
  return sorted;
}

}  // namespace

uint16_t FindReservedWord(std::string_view word) {
  if (word.empty() || word.size() > kLongestWord) return kNotReservedWord;
  char upper[kLongestWord];
  for (size_t i = 0; i < word.size(); ++i) {
    const char c = word[i];
    upper[i] = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
  }
  const std::string_view key(upper, word.size());
  const auto& sorted = SortedWords();
  const auto found = std::lower_bound(sorted.begin(), sorted.end(), key,
                                      [](const Entry& entry, std::string_view k) { return entry.text < k; });
  return found != sorted.end() && found->text == key ? found->number : kNotReservedWord;
}

std::string_view ReservedWordText(uint16_t number) {
  return number < kReservedWordCount ? kWords[number] : std::string_view();
}

}  // namespace viz
