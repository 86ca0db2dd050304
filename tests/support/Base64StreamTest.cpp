// The incremental base64 codec against OpenSSL's EVP_EncodeBlock: the same text however the
// input is cut, in lines of 64 characters or one line; decoding back through LF, CRLF, blanks
// and cuts anywhere; and a table of damaged texts, each refused for its own reason.
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <random>
#include <string>
#include <vector>

#include "crypto/support/Base64Stream.h"

namespace {

using MiscObj::TBase64Decoder;
using MiscObj::TBase64Encoder;
using MiscObj::TBase64Fault;
using Bytes = std::vector<std::uint8_t>;

Bytes Random(std::size_t n, unsigned seed) {
  std::mt19937 g(seed);
  Bytes b(n);
  for (auto& x : b) x = static_cast<std::uint8_t>(g());
  return b;
}

// The oracle: the whole input at once, then cut into lines of lineChars (0: one line) with LF.
std::string Expected(const Bytes& b, std::size_t lineChars) {
  std::string flat(4 * ((b.size() + 2) / 3) + 1, '\0');
  flat.resize(static_cast<std::size_t>(EVP_EncodeBlock(reinterpret_cast<unsigned char*>(flat.data()), b.data(),
                                                       static_cast<int>(b.size()))));
  if (lineChars == 0) return flat;
  std::string lines;
  for (std::size_t at = 0; at < flat.size(); at += lineChars) lines += flat.substr(at, lineChars) + "\n";
  return lines;
}

// Pieces of the given lengths, cycled, until b is used up.
template <class Feed>
void InPieces(const Bytes& b, const std::vector<std::size_t>& cuts, Feed feed) {
  for (std::size_t at = 0, k = 0; at < b.size(); ++k) {
    const std::size_t n = std::min(cuts[k % cuts.size()], b.size() - at);
    feed(std::span(b).subspan(at, n));
    at += n;
  }
}

const std::vector<std::vector<std::size_t>> kCuts = {{1}, {2}, {1, 4, 7}, {47, 48, 49}, {1 << 20}};

TEST(Base64Stream, EncodesAsOneTextHoweverCut) {
  for (const std::size_t n : {0, 1, 2, 3, 4, 47, 48, 49, 95, 96, 97, 1000, 4099}) {
    const Bytes b = Random(n, static_cast<unsigned>(n));
    for (const std::size_t lineChars : {64, 76, 0}) {
      for (const auto& cuts : kCuts) {
        TBase64Encoder e(lineChars);
        std::string text;
        InPieces(b, cuts, [&](std::span<const std::uint8_t> p) { e.Update(p, text); });
        e.Finish(text);
        ASSERT_EQ(text, Expected(b, lineChars)) << n << " bytes, lines of " << lineChars;
        // The encoder starts anew after Finish.
        std::string again;
        e.Update(b, again);
        e.Finish(again);
        ASSERT_EQ(again, text);
      }
    }
  }
}

TEST(Base64Stream, DecodesAnyLineLayoutHoweverCut) {
  for (const std::size_t n : {0, 1, 2, 3, 49, 1000, 4099}) {
    const Bytes b = Random(n, 7 + static_cast<unsigned>(n));
    std::string lf = Expected(b, 64), crlf, blanks;
    for (const char c : lf) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    for (std::size_t i = 0; i < lf.size(); ++i) blanks += (i % 5 == 0 ? " \t" : "") + std::string(1, lf[i]);
    for (const auto& [text, skipBlanks] : std::vector<std::pair<std::string, bool>>{
             {lf, false}, {crlf, false}, {Expected(b, 0), false}, {blanks, true}}) {
      for (const auto& cuts : kCuts) {
        TBase64Decoder d(skipBlanks);
        Bytes out;
        const Bytes t(text.begin(), text.end());
        InPieces(t, cuts, [&](std::span<const std::uint8_t> p) { ASSERT_EQ(d.Update(p, out), TBase64Fault::None); });
        ASSERT_EQ(d.Finish(), TBase64Fault::None);
        ASSERT_EQ(out, b) << n << " bytes";
      }
    }
  }
}

TEST(Base64Stream, RefusesDamagedTextForItsReason) {
  const struct {
    const char* Text;
    bool SkipBlanks;
    TBase64Fault Fault;
    std::size_t Bytes;  // decoded before the fault
  } cases[] = {
      {"QUJD*UJD", false, TBase64Fault::Character, 3},
      {"QUJD QUJD", false, TBase64Fault::Character, 3},  // a blank, not skipped
      {"QUJD\x80", true, TBase64Fault::Character, 3},
      {"=UJD", false, TBase64Fault::Padding, 0},
      {"Q===", false, TBase64Fault::Padding, 0},
      {"QQ==\n=", false, TBase64Fault::Padding, 1},  // more padding after the group closed
      {"QQ=A", false, TBase64Fault::AfterPadding, 0},
      {"QUI=QUJD", false, TBase64Fault::AfterPadding, 2},
      {"QQ==\r\n QUJD", true, TBase64Fault::AfterPadding, 1},
      {"QUJ", false, TBase64Fault::Unfinished, 0},
      {"QUJDQ\n", false, TBase64Fault::Unfinished, 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Text);
    TBase64Decoder d(c.SkipBlanks);
    Bytes out;
    const std::string text = c.Text;
    TBase64Fault f = d.Update({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()}, out);
    if (f == TBase64Fault::None) f = d.Finish();
    EXPECT_EQ(f, c.Fault);
    EXPECT_EQ(out.size(), c.Bytes);
    if (c.Fault != TBase64Fault::Unfinished) {
      // A fault is final: good text after it decodes nothing.
      const std::string good = "QUJD";
      EXPECT_EQ(d.Update({reinterpret_cast<const std::uint8_t*>(good.data()), good.size()}, out), c.Fault);
      EXPECT_EQ(out.size(), c.Bytes);
    }
  }
}

}  // namespace
