// Sizes as the status line gives them, and how a failure's status becomes its message.
#include <gtest/gtest.h>

#include "app/Commands.h"
#include "crypto/support/errorlist.h"

namespace {

TEST(CommandsFormatSize, UnitsAndRoundingAtTheirEdges) {
  const std::pair<std::int64_t, const char*> cases[] = {
      {0, "0 bytes"},          {1, "1 byte"},          {999, "999 bytes"},     {1000, "1.0 kB"},
      {1550, "1.6 kB"},        {999949, "999.9 kB"},   {999950, "1.0 MB"},     {300000000, "300.0 MB"},
      {314572800, "314.6 MB"}, {999950000, "1.0 GB"}, {5000000000000, "5.0 TB"},
  };
  for (const auto& [bytes, text] : cases)
    EXPECT_EQ(platform::ToUTF8String(Commands::FormatSize(bytes)), text) << bytes;
}

// The operation error's status, not its text, says which file failed and how: an error made
// from a message that merely reads like one made from -208 is shown as it is.
TEST(CommandsRunCommand, OperationErrorsAreClassifiedByTheirStatus) {
  using platform::Integer;
  struct Case {
    Integer (*Run)(const platform::string&, AESObj::TAESEncryption&);
    const char* Status;
    const char* MessageStart;
  };
  const Case cases[] = {
      {[](const platform::string&, AESObj::TAESEncryption&) -> Integer { throw errorlist::ESelvane(-208); },
       "Restore AES failed: test.aes cannot be decrypted",
       "Restore AES: test.aes cannot be decrypted: Invalid Operation : -208 (Error: in AES, the cipher text"},
      {[](const platform::string&, AESObj::TAESEncryption&) -> Integer { throw errorlist::ESelvane(-213); },
       "Restore AES failed: test_restore.txt cannot be written",
       "Restore AES: test_restore.txt cannot be written: Invalid Operation : -213 (Error: "},
      {[](const platform::string&, AESObj::TAESEncryption&) -> Integer {
         throw errorlist::ESelvane(platform::string(u"Invalid Operation : -208"));
       },
       "Restore AES failed", "Restore AES: Invalid Operation : -208\n"},
  };
  AESObj::TAESEncryption component;
  for (const Case& c : cases) {
    const Commands::TCommand command{u"Restore AES", u"test.aes", u"test_restore.txt", c.Run};
    const Commands::TOutcome outcome = Commands::RunCommand(command, u"/folder/", component, {});
    EXPECT_EQ(outcome.Result, Commands::TResult::Failed);
    EXPECT_EQ(platform::ToUTF8String(outcome.Status), c.Status);
    EXPECT_EQ(platform::ToUTF8String(outcome.Message).rfind(c.MessageStart, 0), 0u)
        << platform::ToUTF8String(outcome.Message);
  }
}

}  // namespace
