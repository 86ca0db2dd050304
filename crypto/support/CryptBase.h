// TOrvoCryptBase: the base class of the library's components.
#pragma once

#include <cstdint>

#include "platform/Classes.h"

namespace CryptBase {

using platform::string;

class TOrvoCryptBase : public platform::TComponent {
 public:
  explicit TOrvoCryptBase(platform::TComponent* AOwner = nullptr) : TComponent(AOwner) {}

  // The packed version: major number in the top byte, then minor, release and build.
  virtual std::uint32_t GetVersionNumber() const { return 0x05000000u; }

  // "5.0.0.0": the four bytes of GetVersionNumber, top byte first, in decimal.
  string GetVersion() const;
  // Ignores the value, so Version always reads the library's own version.
  void SetVersion(const string& value);

  // Version comes first, without a default (always stored).
  platform::TPropertyList PublishedProperties() const override;
};

}  // namespace CryptBase
