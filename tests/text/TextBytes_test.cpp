// The text rule: bytes from files read as UTF-8 where they are valid UTF-8,
// else as Latin-1; a piece read as its whole line is; text written as UTF-8.
#include <gtest/gtest.h>

#include <QString>
#include <string>

#include "text/TextBytes.h"

namespace sondrel {
namespace {

QString U(const char16_t* text) { return QString::fromUtf16(text); }

TEST(TextOfBytes, ValidUtf8IsReadAsUtf8) {
  EXPECT_EQ(TextOfBytes(""), QString());
  EXPECT_EQ(TextOfBytes("plain ascii"), U(u"plain ascii"));
  EXPECT_EQ(TextOfBytes("B\xC3\xBCro"), U(u"B\u00FCro"));
  EXPECT_EQ(TextOfBytes("\xE2\x82\xAC 5"), U(u"\u20AC 5"));
  EXPECT_EQ(TextOfBytes("\xF0\x9F\x98\x80"), U(u"\U0001F600"));
}

TEST(TextOfBytes, AnythingElseIsReadAsLatin1ByteForByte) {
  EXPECT_EQ(TextOfBytes("B\xFCro"), U(u"B\u00FCro"));
  EXPECT_EQ(TextOfBytes("\xC3"), U(u"\u00C3"));              // cut short
  EXPECT_EQ(TextOfBytes("\xC0\xAF"), U(u"\u00C0\u00AF"));    // overlong
  EXPECT_EQ(TextOfBytes("\xED\xA0\x80"), U(u"\u00ED\u00A0\u0080"));  // a surrogate
  // One stray byte makes the whole line Latin-1, its UTF-8 letters too.
  EXPECT_EQ(TextOfBytes("Caf\xC3\xA9 K\xF6ln"), U(u"Caf\u00C3\u00A9 K\u00F6ln"));
}

TEST(TextOfBytes, APieceIsReadAsItsWholeLine) {
  // A cut inside the last "\xC3\xB6" of a UTF-8 line: the piece alone is not
  // UTF-8, but its "ü" stays "ü" and only the cut character is lost.
  const std::string whole = "B\xC3\xBCro K\xC3\xB6ln";
  const std::string piece = whole.substr(0, 8);
  EXPECT_EQ(TextOfBytesLike(whole, piece), U(u"B\u00FCro K\uFFFD"));
  EXPECT_EQ(TextOfBytes(piece), U(u"B\u00C3\u00BCro K\u00C3"));
  EXPECT_EQ(TextOfBytesLike(whole, whole), U(u"B\u00FCro K\u00F6ln"));

  // A field that is valid UTF-8 on its own, of a Latin-1 line, stays Latin-1
  // like the other fields beside it.
  const std::string latin = "Caf\xC3\xA9,K\xF6ln";
  EXPECT_EQ(TextOfBytesLike(latin, latin.substr(0, 5)), U(u"Caf\u00C3\u00A9"));
  EXPECT_EQ(TextOfBytesLike(latin, latin.substr(6)), U(u"K\u00F6ln"));
}

TEST(BytesOfText, TextIsWrittenAsUtf8) {
  EXPECT_EQ(BytesOfText(U(u"B\u00FCro")), "B\xC3\xBCro");
  EXPECT_EQ(BytesOfText(U(u"\u20AC \U0001F600")), "\xE2\x82\xAC \xF0\x9F\x98\x80");
  // What was read as Latin-1 is written back as UTF-8.
  EXPECT_EQ(BytesOfText(TextOfBytes("K\xF6ln")), "K\xC3\xB6ln");
  // UTF-8 comes back byte for byte.
  for (const std::string bytes : {"", "arp -a", "B\xC3\xBCro,10.0.0.1", "\xF0\x9F\x98\x80"})
    EXPECT_EQ(BytesOfText(TextOfBytes(bytes)), bytes);
}

TEST(ProgramText, IsAlwaysUtf8NeverLatin1) {
  EXPECT_EQ(ProgramText("B\xC3\xBCro"), U(u"B\u00FCro"));
  EXPECT_EQ(ProgramText("K\xF6ln"), U(u"K\uFFFDln"));
}

}  // namespace
}  // namespace sondrel
