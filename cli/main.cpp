// orvoaes: encryption, authentication and conversions of files and text from the command line.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <exception>

#include "Common.h"
#include "Progress.h"

int main(int argc, char** argv) {
  CLI::App app("orvoaes: AES encryption, GCM, sealing with a passphrase, CMAC and text conversions", "orvoaes");
  app.set_version_flag("--version", std::string("orvoaes ") + ORVOAES_VERSION);
  app.require_subcommand(1);
  app.footer("Run 'orvoaes <subcommand> --help' for its options and an example.\n"
             "Exit status: 0 success, 1 failed operation, 2 wrong usage, 3 authentication failed, 130 interrupted.");
  cli::AddStreamCommands(app);
  cli::AddGCMCommands(app);
  cli::AddAEADCommands(app);
  cli::AddChunkedCommands(app);
  cli::AddSealCommands(app);
  cli::AddMacCommands(app);
  cli::AddConvertCommands(app);
  cli::InstallSignalHandlers();
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int status = app.exit(e);
    return status == 0 ? cli::kExitOK : cli::kExitUsage;
  } catch (const cli::TFailure& e) {
    std::fprintf(stderr, "orvoaes: %s\n", e.what());
    return e.Status();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "orvoaes: %s\n", e.what());
    return cli::kExitFailed;
  }
  return cli::kExitOK;
}
