// Sizes as the status line gives them.
#include <gtest/gtest.h>

#include "app/Commands.h"

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

}  // namespace
