// TRandomCore: the library's only source of randomness, drawn from the operating system's
// cryptographically strong generator.
#pragma once

#include <cstdint>

#include "platform/Types.h"

namespace RandomCoreW {

using platform::Cardinal;
using platform::HRESULT;
using platform::Integer;
using platform::string;
using platform::TBytes;
using platform::UInt64;

// Every call opens its own use of the OS generator and keeps nothing afterwards, so an instance
// carries no state and calls on different threads do not interfere.
//
// HRESULT contract of the fill operations: 0 on success, otherwise a negative value made from
// the OS error number e as 0x80070000 | (e & 0xFFFF) (severity bit, facility 7, low 16 bits of
// e). They never raise. A failure never yields 0.
//
// Random text is returned in a single-byte code page, Latin-1: every drawn byte becomes exactly
// one UTF-16 code unit with the same value (0..255), so a text of Len bytes has Len characters
// and may contain character 0.
class TRandomCore {
 public:
  // Fills len bytes at data. A negative len, or a null data with a positive len, is rejected
  // with the HRESULT made from EINVAL and nothing is written. A len of 0 still asks the
  // generator (for nothing) and returns its status.
  static HRESULT GetRandomBytes(Integer len, void* data);

  // Fills the whole array in place; its size is never changed. An empty array passes length 0.
  HRESULT GetRandomBytes(TBytes& Buffer);

  // Len random characters with code units in FromChar..ToChar. A drawn byte inside the range is
  // kept; a byte outside it is spread over the range: byte 0 gives FromChar, byte 255 gives
  // ToChar. With FromChar > ToChar every byte counts as outside and is mapped (the result lies
  // between ToChar and FromChar); with FromChar == ToChar every character is that value.
  // A failing generator is not reported: the bytes stay 0 (and are then mapped like any
  // other). Len <= 0 gives the empty string.
  string GetRandomString(Integer Len, std::uint8_t FromChar, std::uint8_t ToChar);
  // The same with the full range 0..255: every drawn byte is kept.
  string GetRandomString(Integer Len);

  // 4 (or 8) drawn bytes as one unsigned number, the first byte most significant.
  // A failing generator is not reported: the result is then 0.
  Cardinal GetRandomInt();
  UInt64 GetRandomLongInt();
};

}  // namespace RandomCoreW
