// Every GCM form behind one signature, so a test can run the same case through buffer, string,
// file and stream and compare. A form that cannot express a case (a string form with empty
// data, a stream form with an IV other than 12 bytes) gives nullopt.
#pragma once

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <system_error>

#include "GCMTestSupport.h"
#include "crypto/engine/AESKeyed.h"
#include "platform/Streams.h"
#include "platform/SysUtils.h"

namespace gcm_test {

namespace fs = std::filesystem;
using platform::Integer;
using platform::TBytes;

struct Case {
  Bytes Key, IV, AAD, Data;  // Data: plain text to encrypt, or cipher text to decrypt
  Bytes Tag;                 // decryption: the expected tag
  Integer TagBits = 128;
};

struct Result {
  Integer Status = 0;
  Bytes Data, Tag;  // output bytes; encryption: the tag written
};

using Form = std::function<std::optional<Result>(const Case&)>;

inline TBytes OrOne(const Bytes& b) { return b.empty() ? TBytes{0} : b; }  // a buffer that must not be empty

// --- files: a fresh directory per process, a fresh name per call.
// The directory goes with the process (a run that crashes leaves it for the post-mortem).
struct TScratchDir {
  fs::path Path = fs::temp_directory_path() / ("aes_gcm_test_" + std::to_string(::getpid()));
  TScratchDir() { fs::create_directories(Path); }
  ~TScratchDir() {
    std::error_code ec;
    fs::remove_all(Path, ec);
  }
};
inline fs::path ScratchDir() {
  static const TScratchDir dir;
  return dir.Path;
}
inline fs::path Scratch(const std::string& stem) {
  static std::atomic<int> n{0};
  return ScratchDir() / (stem + std::to_string(n++));
}
inline void Put(const fs::path& p, const Bytes& b) {
  std::ofstream(p, std::ios::binary)
      .write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}
inline Bytes Get(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
inline platform::string U16(const fs::path& p) { return platform::FromUTF8(p.string()); }

inline std::optional<Result> EncryptBuffer(const Case& c) {
  AESModes::TAESModes m;
  TBytes out = OrOne(c.Data), tag(16);
  Result r;
  r.Status = m.GCM_EncryptBinaryBuffer(OrOne(c.Data), static_cast<Integer>(c.Data.size()), OrOne(c.AAD), Bits(c.AAD),
                                       out, c.Key, Bits(c.Key), c.IV, Bits(c.IV), tag, c.TagBits);
  r.Data = Take(out, c.Data.size());
  r.Tag = Take(tag, static_cast<std::size_t>(c.TagBits / 8));
  return r;
}

inline std::optional<Result> DecryptBuffer(const Case& c) {
  AESModes::TAESModes m;
  TBytes out = OrOne(c.Data);
  Result r;
  r.Status = m.GCM_DecryptBinaryBuffer(OrOne(c.Data), static_cast<Integer>(c.Data.size()), OrOne(c.AAD), Bits(c.AAD),
                                       out, c.Key, Bits(c.Key), c.IV, Bits(c.IV), OrOne(c.Tag), c.TagBits);
  r.Data = Take(out, c.Data.size());
  return r;
}

inline platform::string AsString(const Bytes& b) { return platform::string(b.begin(), b.end()); }

inline std::optional<Result> EncryptString(const Case& c) {
  if (c.Data.empty() || c.AAD.empty()) return std::nullopt;
  AESModes::TAESModes m;
  TBytes out(c.Data.size()), tag(16);
  Result r;
  r.Status = m.GCM_EncryptString(AsString(c.Data), c.AAD, out, c.Key, Bits(c.Key), c.IV, Bits(c.IV), tag, c.TagBits);
  r.Data = out;
  r.Tag = Take(tag, static_cast<std::size_t>(c.TagBits / 8));
  return r;
}

inline std::optional<Result> DecryptString(const Case& c) {
  if (c.Data.empty() || c.AAD.empty()) return std::nullopt;
  AESModes::TAESModes m;
  TBytes out(c.Data.size() + 1, 0xEE);
  Result r;
  r.Status = m.GCM_DecryptString(c.Data, static_cast<Integer>(c.Data.size()), c.AAD, out, c.Key, Bits(c.Key), c.IV,
                                 Bits(c.IV), OrOne(c.Tag), c.TagBits);
  EXPECT_EQ(out.back(), 0x00);  // the terminating zero behind the plain text
  r.Data = Take(out, c.Data.size());
  return r;
}

struct FileSet {
  fs::path In = Scratch("in"), AAD = Scratch("aad"), Out = Scratch("out"), Tag = Scratch("tag");
  ~FileSet() {
    for (const auto& p : {In, AAD, Out, Tag}) fs::remove(p);
  }
};

inline std::optional<Result> EncryptFile(const Case& c) {
  FileSet f;
  Put(f.In, c.Data);
  Put(f.AAD, c.AAD);
  Put(f.Out, {});
  Put(f.Tag, {});
  AESModes::TAESModes m;
  Result r;
  r.Status =
      m.GCM_EncryptFile(U16(f.In), U16(f.AAD), U16(f.Out), c.Key, Bits(c.Key), c.IV, Bits(c.IV), U16(f.Tag), c.TagBits);
  r.Data = Get(f.Out);
  r.Tag = Get(f.Tag);
  return r;
}

inline std::optional<Result> DecryptFile(const Case& c) {
  FileSet f;
  Put(f.In, c.Data);
  Put(f.AAD, c.AAD);
  Put(f.Out, {});
  Put(f.Tag, c.Tag);
  AESModes::TAESModes m;
  Result r;
  r.Status =
      m.GCM_DecryptFile(U16(f.In), U16(f.AAD), U16(f.Out), c.Key, Bits(c.Key), c.IV, Bits(c.IV), U16(f.Tag), c.TagBits);
  r.Data = Get(f.Out);
  return r;
}

inline std::optional<Result> EncryptStream(const Case& c) {
  if (c.IV.size() != 12) return std::nullopt;
  platform::TMemoryStream in(c.Data), out, aad(c.AAD), tag;
  AESModes::TAESModes m;
  m.EncryptAndGenerateFromStream(&in, &out, &aad, &tag, c.Key, c.IV);
  return Result{0, out.Bytes(), Take(tag.Bytes(), static_cast<std::size_t>(c.TagBits / 8))};
}

inline std::optional<Result> DecryptStream(const Case& c) {
  if (c.IV.size() != 12) return std::nullopt;
  platform::TMemoryStream in(c.Data), out, aad(c.AAD), tag(c.Tag);
  AESModes::TAESModes m;
  Result r;
  r.Status = m.DecryptAndVerifyFromStream(&in, &out, &aad, &tag, c.Key, c.IV, c.TagBits);
  r.Data = out.Bytes();
  return r;
}

// The keyed API takes tags of 4 to 16 bytes.
inline bool KeyedTagSize(const Case& c) { return c.TagBits >= 32 && c.TagBits % 8 == 0; }

inline std::optional<Result> EncryptKeyed(const Case& c) {
  if (!KeyedTagSize(c)) return std::nullopt;
  AESKeyed::TAESKey key;
  Result r{key.SetKey(c.Key), Bytes(c.Data.size()), Bytes(static_cast<std::size_t>(c.TagBits / 8))};
  if (r.Status == 0) r.Status = key.GCM_Seal(c.IV, c.AAD, c.Data, r.Data, r.Tag);
  return r;
}

inline std::optional<Result> DecryptKeyed(const Case& c) {
  if (!KeyedTagSize(c)) return std::nullopt;
  AESKeyed::TAESKey key;
  Result r{key.SetKey(c.Key), Bytes(c.Data.size(), 0xEE), {}};
  if (r.Status == 0) r.Status = key.GCM_Open(c.IV, c.AAD, c.Data, c.Tag, r.Data);
  return r;
}

// The incremental encryptor fed in uneven pieces (7 bytes, then growing runs of whole blocks).
inline std::optional<Result> EncryptKeyedPieces(const Case& c) {
  if (!KeyedTagSize(c)) return std::nullopt;
  AESKeyed::TAESKey key;
  Result r{key.SetKey(c.Key), Bytes(c.Data.size()), Bytes(static_cast<std::size_t>(c.TagBits / 8))};
  AESKeyed::TGCMEncryptor gcm(key);
  if (r.Status == 0) r.Status = gcm.Begin(c.IV, c.AAD);
  for (std::size_t at = 0, piece = 7; r.Status == 0 && at < c.Data.size(); at += piece, piece = piece * 2 + 16) {
    const std::size_t n = std::min(piece, c.Data.size() - at);
    r.Status = gcm.Update(std::span(c.Data).subspan(at, n), std::span(r.Data).subspan(at, n));
  }
  if (r.Status == 0) r.Status = gcm.Finish(r.Tag);
  return r;
}

struct NamedForm {
  const char* Name;
  Form Encrypt, Decrypt;
};

inline const std::vector<NamedForm>& AllForms() {
  static const std::vector<NamedForm> forms = {{"buffer", EncryptBuffer, DecryptBuffer},
                                               {"string", EncryptString, DecryptString},
                                               {"file", EncryptFile, DecryptFile},
                                               {"stream", EncryptStream, DecryptStream},
                                               {"keyed", EncryptKeyed, DecryptKeyed},
                                               {"keyed pieces", EncryptKeyedPieces, DecryptKeyed}};
  return forms;
}

}  // namespace gcm_test
