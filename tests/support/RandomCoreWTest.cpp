// TRandomCore: the HRESULT contract, the range mapping of random text, the zero fallback of a
// failing generator, and the composition of random numbers.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bitset>
#include <cerrno>
#include <cstdint>

#include <sys/random.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "crypto/support/RandomCoreW.h"
#include "crypto/support/RandomRange.h"
#include "platform/OSRandomFailure.h"

namespace {

// The OS generator as this executable sees it: getrandom is interposed below, so a test can
// count the calls that reach it and make it fail as a kernel without it would.
thread_local int gGeneratorCalls = 0;
thread_local int gGeneratorError = 0;

}  // namespace

extern "C" ssize_t getrandom(void* buffer, size_t length, unsigned int flags) {
  ++gGeneratorCalls;
  if (gGeneratorError != 0) {
    errno = gGeneratorError;
    return -1;
  }
  return ::syscall(SYS_getrandom, buffer, length, flags);
}

namespace {

using platform::HRESULT;
using platform::Integer;
using platform::ScopedRandomFailure;
using platform::TBytes;
using RandomCoreW::TRandomCore;

// The failure HRESULT for an OS error number: severity bit, facility 7, low 16 bits of e.
HRESULT ExpectedHResult(std::uint32_t e) { return static_cast<HRESULT>(0x80070000u | (e & 0xFFFFu)); }

std::array<int, 256> Histogram(const std::u16string& text) {
  std::array<int, 256> counts{};
  for (char16_t c : text)
    if (c < 256) ++counts[c];
  return counts;
}

TEST(SupportRandomCore, FillSucceedsAndWritesEveryByte) {
  // 64 bytes all still equal to the sentinel after a fill would mean nothing was written.
  TBytes buffer(64, 0xA5);
  EXPECT_EQ(TRandomCore::GetRandomBytes(static_cast<Integer>(buffer.size()), buffer.data()), 0);
  EXPECT_FALSE(std::all_of(buffer.begin(), buffer.end(), [](std::uint8_t b) { return b == 0xA5; }));

  // The instance form fills the caller's array in place, all of it, without resizing it.
  TRandomCore rc;
  TBytes in_place(4096, 0);
  const std::uint8_t* before = in_place.data();
  EXPECT_EQ(rc.GetRandomBytes(in_place), 0);
  EXPECT_EQ(in_place.size(), 4096u);
  EXPECT_EQ(in_place.data(), before);
  // Every 64-byte slice has been drawn into (a slice left zero has probability 2^-512).
  for (std::size_t at = 0; at < in_place.size(); at += 64)
    EXPECT_TRUE(std::any_of(in_place.begin() + at, in_place.begin() + at + 64, [](std::uint8_t b) { return b != 0; }))
        << "slice at " << at;
}

TEST(SupportRandomCore, FailureBecomesNegativeHResult) {
  struct TCase {
    int Error;
    HRESULT Expected;
  };
  const TCase cases[] = {
      {EIO, ExpectedHResult(EIO)},
      {ENOSYS, ExpectedHResult(ENOSYS)},
      {0x12345, ExpectedHResult(0x2345)},  // only the low 16 bits of the error number are kept
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Error);
    ScopedRandomFailure fail(c.Error);
    TBytes buffer(16, 0x5A);
    const HRESULT hr = TRandomCore::GetRandomBytes(16, buffer.data());
    EXPECT_EQ(hr, c.Expected);
    EXPECT_LT(hr, 0);
    EXPECT_EQ(buffer, TBytes(16, 0x5A));

    // An empty array still asks the generator, so its failure is reported too.
    TRandomCore rc;
    TBytes empty;
    EXPECT_EQ(rc.GetRandomBytes(empty), c.Expected);
    EXPECT_TRUE(empty.empty());
  }
  // Without a failure an empty array succeeds.
  TRandomCore rc;
  TBytes empty;
  EXPECT_EQ(rc.GetRandomBytes(empty), 0);
}

// A request of no bytes still reaches the generator, and its status is what comes back.
TEST(SupportRandomCore, EmptyRequestAsksTheGenerator) {
  TRandomCore rc;
  TBytes empty;
  gGeneratorCalls = 0;
  EXPECT_EQ(TRandomCore::GetRandomBytes(0, nullptr), 0);
  EXPECT_EQ(rc.GetRandomBytes(empty), 0);
  EXPECT_EQ(gGeneratorCalls, 2);
  gGeneratorError = ENOSYS;
  EXPECT_EQ(TRandomCore::GetRandomBytes(0, nullptr), ExpectedHResult(ENOSYS));
  EXPECT_EQ(rc.GetRandomBytes(empty), ExpectedHResult(ENOSYS));
  gGeneratorError = 0;
  EXPECT_EQ(gGeneratorCalls, 4);
}

TEST(SupportRandomCore, BadArgumentsAreRejectedWithoutWriting) {
  TBytes buffer(8, 0x77);
  EXPECT_EQ(TRandomCore::GetRandomBytes(-1, buffer.data()), ExpectedHResult(EINVAL));
  EXPECT_EQ(TRandomCore::GetRandomBytes(INT32_MIN, buffer.data()), ExpectedHResult(EINVAL));
  EXPECT_EQ(buffer, TBytes(8, 0x77));
  EXPECT_EQ(TRandomCore::GetRandomBytes(8, nullptr), ExpectedHResult(EINVAL));
  EXPECT_EQ(TRandomCore::GetRandomBytes(0, nullptr), 0);
}

