// SPDX-License-Identifier: MIT
#include "trackmeter/durations_reader.h"

#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

#include "temp_tree.h"

namespace trackmeter {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

std::string Le32(uint32_t v) {
  std::string s(4, '\0');
  for (int i = 0; i < 4; ++i) s[i] = static_cast<char>(v >> (8 * i));
  return s;
}

std::string FloatLe(float f) {
  uint32_t bits;
  std::memcpy(&bits, &f, 4);
  return Le32(bits);
}

std::string Table(uint32_t pass, uint32_t count,
                  const std::vector<std::pair<uint32_t, float>>& records) {
  std::string t = Le32(pass) + Le32(count);
  for (const auto& [id, s] : records) t += Le32(id) + FloatLe(s);
  return t;
}

std::string ErrorOf(const std::string& bytes) {
  std::string error;
  EXPECT_FALSE(DurationsTable::Parse(bytes.data(), bytes.size(), &error).has_value());
  return error;
}

// A path of the vectors, its %HH escapes undone.
std::string Unescape(const std::string& s) {
  std::string bytes;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size()) {
      bytes += static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      bytes += s[i];
    }
  }
  return bytes;
}

std::string FromHex(const std::string& hex) {
  std::string bytes;
  for (std::size_t i = 0; hex != "-" && i + 1 < hex.size(); i += 2)
    bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  return bytes;
}

// The vectors every reader's tests share; the messages name the same place
// as the C header's error offset.
TEST(DurationsReaderTest, SharedVectors) {
  std::ifstream in(TRACKMETER_VECTORS);
  ASSERT_TRUE(in) << TRACKMETER_VECTORS;
  std::map<std::string, int> counts;
  std::optional<DurationsTable> table;
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    if (line.empty() || line[0] == '#') continue;
    SCOPED_TRACE("line " + std::to_string(number) + ": " + line);
    std::istringstream fields(line);
    std::string kind, a, b, c, d;
    fields >> kind >> a >> b >> c >> d;
    ++counts[kind];
    if (kind == "id") {
      EXPECT_EQ(PathHash(Unescape(c), std::stoul(a)), std::stoul(b));
    } else if (kind == "table") {
      const std::string bytes = FromHex(d), where = c;
      std::string error;
      auto parsed = DurationsTable::Parse(bytes.data(), bytes.size(), &error);
      const std::map<std::string, std::string> messages = {
          {"short", "table of " + where + " bytes is shorter"},
          {"pass", "pass at offset 0 is 0"},
          {"count", "count at offset 4 is"},
          {"truncated", "; the table has " + where},
          {"trailing", "bytes trailing after record 1, from offset " + where},
          {"order", "at offset " + where + ": id"}};
      if (b == "ok") {
        ASSERT_TRUE(parsed.has_value()) << error;
        EXPECT_EQ(8 + 8 * parsed->records().size(), bytes.size());
        table = std::move(parsed);
      } else {
        EXPECT_FALSE(parsed.has_value());
        EXPECT_THAT(error, HasSubstr(messages.at(b)));
      }
    } else if (kind == "find" || kind == "find-id") {
      ASSERT_TRUE(table.has_value());
      const std::optional<float> expected =
          b == "-" ? std::nullopt : std::optional<float>(std::strtof(b.c_str(), nullptr));
      EXPECT_EQ(kind == "find" ? table->Lookup(Unescape(a))
                               : table->LookupId(static_cast<uint32_t>(std::stoul(a))),
                expected);
    } else {
      ADD_FAILURE() << "not a vector";
    }
  }
  EXPECT_GT(counts["id"], 0);
  EXPECT_GT(counts["table"], 0);
  EXPECT_GT(counts["find"], 0);
}

