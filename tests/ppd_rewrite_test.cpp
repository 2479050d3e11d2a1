// The fuzz target on the inputs it starts from, fuzz/corpus: files named for the rule they reach.
// It checks each output against the rules, with Letter off and on and with the output failing
// part-way; a broken rule aborts with the property and the input.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size);

TEST(RewritePPDText, WritesTheTextAsTheRulesSay) {
  for (const auto &entry : std::filesystem::directory_iterator(FUZZ_CORPUS)) {
    std::ifstream file(entry.path(), std::ios::binary);
    std::string data{std::istreambuf_iterator<char>(file), {}};
    for (const char mode : {0, 1, 2, 3}) { // the first byte; the text follows
      data.at(0) = mode;
      LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t *>(data.data()), data.size());
    }
  }
}
