// Every stream form on a stream that lies: its size reads negative, smaller or larger than what it
// yields, and it may serve other bytes from some read on. Whatever the lie, no form reports a
// success over bytes it did not read for the measured size:
// - a negative size is a failed read before anything is written;
// - a size above what the stream yields is never a success;
// - a size below it gives exactly the result of an honest stream holding that many bytes, except
//   that a size of 0 from a stream that yields bytes is a failed read;
// - a GCM decryption that accepts a changing stream released plain text whose tag it checked.
#include <cstring>
#include <functional>

#include "FuzzSupport.h"
#include "crypto/engine/AESModes.h"
#include "crypto/support/errorlist.h"
#include "platform/Streams.h"
#include "platform/SysUtils.h"

namespace {

using namespace fuzz_support;
using AESModes::TAESModes;
using platform::TMemoryStream;
using platform::TStream;

enum class TSizeLie : std::uint8_t { None, Negative, Smaller, Larger };

// A memory stream with a chosen size, whose reads from the changeAfter-th on flip every byte's
// lowest bit (0: never).
class TLyingStream : public TMemoryStream {
 public:
  TLyingStream(TBytes bytes, std::int64_t size, unsigned changeAfter)
      : TMemoryStream(std::move(bytes)), FSize(size), FChangeAfter(changeAfter) {}
  std::int64_t GetSize() override { return FSize; }
  std::int64_t Read(void* buffer, std::int64_t count) override {
    const std::int64_t n = TMemoryStream::Read(buffer, count);
    if (FChangeAfter != 0 && ++FReads >= FChangeAfter)
      for (std::int64_t i = 0; i < n; ++i) static_cast<std::uint8_t*>(buffer)[i] ^= 1;
    return n;
  }

 private:
  std::int64_t FSize;
  unsigned FChangeAfter, FReads = 0;
};

// What a form did: finished with a status, failed a read (EReadError or -203), or raised another error.
struct TOutcome {
  enum { Finished, ReadFailed, Raised } Kind = Finished;
  Integer Status = 0;
  TBytes Out, Tag;
  bool operator==(const TOutcome&) const = default;
};

using TForm = std::function<Integer(TStream* in, TStream* out, TStream* tag)>;

TOutcome Run(const TForm& form, TStream* in) {
  TOutcome r;
  TMemoryStream out, tag;
  try {
    r.Status = form(in, &out, &tag);
  } catch (const platform::EReadError&) {
    r.Kind = TOutcome::ReadFailed;
  } catch (const errorlist::ESelvane& e) {
    r.Kind = e.Code() == -203 ? TOutcome::ReadFailed : TOutcome::Raised;
  }
  r.Out = out.Bytes();
  r.Tag = tag.Bytes();
  return r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TFuzzReader in(data, size);
  const unsigned formPick = in.Byte() % 6;
  const auto lie = static_cast<TSizeLie>(in.Byte() % 4);
  const std::int64_t delta = 1 + in.Byte();
  const unsigned changeAfter = in.Byte() % 4;
  const TBytes key = in.Bytes(16), iv = in.Bytes(12);
  const TBytes tagBytes = in.Bytes(16), aadBytes = in.Bytes(in.Byte() % 40);
  const TBytes payload = in.Rest();

  TAESModes m;
  const TForm forms[] = {
      [&](TStream* s, TStream* o, TStream*) { m.EncryptStream(s, o, key, {}); return Integer{0}; },
      [&](TStream* s, TStream* o, TStream*) { return m.DecryptStream(s, o, key, {}); },
      [&](TStream* s, TStream* o, TStream* t) {
        TMemoryStream aad(aadBytes);
        m.EncryptAndGenerateFromStream(s, o, &aad, t, key, iv);
        return Integer{0};
      },
      [&](TStream* s, TStream* o, TStream*) {
        TMemoryStream aad(aadBytes), tag(tagBytes);
        return m.DecryptAndVerifyFromStream(s, o, &aad, &tag, key, iv, 128);
      },
      [&](TStream* s, TStream*, TStream* t) {
        const platform::string tag = m.GenerateFromStream(s, key);
        for (char16_t c : tag) t->WriteBuffer(&c, 1);
        return Integer{0};
      },
      [&](TStream* s, TStream*, TStream*) { return m.VerifyFromStream(s, ByteString(tagBytes), key); },
  };
  const TForm& form = forms[formPick];
  const auto yielded = static_cast<std::int64_t>(payload.size());
  const std::int64_t claimed = lie == TSizeLie::Negative ? -delta
                               : lie == TSizeLie::Smaller ? std::max<std::int64_t>(0, yielded - delta)
                               : lie == TSizeLie::Larger  ? yielded + delta
                                                          : yielded;
  TLyingStream lying(payload, claimed, changeAfter);
  const TOutcome got = Run(form, &lying);

  if (lie == TSizeLie::Negative) {
    FUZZ_CHECK(got.Kind == TOutcome::ReadFailed && got.Out.empty() && got.Tag.empty());
    return 0;
  }
  if (claimed == 0 && yielded > 0) {
    // A size of 0 from a stream that yields bytes (files under /proc) is refused, not taken as empty.
    FUZZ_CHECK(got.Kind == TOutcome::ReadFailed && got.Out.empty() && got.Tag.empty());
    return 0;
  }
  if (lie == TSizeLie::Larger) {
    FUZZ_CHECK(got.Kind != TOutcome::Finished || got.Status != 0);
    return 0;
  }
  if (changeAfter == 0) {
    // Honest up to its claimed size: the result of a stream holding just those bytes.
    TMemoryStream honest(TBytes(payload.begin(), payload.begin() + claimed));
    FUZZ_CHECK(got == Run(form, &honest));
  } else if (formPick == 3 && got.Kind == TOutcome::Finished && got.Status == 0) {
    // Accepted although the stream changed: what was released must carry the expected tag.
    TMemoryStream plain(got.Out), cipher, aad(aadBytes), tag;
    m.EncryptAndGenerateFromStream(&plain, &cipher, &aad, &tag, key, iv);
    FUZZ_CHECK(tag.Bytes() == tagBytes);
  }
  return 0;
}
