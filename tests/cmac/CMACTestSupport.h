// Shared pieces of the CMAC tests: the known-answer records of tests/data/cmac.vec and every
// form of the engine behind one pair of calls.
#pragma once

#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "CMACOracle.h"
#include "TempDir.h"
#include "crypto/engine/AESModes.h"
#include "platform/Streams.h"

namespace cmac_test {

using testing_support::Bytes;
using testing_support::FromHex;

struct Vector {
  Bytes Key, Msg, Tag;
};

// Records of "Name = hex" lines separated by blank lines; '#' lines are comments.
inline std::vector<Vector> LoadVectors(const std::string& file) {
  std::ifstream in(std::string(AES_TEST_DATA_DIR) + "/" + file);
  std::vector<Vector> out;
  std::map<std::string, Bytes> rec;
  auto flush = [&] {
    if (!rec.empty()) out.push_back({rec["Key"], rec["Msg"], rec["Tag"]});
    rec.clear();
  };
  for (std::string line; std::getline(in, line);) {
    if (line.empty()) {
      flush();
    } else if (line[0] != '#') {
      const auto eq = line.find(" =");
      rec[line.substr(0, eq)] = FromHex(eq + 3 <= line.size() ? line.substr(eq + 3) : "");
    }
  }
  flush();
  return out;
}

enum class Form { Buffer, String, File, Stream };
inline const char* Name(Form f) {
  switch (f) {
    case Form::Buffer: return "buffer";
    case Form::String: return "string";
    case Form::File: return "file";
    case Form::Stream: return "stream";
  }
  return "?";
}

inline platform::string ByteString(const Bytes& b) { return platform::string(b.begin(), b.end()); }
inline platform::Integer KeyBits(const Bytes& key) { return static_cast<platform::Integer>(8 * key.size()); }

// Runs the forms on messages; the file forms read the message from a file of the test's folder.
class FormsTest : public TempDirTest {
 protected:
  AESModes::TAESModes M;

  // The generation forms (buffer, file, stream) into tag; the stream form always gives all 16
  // bytes and ignores bits.
  platform::Integer Generate(Form f, const Bytes& key, const Bytes& msg, Bytes& tag, platform::Integer bits) {
    switch (f) {
      case Form::Buffer: return M.MAC_GenerationBinaryBuffer(msg, key, KeyBits(key), tag, bits);
      case Form::File: return M.MAC_GenerationFile(FileOf(msg), key, KeyBits(key), tag, bits);
      case Form::Stream: {
        platform::TMemoryStream s(msg);
        const platform::string t = M.GenerateFromStream(&s, key);
        tag.assign(t.begin(), t.end());
        return 0;
      }
      case Form::String: break;
    }
    ADD_FAILURE() << "no generation form " << Name(f);
    return 1;
  }

  // Every verification form; the stream form compares tag as a whole (bits not used).
  platform::Integer Verify(Form f, const Bytes& key, const Bytes& msg, const Bytes& tag, platform::Integer bits) {
    switch (f) {
      case Form::Buffer: return M.MAC_VerificationBinaryBuffer(msg, key, KeyBits(key), tag, bits);
      case Form::String:
        return M.MAC_VerificationString(ByteString(msg), static_cast<platform::Integer>(msg.size()), key,
                                        KeyBits(key), tag, bits);
      case Form::File: return M.MAC_VerificationFile(FileOf(msg), key, KeyBits(key), tag, bits);
      case Form::Stream: {
        platform::TMemoryStream s(msg);
        return M.VerifyFromStream(&s, ByteString(tag), key);
      }
    }
    return 1;
  }

  // The path of a file holding msg (written again only when msg changed).
  platform::string FileOf(const Bytes& msg) {
    if (!FWritten || *FWritten != msg) {
      std::ofstream(Native("msg"), std::ios::binary)
          .write(reinterpret_cast<const char*>(msg.data()), static_cast<std::streamsize>(msg.size()));
      FWritten = msg;
    }
    return Path("msg");
  }

 private:
  std::optional<Bytes> FWritten;
};

}  // namespace cmac_test
