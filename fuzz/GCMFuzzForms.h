// The GCM forms behind one call each, for the fuzz targets: the case is read from the fuzzer's
// bytes, and file forms work in a private scratch folder of the process.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include "FuzzSupport.h"
#include "crypto/engine/AESModes.h"
#include "crypto/support/errorlist.h"
#include "platform/Streams.h"
#include "platform/SysUtils.h"

namespace gcm_fuzz {

using platform::Integer;
using platform::TBytes;

struct TCase {
  TBytes Key, IV, AAD, Data, Tag;
  Integer TagBits = 128;
};

// Key of 16, 24 or 32 bytes; IV of 12 bytes half of the time, else of 1 to 64; additional data of up to
// 255 bytes; tag size 0 to 135 bits; the rest is the data.
inline TCase ReadCase(fuzz_support::TFuzzReader& r) {
  TCase c;
  c.Key = r.Bytes(16 + 8 * (r.Byte() % 3));
  const std::uint8_t ivChoice = r.Byte();
  c.IV = r.Bytes(ivChoice % 2 ? 12 : 1 + ivChoice % 64);
  c.AAD = r.Bytes(r.Byte());
  c.TagBits = r.Byte() % 136;
  c.Tag = r.Bytes(16);
  c.Data = r.Rest();
  return c;
}

inline Integer Bits(const TBytes& b) { return static_cast<Integer>(8 * b.size()); }

// The fuzzer's files live in one directory per process, removed when the process ends normally.
struct TScratchDir {
  std::filesystem::path Path = std::filesystem::temp_directory_path() / ("aes_gcm_fuzz_" + std::to_string(::getpid()));
  TScratchDir() { std::filesystem::create_directories(Path); }
  ~TScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(Path, ec);
  }
};

inline std::filesystem::path Scratch(const char* name) {
  static const TScratchDir dir;
  return dir.Path / name;
}

