// Reading a list file piece by piece: lines across pieces, over-long lines
// left out but found again for a rewrite, the tail counted but not held.
#include <gtest/gtest.h>

#include <set>

#include "core/iplist/IPListFile.h"

namespace sondrel {
namespace {

using namespace std::string_literals;

IPListFileContents ReadInPieces(std::string_view bytes, std::size_t pieceSize) {
  IPListReader reader;
  for (std::size_t at = 0; at < bytes.size(); at += pieceSize) reader.feed(bytes.substr(at, pieceSize));
  return reader.finish();
}

TEST(IPListReader, PiecesOfAnySizeReadLikeTheWholeFile) {
  const std::string bytes =
      "  A10.0.0.2 \r\n=note\r\nBG,1.1.1.1,\0x\xff\r\nA10.0.0.1\r\n \r\r\n  \r\nA9\r\n \r\n\r\rx\r\nlast"s;
  const IPListFileContents whole = ParseIPListFile(bytes);
  const std::multiset<std::string> loaded(whole.entries.begin(), whole.entries.end());
  EXPECT_EQ(loaded,
            (std::multiset<std::string>{"A10.0.0.1", "A10.0.0.2", "BG,1.1.1.1,\0x\xff"s, "\r"}));
  EXPECT_EQ(whole.tail, "A9\r\n \r\n\r\rx\r\nlast");
  EXPECT_EQ(whole.tailLines, 3);
  for (std::size_t piece : {1u, 2u, 3u, 7u, 64u}) {
    SCOPED_TRACE(piece);
    const IPListFileContents read = ReadInPieces(bytes, piece);
    EXPECT_EQ(read.entries, whole.entries);
    EXPECT_EQ(read.tail, "") << "the tail is never held";
    EXPECT_EQ(read.tailLines, 3);
    EXPECT_EQ(read.tailOffset, 56);
    EXPECT_EQ(read.fileSize, static_cast<std::int64_t>(bytes.size()));
  }
}

TEST(IPListReader, LinesLongerThanTheLimitAreLeftOutButKeptForARewrite) {
  const std::string longest = "A" + std::string(kLongestListLine - 1, 'x');  // just fits
  const std::string tooLong = "B" + std::string(kLongestListLine, 'y');
  const std::string longComment = "=" + std::string(kLongestListLine, 'z');
  const std::string longBlank(kLongestListLine + 5, ' ');
  const std::string bytes = "A10.0.0.1\r\n" + tooLong + "\r\n" + longest + "\n" + longComment +
                            "\r\nA10.0.0.2\r\n" + longBlank + "\r\nA10.0.0.3\r\n";
  for (std::size_t piece : {std::size_t{1} << 16, bytes.size()}) {
    SCOPED_TRACE(piece);
    const IPListFileContents read = ReadInPieces(bytes, piece);
    EXPECT_EQ(read.entries, (std::vector<std::string>{"A10.0.0.1", "A10.0.0.2", longest}));
    // The over-long line with its line end, then the tail after the blank line.
    const std::vector<FileByteRange> kept = read.keptRanges();
    ASSERT_EQ(kept.size(), 2u);
    EXPECT_EQ(bytes.substr(static_cast<std::size_t>(kept[0].offset), static_cast<std::size_t>(kept[0].size)),
              tooLong + "\r\n");
    EXPECT_EQ(bytes.substr(static_cast<std::size_t>(kept[1].offset), static_cast<std::size_t>(kept[1].size)),
              "A10.0.0.3\r\n");
  }
  // An over-long last line without its line end is kept whole too.
  const IPListFileContents cut = ParseIPListFile("A1.1.1.1\r\n" + tooLong);
  EXPECT_EQ(cut.entries, (std::vector<std::string>{"A1.1.1.1"}));
  ASSERT_EQ(cut.keptRanges().size(), 1u);
  EXPECT_EQ(cut.keptRanges()[0].offset, 10);
  EXPECT_EQ(cut.keptRanges()[0].size, static_cast<std::int64_t>(tooLong.size()));
}

}  // namespace
}  // namespace sondrel
