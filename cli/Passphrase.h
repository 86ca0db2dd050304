// Passphrases: asked on the terminal without echo, or read from a file descriptor or a file for
// scripts; never taken from the command line.
#pragma once

#include <string>

#include "platform/Memory.h"

namespace cli {

using TSecretString = platform::TSecret<std::string>;

struct TPassphraseOptions {
  int Fd = -1;
  std::string File;
};

// The passphrase from --passphrase-fd, --passphrase-file or the terminal (asked twice when
// confirm is set, with the prompt what). Its first line counts, without the line break. An empty
// one is refused.
void ReadPassphrase(const TPassphraseOptions& o, bool confirm, TSecretString& out,
                    const std::string& what = "Passphrase");

}  // namespace cli