TEST(SupportRandomCore, MapToRangeSpreadsBytesOverTheRange) {
  struct TCase {
    Integer Low, High, Value, Expected;
  };
  const TCase cases[] = {
      {0x41, 0x5A, 200, 0x55},  // 0x41 + round(19.61)
      {0x61, 0x7A, 0x10, 0x63},  // 0x61 + round(1.57)
      {0x41, 0x5A, 0, 0x41},    {0x41, 0x5A, 255, 0x5A},
      {200, 100, 0, 200},       {200, 100, 255, 100},  // a reversed range runs downwards
      {200, 100, 128, 150},     // 200 + round(-50.196)
      {1, 0, 127, 1},           {1, 0, 128, 0},  // 127/255 rounds to 0, 128/255 to 1
      {0x58, 0x58, 0, 0x58},    {0x58, 0x58, 255, 0x58},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.Low << ".." << c.High << " value " << c.Value);
    EXPECT_EQ(RandomCoreW::MapToRange(c.Low, c.High, c.Value, 255), c.Expected);
  }
}

TEST(SupportRandomCore, FullRangeTextKeepsEveryByteAsOneCharacter) {
  TRandomCore rc;
  EXPECT_EQ(rc.GetRandomString(0), u"");
  EXPECT_EQ(rc.GetRandomString(-5), u"");
  EXPECT_EQ(rc.GetRandomString(-5, 0x41, 0x5A), u"");

  // 65536 drawn bytes: the text has one character per byte and every byte value shows up,
  // character 0 included (a value missing by chance has probability about 256 * e^-256).
  const std::u16string text = rc.GetRandomString(65536);
  ASSERT_EQ(text.size(), 65536u);
  EXPECT_TRUE(std::all_of(text.begin(), text.end(), [](char16_t c) { return c <= 0xFF; }));
  const auto counts = Histogram(text);
  EXPECT_TRUE(std::all_of(counts.begin(), counts.end(), [](int n) { return n > 0; }));
}

TEST(SupportRandomCore, RangedTextStaysInRange) {
  TRandomCore rc;
  // An ordinary range: every character is in range and every letter occurs.
  const std::u16string letters = rc.GetRandomString(8192, 'a', 'z');
  ASSERT_EQ(letters.size(), 8192u);
  const auto counts = Histogram(letters);
  for (int c = 0; c < 256; ++c) {
    if (c >= 'a' && c <= 'z') {
      EXPECT_GT(counts[c], 0) << c;
    } else {
      EXPECT_EQ(counts[c], 0) << c;
    }
  }

  // A reversed range maps every byte into ToChar..FromChar and reaches both ends
  // (each end is hit by 2 of the 256 byte values).
  const std::u16string reversed = rc.GetRandomString(8192, 200, 100);
  ASSERT_EQ(reversed.size(), 8192u);
  const auto rcounts = Histogram(reversed);
  for (int c = 0; c < 256; ++c) {
    if (c < 100 || c > 200) {
      EXPECT_EQ(rcounts[c], 0) << c;
    }
  }
  EXPECT_GT(rcounts[100], 0);
  EXPECT_GT(rcounts[200], 0);

  // Bytes inside the range are kept as drawn. With range 0..127 the bytes 128..255 map onto
  // 64..127, so 0..63 come only from the bytes 0..63 themselves: a quarter of the draws
  // (the spread is about 110 here; remapping every byte would give about half).
  const std::u16string half = rc.GetRandomString(65536, 0, 127);
  const auto hcounts = Histogram(half);
  int low_quarter = 0;
  for (int c = 0; c < 64; ++c) low_quarter += hcounts[c];
  EXPECT_GT(low_quarter, 65536 / 4 - 1500);
  EXPECT_LT(low_quarter, 65536 / 4 + 1500);
  EXPECT_TRUE(std::all_of(half.begin(), half.end(), [](char16_t c) { return c <= 127; }));

  // A one-value range gives that value only.
  EXPECT_EQ(rc.GetRandomString(300, 'X', 'X'), std::u16string(300, u'X'));
}

TEST(SupportRandomCore, FailingGeneratorYieldsZeroBytes) {
  ScopedRandomFailure fail(EIO);
  TRandomCore rc;
  EXPECT_EQ(rc.GetRandomString(3), std::u16string(3, u'\0'));
  EXPECT_EQ(rc.GetRandomString(5, 'A', 'Z'), u"AAAAA");  // zero lies below the range
  EXPECT_EQ(rc.GetRandomString(4, 200, 100), std::u16string(4, char16_t{200}));
  EXPECT_EQ(rc.GetRandomInt(), 0u);
  EXPECT_EQ(rc.GetRandomLongInt(), 0u);
}

// Which byte lands where cannot be seen from outside, but a byte dropped, truncated by a narrow
// shift or shifted onto another shows up as bits that stay clear over many draws (a given bit
// is clear in all 128 draws with probability 2^-128). The upper half of the 64-bit number is
// covered too, so values of 2^32 and above occur.
TEST(SupportRandomCore, NumbersUseEveryDrawnBit) {
  TRandomCore rc;
  std::uint32_t any32 = 0;
  std::uint64_t any64 = 0;
  for (int i = 0; i < 128; ++i) {
    any32 |= rc.GetRandomInt();
    any64 |= rc.GetRandomLongInt();
  }
  EXPECT_EQ(any32, 0xFFFFFFFFu) << std::bitset<32>(any32);
  EXPECT_EQ(any64, ~std::uint64_t{0}) << std::bitset<64>(any64);
}

}  // namespace