inline void Put(const std::filesystem::path& p, const TBytes& b) {
  std::ofstream(p, std::ios::binary)
      .write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

inline TBytes Get(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return TBytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline platform::string U16(const std::filesystem::path& p) { return platform::FromUTF8(p.string()); }

enum class TForm : std::uint8_t { Buffer, BufferIVIn, String, StringIVIn, File, FileIVIn, Stream, StreamIVIn };
inline constexpr int kForms = 8;
inline bool IVIn(TForm f) { return static_cast<int>(f) % 2 == 1; }

// Decrypts c.Data (for an IVIn form the IV is its first 12 bytes) into plain; returns the status
// (a raised operation error gives its code).
inline Integer Decrypt(TForm form, const TCase& c, TBytes& plain) {
  AESModes::TAESModes m;
  const auto n = static_cast<Integer>(c.Data.size());
  const TBytes in = c.Data.empty() ? TBytes{0} : c.Data;  // empty data through a non-empty buffer
  // The binary forms take the first aadBits / 8 bytes; the string forms all of it.
  const TBytes aad = c.AAD.empty() ? TBytes{0} : c.AAD;
  const Integer aadBits = c.AAD.empty() ? 0 : Bits(c.AAD);
  plain.assign(c.Data.size() + 1, 0xA5);
  switch (form) {
    case TForm::Buffer:
      return m.GCM_DecryptBinaryBuffer(in, n, aad, aadBits, plain, c.Key, Bits(c.Key), c.IV, Bits(c.IV), c.Tag,
                                       c.TagBits);
    case TForm::BufferIVIn:
      return m.GCM_DecryptBinaryBuffer_IVIn(in, n, aad, aadBits, plain, c.Key, Bits(c.Key), c.Tag, c.TagBits);
    case TForm::String:
      return m.GCM_DecryptString(in, n, c.AAD, plain, c.Key, Bits(c.Key), c.IV, Bits(c.IV), c.Tag, c.TagBits);
    case TForm::StringIVIn:
      return m.GCM_DecryptString_IVIn(in, n, c.AAD, plain, c.Key, Bits(c.Key), c.Tag, c.TagBits);
    case TForm::File:
    case TForm::FileIVIn: {
      Put(Scratch("in"), c.Data);
      Put(Scratch("aad"), c.AAD);
      Put(Scratch("out"), {});
      Put(Scratch("tag"), c.Tag);
      const Integer st = form == TForm::File
                             ? m.GCM_DecryptFile(U16(Scratch("in")), U16(Scratch("aad")), U16(Scratch("out")), c.Key,
                                                 Bits(c.Key), c.IV, Bits(c.IV), U16(Scratch("tag")), c.TagBits)
                             : m.GCM_DecryptFile_IVIn(U16(Scratch("in")), U16(Scratch("aad")), U16(Scratch("out")),
                                                      c.Key, Bits(c.Key), U16(Scratch("tag")), c.TagBits);
      plain = Get(Scratch("out"));
      return st;
    }
    case TForm::Stream:
    case TForm::StreamIVIn: {
      platform::TMemoryStream in(c.Data), out, aadStream(c.AAD), tag(c.Tag);
      Integer st = 0;
      try {
        st = m.DecryptAndVerifyFromStream(&in, &out, &aadStream, &tag, c.Key, form == TForm::Stream ? c.IV : TBytes{},
                                          c.TagBits);
      } catch (const errorlist::ESelvane& e) {
        st = -1;  // a refused argument; nothing may have been written
        FUZZ_CHECK(out.Bytes().empty());
      }
      plain = out.Bytes();
      return st;
    }
  }
  return -1;
}

// Encrypts c.Data with the form into cipher (IVIn forms: the drawn IV in front) and the first
// c.TagBits / 8 tag bytes (streams: all 16); returns the status. The string forms take the data
// as one character per byte.
inline Integer Encrypt(TForm form, const TCase& c, TBytes& cipher, TBytes& tag) {
  AESModes::TAESModes m;
  const auto n = static_cast<Integer>(c.Data.size());
  const TBytes in = c.Data.empty() ? TBytes{0} : c.Data;
  const TBytes aad = c.AAD.empty() ? TBytes{0} : c.AAD;
  const Integer aadBits = c.AAD.empty() ? 0 : Bits(c.AAD);
  const platform::string text(c.Data.begin(), c.Data.end());
  cipher.assign(c.Data.size() + (IVIn(form) ? 12 : 0), 0);
  if (cipher.empty()) cipher.push_back(0);
  tag.assign(16, 0);
  Integer st = 0;
  switch (form) {
    case TForm::Buffer:
      st = m.GCM_EncryptBinaryBuffer(in, n, aad, aadBits, cipher, c.Key, Bits(c.Key), c.IV, Bits(c.IV), tag, c.TagBits);
      break;
    case TForm::BufferIVIn:
      st = m.GCM_EncryptBinaryBuffer_IVIn(c.Data, n, aad, aadBits, cipher, c.Key, Bits(c.Key), tag, c.TagBits);
      break;
    case TForm::String:
      st = m.GCM_EncryptString(text, c.AAD, cipher, c.Key, Bits(c.Key), c.IV, Bits(c.IV), tag, c.TagBits);
      break;
    case TForm::StringIVIn:
      st = m.GCM_EncryptString_IVIn(text, c.AAD, cipher, c.Key, Bits(c.Key), tag, c.TagBits);
      break;
    case TForm::File:
    case TForm::FileIVIn: {
      Put(Scratch("in"), c.Data);
      Put(Scratch("aad"), c.AAD);
      Put(Scratch("out"), {});
      Put(Scratch("tag"), {});
      st = form == TForm::File ? m.GCM_EncryptFile(U16(Scratch("in")), U16(Scratch("aad")), U16(Scratch("out")), c.Key,
                                                   Bits(c.Key), c.IV, Bits(c.IV), U16(Scratch("tag")), c.TagBits)
                               : m.GCM_EncryptFile_IVIn(U16(Scratch("in")), U16(Scratch("aad")), U16(Scratch("out")),
                                                        c.Key, Bits(c.Key), U16(Scratch("tag")), c.TagBits);
      cipher = Get(Scratch("out"));
      tag = Get(Scratch("tag"));
      return st;
    }
    case TForm::Stream:
    case TForm::StreamIVIn: {
      platform::TMemoryStream input(c.Data), out, aadStream(c.AAD), tagStream;
      try {
        m.EncryptAndGenerateFromStream(&input, &out, &aadStream, &tagStream, c.Key,
                                       form == TForm::Stream ? c.IV : TBytes{});
      } catch (const errorlist::ESelvane&) {
        return -1;
      }
      cipher = out.Bytes();
      tag = tagStream.Bytes();
      return 0;
    }
  }
  if (st == 0) {
    cipher.resize(c.Data.size() + (IVIn(form) ? 12 : 0));
    tag.resize(static_cast<std::size_t>(c.TagBits / 8));
  }
  return st;
}

}  // namespace gcm_fuzz