TEST(DurationsReaderTest, ANullErrorPointerIsAllowed) {
  TempTree tree;
  const std::string bad = Table(1, 2, {{9, 1.0f}, {9, 2.0f}});
  tree.Write("bad.bin", bad);
  tree.Write("good.bin", Table(1, 1, {{5, 1.0f}}));
  EXPECT_FALSE(DurationsTable::Parse(bad.data(), bad.size(), nullptr));
  EXPECT_FALSE(DurationsTable::Parse(nullptr, 16, nullptr));
  EXPECT_FALSE(DurationsTable::Load(tree.Path("bad.bin"), nullptr));
  EXPECT_FALSE(DurationsTable::Load(tree.Path("none.bin"), nullptr));
  EXPECT_TRUE(DurationsTable::Load(tree.Path("good.bin"), nullptr));
}

TEST(DurationsReaderTest, EveryMalformedTableIsNamedWithItsPlace) {
  const std::string good = Table(1, 2, {{5, 1.0f}, {9, 2.0f}});
  for (std::size_t n = 0; n < 8; ++n)
    EXPECT_THAT(ErrorOf(good.substr(0, n)),
                HasSubstr("table of " + std::to_string(n) + " bytes is shorter"));
  EXPECT_THAT(ErrorOf(Table(0, 1, {{5, 1.0f}})), HasSubstr("pass at offset 0 is 0"));
  EXPECT_THAT(ErrorOf(Table(1, 0, {})), HasSubstr("count at offset 4 is 0"));
  EXPECT_THAT(ErrorOf(Table(1, 0xFFFFFFFF, {{5, 1.0f}})),
              HasSubstr("count at offset 4 is -1"));
  EXPECT_THAT(ErrorOf(Table(1, 3, {{5, 1.0f}, {9, 2.0f}})),
              HasSubstr("needs 32 bytes; the table has 24"));
  EXPECT_THAT(ErrorOf(Table(1, 0x7FFFFFFF, {{5, 1.0f}})),
              HasSubstr("needs 17179869184 bytes"));
  EXPECT_THAT(ErrorOf(good + "xyz"),
              HasSubstr("3 bytes trailing after record 1, from offset 24"));
  EXPECT_THAT(ErrorOf(Table(1, 3, {{5, 1.0f}, {9, 2.0f}, {7, 3.0f}})),
              HasSubstr("record 2 at offset 24: id 7 does not ascend from 9"));
  EXPECT_THAT(ErrorOf(Table(1, 2, {{9, 1.0f}, {9, 2.0f}})),
              HasSubstr("record 1 at offset 16: id 9 does not ascend"));
  // Ids compare as unsigned: 0x80000000 stands after 5.
  std::string error;
  const std::string big = Table(1, 2, {{5, 1.0f}, {0x80000000, 2.0f}});
  EXPECT_TRUE(DurationsTable::Parse(big.data(), big.size(), &error).has_value());
}

TEST(DurationsReaderTest, LoadReadsFilesAndRefusesWhatIsNoTable) {
  TempTree tree;
  const std::string good = Table(4, 1, {{77, 0.5f}});
  tree.Write("t.bin", good);
  std::string error;
  auto table = DurationsTable::Load(tree.Path("t.bin"), &error);
  ASSERT_TRUE(table.has_value()) << error;
  EXPECT_EQ(table->LookupId(77), 0.5f);

  EXPECT_FALSE(DurationsTable::Load(tree.Path("none.bin"), &error));
  EXPECT_THAT(error, HasSubstr("cannot open"));
  EXPECT_FALSE(DurationsTable::Load(tree.root(), &error));
  EXPECT_EQ(error, "cannot read");
  tree.Write("short.bin", good.substr(0, 5));
  EXPECT_FALSE(DurationsTable::Load(tree.Path("short.bin"), &error));
  EXPECT_THAT(error, StartsWith("not a Durations.bin table: table of 5 bytes"));

  // A sparse file of 4 GiB behind a good header is refused from its size.
  tree.Write("huge.bin", good);
  ASSERT_EQ(truncate(tree.Path("huge.bin").c_str(), off_t{1} << 32), 0);
  EXPECT_FALSE(DurationsTable::Load(tree.Path("huge.bin"), &error));
  EXPECT_THAT(error, HasSubstr("bytes trailing after record 0, from offset 16"));
}

}  // namespace
}  // namespace trackmeter
