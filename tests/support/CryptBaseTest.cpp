// TOrvoCryptBase: the Version property always reads the library's own version.
#include <gtest/gtest.h>

#include <cstdint>

#include "crypto/support/CryptBase.h"
#include "orvoaes/Version.h"
#include "platform/SysUtils.h"

namespace {

using CryptBase::TOrvoCryptBase;

TEST(SupportCryptBase, VersionIgnoresWrites) {
  TOrvoCryptBase base;
  EXPECT_EQ(base.GetVersion(), u"5.0.0.0");
  EXPECT_EQ(base.GetPropertyText("Version"), u"5.0.0.0");

  base.SetVersion(u"1.2.3.4");
  EXPECT_EQ(base.GetVersion(), u"5.0.0.0");
  base.SetPropertyText("Version", u"9.9");
  EXPECT_EQ(base.GetPropertyText("Version"), u"5.0.0.0");
  base.SetPropertyText("Version", u"");
  EXPECT_EQ(base.GetPropertyText("Version"), u"5.0.0.0");

  // Version has no default, so a stored description always carries it.
  EXPECT_TRUE(base.IsStored("Version"));
  EXPECT_THROW(base.GetPropertyText("version"), platform::EPropertyError);
}

// The installed version header, made from the project's version, agrees with the library's.
TEST(SupportCryptBase, VersionHeaderMatchesTheLibrary) {
  const TOrvoCryptBase base;
  EXPECT_EQ(base.GetVersionNumber(), ORVOAES_VERSION_NUMBER);
  EXPECT_EQ(base.GetVersion(), platform::FromUTF8(ORVOAES_VERSION_STRING));
}

// The text joins the four bytes of the packed number, top byte first, in decimal without
// padding; a packed number with distinct bytes shows order and width.
TEST(SupportCryptBase, VersionTextJoinsPackedBytes) {
  struct TPacked : TOrvoCryptBase {
    std::uint32_t Packed = 0;
    std::uint32_t GetVersionNumber() const override { return Packed; }
  };
  const std::pair<std::uint32_t, std::u16string> cases[] = {
      {0x0A0B0C0Du, u"10.11.12.13"}, {0xFF000180u, u"255.0.1.128"}, {0u, u"0.0.0.0"}};
  for (const auto& [packed, text] : cases) {
    TPacked p;
    p.Packed = packed;
    EXPECT_EQ(p.GetPropertyText("Version"), text);
  }
}

TEST(SupportCryptBase, OwnerDestroysOwnedComponents) {
  // Leak and double-free checks come from the sanitizer build.
  auto* owner = new TOrvoCryptBase;
  auto* child = new TOrvoCryptBase(owner);
  EXPECT_EQ(child->Owner(), owner);
  ASSERT_EQ(owner->Components().size(), 1u);
  EXPECT_EQ(owner->Components()[0], child);
  delete owner;
}

}  // namespace
