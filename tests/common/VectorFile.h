// Known-answer files under tests/data: records of "Name = hex" lines separated by blank lines,
// '#' lines are comments.
#pragma once

#include <fstream>
#include <istream>
#include <map>
#include <string>
#include <vector>

#include "Oracle.h"

namespace testing_support {

using TRecord = std::map<std::string, Bytes>;

inline std::vector<TRecord> ParseVectors(std::istream& in) {
  std::vector<TRecord> out(1);
  for (std::string line; std::getline(in, line);) {
    if (line.empty()) {
      if (!out.back().empty()) out.emplace_back();
    } else if (line[0] != '#') {
      const auto eq = line.find(" = ");
      out.back()[line.substr(0, line.find(' '))] = FromHex(eq == std::string::npos ? "" : line.substr(eq + 3));
    }
  }
  if (out.back().empty()) out.pop_back();
  return out;
}

inline std::vector<TRecord> ReadVectorFile(const std::string& name) {
  std::ifstream in(std::string(AES_TEST_DATA_DIR) + "/" + name);
  return ParseVectors(in);
}

}  // namespace testing_support
