// Streams that fail on purpose, for every operation that takes a stream: a read that fails or an
// input that ends after k bytes although its size says more, a write that fails or falls short
// after k bytes. None of them is ever reported as success. Reads that deliver fewer bytes than
// asked but do deliver them all give the same result as whole reads.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "Oracle.h"
#include "crypto/component/AESObj.h"
#include "crypto/engine/AESModes.h"
#include "platform/Streams.h"
#include "platform/SysUtils.h"

namespace {

using platform::TMemoryStream;
using testing_support::Bytes;

enum class TFault { None, ReadFails, InputEndsEarly, ReadsTrickle, WriteFails, WriteFallsShort };

// A memory stream whose reads or writes go wrong once k bytes have passed.
class TFaultStream : public TMemoryStream {
 public:
  TFaultStream(testing_support::Bytes bytes, TFault fault, std::int64_t k) : TMemoryStream(std::move(bytes)), FFault(fault), FK(k) {}

  std::int64_t Read(void* buffer, std::int64_t count) override {
    const std::int64_t room = FK - GetPosition();
    switch (FFault) {
      case TFault::ReadFails:
        if (room <= 0) throw platform::EReadError(u"injected read failure");
        return TMemoryStream::Read(buffer, std::min(count, room));
      case TFault::InputEndsEarly:
        return TMemoryStream::Read(buffer, std::min(count, std::max<std::int64_t>(room, 0)));
      case TFault::ReadsTrickle:
        return TMemoryStream::Read(buffer, std::min<std::int64_t>(count, 7));
      default:
        return TMemoryStream::Read(buffer, count);
    }
  }
  std::int64_t Write(const void* buffer, std::int64_t count) override {
    const std::int64_t room = FK - GetPosition();
    if (FFault == TFault::WriteFails && count > room) throw platform::EWriteError(u"injected write failure");
    if (FFault == TFault::WriteFallsShort && count > room)
      return TMemoryStream::Write(buffer, std::max<std::int64_t>(room, 0));
    return TMemoryStream::Write(buffer, count);
  }

 private:
  TFault FFault;
  std::int64_t FK;
};

bool FaultsTheInput(TFault f) {
  return f == TFault::ReadFails || f == TFault::InputEndsEarly || f == TFault::ReadsTrickle;
}

struct TOperation {
  const char* Name;
  bool Decrypts;
  std::function<platform::Integer(platform::TStream*, platform::TStream*)> Run;
};

TEST(FaultStreams, NoFaultIsReportedAsSuccess) {
  const Bytes key(16, 0x4B);
  AESModes::TAESModes engine;
  AESObj::TAESEncryption component(AESObj::kl128, std::u16string(16, u'K'), AESObj::atECB, AESObj::PKCS7,
                                   MiscObj::raw, MiscObj::yesUni);
  const TOperation operations[] = {
      {"engine EncryptStream", false, [&](auto* s, auto* o) { engine.EncryptStream(s, o, key, {}); return 0; }},
      {"engine DecryptStream", true, [&](auto* s, auto* o) { return engine.DecryptStream(s, o, key, {}); }},
      {"component EncryptStream", false, [&](auto* s, auto* o) { component.EncryptStream(s, o); return 0; }},
      {"component DecryptStream", true, [&](auto* s, auto* o) { return component.DecryptStream(s, o); }},
  };
  const Bytes plain = testing_support::RandomBytes(400000, 1);
  const Bytes cipher = testing_support::OpenSSLCrypt(true, 0, key, {}, plain, true);
  const TFault faults[] = {TFault::ReadFails, TFault::InputEndsEarly, TFault::ReadsTrickle, TFault::WriteFails,
                           TFault::WriteFallsShort};
  for (const auto& op : operations) {
    const Bytes& input = op.Decrypts ? cipher : plain;
    const Bytes& expected = op.Decrypts ? plain : cipher;
    for (TFault fault : faults)
      for (std::int64_t k : {0, 1, 16, 159999, 160000, 160001, 399999}) {
        SCOPED_TRACE(testing::Message() << op.Name << ", fault " << int(fault) << ", k " << k);
        TFaultStream in(input, FaultsTheInput(fault) ? fault : TFault::None, k);
        TFaultStream out({}, FaultsTheInput(fault) ? TFault::None : fault, k);
        if (fault == TFault::ReadsTrickle) {
          EXPECT_EQ(op.Run(&in, &out), 0);
          EXPECT_TRUE(out.Bytes() == expected);
        } else {
          EXPECT_THROW(op.Run(&in, &out), platform::Exception);
        }
      }
  }
}

}  // namespace
