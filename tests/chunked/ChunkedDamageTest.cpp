// Damaged cipher texts through every decrypting form: each is refused with its status; the
// one-call form leaves zeros, the stream form its output as it was, the path form no file; the
// incremental decryptor releases nothing past the last chunk that verified and keeps failing.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "ChunkedTestSupport.h"
#include "crypto/support/error.h"
#include "platform/SysUtils.h"

namespace {

using namespace chunked_test;
using platform::Integer;

// Three full chunks and a short one, and the same salt's longer message for a valid chunk 4.
struct TDamageFixture {
  TMessageCase Message = MakeCase(TSuite::Cobblestone256, 3 * kChunk + 100, 5, 41);
  Bytes Longer;
  TDamageFixture() {
    Message.Cipher.resize(AESChunked::CipherBytes(Message.Plain.size()));
    EXPECT_EQ(AESChunked::Encrypt(Message.Params(), Message.Plain, Message.Cipher, Message.Salt), 0);
    const Bytes plain = RandomBytes(6 * kChunk, 3);
    Longer.resize(AESChunked::CipherBytes(plain.size()));
    EXPECT_EQ(AESChunked::Encrypt(Message.Params(), plain, Longer, Message.Salt), 0);
  }
  static std::size_t At(std::size_t chunk) { return kHeader + chunk * kSealed; }
};

struct TDamage {
  const char* Name;
  std::function<void(Bytes&, const TDamageFixture&)> Apply;
  Integer Expected;
  std::size_t Releasable;  // chunks before the damage, which a streaming form may release
  bool WrongParams = false;
};

void Flip(Bytes& b, std::size_t at) { b.at(at) ^= 0x10; }
void Cut(Bytes& b, std::size_t n) { b.resize(n); }
Bytes Chunk(const Bytes& c, std::size_t k) {
  return Bytes(c.begin() + static_cast<std::ptrdiff_t>(TDamageFixture::At(k)),
               c.begin() + static_cast<std::ptrdiff_t>(std::min(TDamageFixture::At(k + 1), c.size())));
}
void Replace(Bytes& c, std::size_t k, const Bytes& chunk) {
  std::copy(chunk.begin(), chunk.end(), c.begin() + static_cast<std::ptrdiff_t>(TDamageFixture::At(k)));
}

const TDamage kDamages[] = {
    {"salt", [](Bytes& c, auto&) { Flip(c, 3); }, error::kChunkCommitment, 0},
    {"commitment", [](Bytes& c, auto&) { Flip(c, 24 + 31); }, error::kChunkCommitment, 0},
    {"chunk 0", [](Bytes& c, auto&) { Flip(c, TDamageFixture::At(0) + 9); }, error::kTagMismatch, 0},
    {"chunk 1", [](Bytes& c, auto&) { Flip(c, TDamageFixture::At(1) + kChunk - 1); }, error::kTagMismatch, 1},
    {"chunk 2", [](Bytes& c, auto&) { Flip(c, TDamageFixture::At(2)); }, error::kTagMismatch, 2},
    {"last chunk", [](Bytes& c, auto&) { Flip(c, TDamageFixture::At(3) + 50); }, error::kTagMismatch, 3},
    {"tag of chunk 0", [](Bytes& c, auto&) { Flip(c, TDamageFixture::At(1) - 1); }, error::kTagMismatch, 0},
    {"tag of chunk 2", [](Bytes& c, auto&) { Flip(c, TDamageFixture::At(3) - 16); }, error::kTagMismatch, 2},
    {"tag of the last chunk", [](Bytes& c, auto&) { Flip(c, c.size() - 1); }, error::kTagMismatch, 3},
    {"cut inside the header", [](Bytes& c, auto&) { Cut(c, 30); }, error::kChunkTruncated, 0},
    {"cut after the header", [](Bytes& c, auto&) { Cut(c, kHeader); }, error::kChunkTruncated, 0},
    {"cut after chunk 0", [](Bytes& c, auto&) { Cut(c, TDamageFixture::At(1)); }, error::kChunkTruncated, 1},
    {"cut after chunk 1", [](Bytes& c, auto&) { Cut(c, TDamageFixture::At(2)); }, error::kChunkTruncated, 2},
    {"cut after chunk 2", [](Bytes& c, auto&) { Cut(c, TDamageFixture::At(3)); }, error::kChunkTruncated, 3},
    {"cut inside the tag of chunk 2", [](Bytes& c, auto&) { Cut(c, TDamageFixture::At(3) - 5); },
     error::kTagMismatch, 2},
    {"cut inside the last tag", [](Bytes& c, auto&) { Cut(c, c.size() - 3); }, error::kTagMismatch, 3},
    {"cut to 10 bytes after chunk 1", [](Bytes& c, auto&) { Cut(c, TDamageFixture::At(2) + 10); },
     error::kChunkTruncated, 2},
    {"a byte appended", [](Bytes& c, auto&) { c.push_back(0); }, error::kTagMismatch, 3},
    {"a valid chunk 4 appended",
     [](Bytes& c, const TDamageFixture& f) {
       const Bytes next = Chunk(f.Longer, 4);
       c.insert(c.end(), next.begin(), next.end());
     },
     error::kTagMismatch, 3},
    {"chunks 0 and 1 swapped",
     [](Bytes& c, auto&) {
       const Bytes a = Chunk(c, 0), b = Chunk(c, 1);
       Replace(c, 0, b);
       Replace(c, 1, a);
     },
     error::kTagMismatch, 0},
    {"chunk 1 repeated as chunk 2", [](Bytes& c, auto&) { Replace(c, 2, Chunk(c, 1)); }, error::kTagMismatch, 2},
    {"chunk 1 dropped",
     [](Bytes& c, auto&) {
       c.erase(c.begin() + static_cast<std::ptrdiff_t>(TDamageFixture::At(1)),
               c.begin() + static_cast<std::ptrdiff_t>(TDamageFixture::At(2)));
     },
     error::kTagMismatch, 1},
    {"last chunk from a longer message", [](Bytes& c, const TDamageFixture& f) {
       Cut(c, TDamageFixture::At(3));
       const Bytes full = Chunk(f.Longer, 3);
       c.insert(c.end(), full.begin(), full.begin() + 116);
     },
     error::kTagMismatch, 3},
    {"wrong key", [](Bytes&, auto&) {}, error::kChunkCommitment, 0, true},
};

// The key or the context changed instead of the bytes.
AESChunked::TParams ParamsFor(const TDamage& d, const TDamageFixture& f, Bytes& otherKey) {
  if (!d.WrongParams) return f.Message.Params();
  otherKey = f.Message.Key;
  otherKey[0] ^= 1;
  return {f.Message.Suite, otherKey, f.Message.Context};
}

TEST(ChunkedDamage, EveryFormRefusesEveryDamage) {
  const TDamageFixture f;
  for (const TDamage& d : kDamages) {
    SCOPED_TRACE(d.Name);
    Bytes cipher = f.Message.Cipher;
    d.Apply(cipher, f);
    Bytes otherKey;
    const AESChunked::TParams params = ParamsFor(d, f, otherKey);

    Bytes plain(f.Message.Plain.size() + kChunk + 100, 0);  // room for what an extended text claims
    EXPECT_EQ(AESChunked::Decrypt(params, cipher, plain), d.Expected);
    EXPECT_EQ(plain, Bytes(plain.size(), 0));

    for (std::size_t piece : {std::size_t{1000}, kSealed, cipher.size()}) {
      const TFedResult r = FeedDecryptor(params, cipher, piece);
      EXPECT_EQ(r.Status, d.Expected) << "pieces of " << piece;
      EXPECT_LE(r.Released.size(), d.Releasable * kChunk) << "pieces of " << piece;
      EXPECT_TRUE(std::equal(r.Released.begin(), r.Released.end(), f.Message.Plain.begin()));
    }

    const Bytes before = {'k', 'e', 'e', 'p'};
    platform::TMemoryStream in(cipher), out(before);
    out.SetPosition(4);
    EXPECT_EQ(AESChunked::DecryptStream(params, &in, &out, {2, {}}), d.Expected);
    EXPECT_EQ(out.Bytes(), before);
    EXPECT_EQ(out.GetPosition(), 4);

    AESChunked::TReader reader;
    platform::TMemoryStream source(cipher);
    Integer st = reader.Open(params, &source);
    if (st == 0) {
      Bytes all(f.Message.Plain.size() + 100, 0);
      std::size_t got = 1;
      st = reader.ReadAt(0, all, got);
      EXPECT_EQ(got, 0u);
      EXPECT_EQ(all, Bytes(all.size(), 0));
    }
    EXPECT_EQ(st, d.Expected);
  }
}

TEST(ChunkedDamage, WrongContextOrSuiteFailsTheCommitment) {
  const TDamageFixture f;
  Bytes plain(f.Message.Plain.size());
  Bytes context = f.Message.Context;
  context.push_back(0);
  EXPECT_EQ(AESChunked::Decrypt({f.Message.Suite, f.Message.Key, context}, f.Message.Cipher, plain),
            error::kChunkCommitment);
  EXPECT_EQ(AESChunked::Decrypt({f.Message.Suite, f.Message.Key, {}}, f.Message.Cipher, plain),
            error::kChunkCommitment);
  // The suite is bound too: the first 16 bytes of the key under the other suite.
  const Bytes key16(f.Message.Key.begin(), f.Message.Key.begin() + 16);
  EXPECT_EQ(AESChunked::Decrypt({TSuite::Cobblestone128, key16, f.Message.Context}, f.Message.Cipher, plain),
            error::kChunkCommitment);
}

TEST(ChunkedDamage, PathFormWritesNothingOnFailure) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("aes_chunked_damage_" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const TDamageFixture f;
  Bytes cipher = f.Message.Cipher;
  Flip(cipher, TDamageFixture::At(2) + 3);
  std::ofstream(dir / "sealed", std::ios::binary)
      .write(reinterpret_cast<const char*>(cipher.data()), static_cast<std::streamsize>(cipher.size()));
  const auto path = [&](const char* name) { return platform::FromUTF8((dir / name).string()); };
  EXPECT_EQ(AESChunked::DecryptFile(f.Message.Params(), path("sealed"), path("new"), {2, {}}), error::kTagMismatch);
  std::ofstream(dir / "old") << "earlier";
  EXPECT_EQ(AESChunked::DecryptFile(f.Message.Params(), path("sealed"), path("old")), error::kTagMismatch);
  std::ifstream old(dir / "old");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(old), {}), "earlier");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 2);  // sealed, old
  EXPECT_EQ(AESChunked::DecryptFile(f.Message.Params(), path("missing"), path("new")), error::kFileOpenFailed);
  EXPECT_FALSE(fs::exists(dir / "new"));
  // A file encrypted and decrypted in place: each replaced whole once the work is done.
  std::ofstream(dir / "inplace", std::ios::binary)
      .write(reinterpret_cast<const char*>(f.Message.Plain.data()), static_cast<std::streamsize>(f.Message.Plain.size()));
  ASSERT_EQ(AESChunked::EncryptFile(f.Message.Params(), path("inplace"), path("inplace"), {2, f.Message.Salt}), 0);
  std::ifstream sealed(dir / "inplace", std::ios::binary);
  EXPECT_EQ(Bytes(std::istreambuf_iterator<char>(sealed), {}), f.Message.Cipher);
  ASSERT_EQ(AESChunked::DecryptFile(f.Message.Params(), path("inplace"), path("inplace")), 0);
  std::ifstream opened(dir / "inplace", std::ios::binary);
  EXPECT_EQ(Bytes(std::istreambuf_iterator<char>(opened), {}), f.Message.Plain);
  fs::remove_all(dir);
}

