#include "crypto/support/CryptBase.h"

#include "platform/SysUtils.h"

namespace CryptBase {

string TOrvoCryptBase::GetVersion() const {
  const std::uint32_t v = GetVersionNumber();
  string text;
  for (int shift = 24; shift >= 0; shift -= 8) {
    if (!text.empty()) text += u'.';
    text += platform::IntToStr((v >> shift) & 0xFF);
  }
  return text;
}

void TOrvoCryptBase::SetVersion(const string&) {}

platform::TPropertyList TOrvoCryptBase::PublishedProperties() const {
  return {platform::StringProperty<TOrvoCryptBase>(
      "Version", [](const TOrvoCryptBase& c) { return c.GetVersion(); },
      [](TOrvoCryptBase& c, const string& v) { c.SetVersion(v); }, std::nullopt)};
}

}  // namespace CryptBase