// Once failed, the decryptor gives the same status to every call and releases nothing more,
// even when the bytes that follow are valid.
TEST(ChunkedDamage, DecryptorKeepsFailing) {
  const TDamageFixture f;
  Bytes cipher = f.Message.Cipher;
  Flip(cipher, TDamageFixture::At(1) + 1);
  AESChunked::TDecryptor d;
  ASSERT_EQ(d.Begin(f.Message.Params()), 0);
  Bytes out(4 * kChunk, 0);
  std::size_t written = 0;
  ASSERT_EQ(d.Update(std::span(cipher).first(TDamageFixture::At(1)), out, written), 0);
  EXPECT_EQ(written, kChunk);
  EXPECT_EQ(d.Update(std::span(cipher).subspan(TDamageFixture::At(1), kSealed), out, written), error::kTagMismatch);
  EXPECT_EQ(written, 0u);
  const auto rest = std::span(f.Message.Cipher).subspan(TDamageFixture::At(2));
  std::fill(out.begin(), out.end(), 0);
  EXPECT_EQ(d.Update(rest, out, written), error::kTagMismatch);
  EXPECT_EQ(written, 0u);
  EXPECT_EQ(d.Finish(out, written), error::kTagMismatch);
  EXPECT_EQ(written, 0u);
  EXPECT_EQ(out, Bytes(out.size(), 0));
  EXPECT_EQ(d.Released(), kChunk);
}

}  // namespace
