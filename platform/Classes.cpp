#include "platform/Classes.h"

#include <algorithm>
#include <charconv>

#include "platform/SysUtils.h"

namespace platform {

TComponent::TComponent(TComponent* AOwner) : FOwner(AOwner) {
  if (FOwner) FOwner->FComponents.push_back(this);
}

TComponent::~TComponent() {
  // Owned components are destroyed last-created first; each unregisters itself below.
  while (!FComponents.empty()) delete FComponents.back();
  if (FOwner) std::erase(FOwner->FComponents, this);
}

TComponent* TComponent::FindComponent(const string& name) const {
  for (TComponent* c : FComponents)
    if (c->Name == name) return c;
  return nullptr;
}

const TPropertyInfo& TComponent::FindProperty(std::string_view name, const TPropertyList& list) const {
  for (const auto& p : list)
    if (p.Name == name) return p;
  throw EPropertyError(u"Property " + FromUTF8(name) + u" does not exist");
}

string TComponent::GetPropertyText(std::string_view name) const {
  const TPropertyList list = PublishedProperties();
  return FindProperty(name, list).Get(*this);
}

void TComponent::SetPropertyText(std::string_view name, const string& value) {
  const TPropertyList list = PublishedProperties();
  FindProperty(name, list).Set(*this, value);
}

bool TComponent::IsStored(std::string_view name) const {
  const TPropertyList list = PublishedProperties();
  const TPropertyInfo& p = FindProperty(name, list);
  return !p.Default || p.Get(*this) != *p.Default;
}

namespace detail {

void RaiseBadPropertyValue(const std::string& property, const string& value) {
  throw EPropertyError(u"Invalid property value '" + value + u"' for property " + FromUTF8(property));
}

string ToText(Integer value) { return IntToStr(value); }

Integer ParseInteger(const std::string& property, const string& text) {
  const std::string ascii = ToUTF8String(text);
  Integer value = 0;
  auto [end, ec] = std::from_chars(ascii.data(), ascii.data() + ascii.size(), value);
  if (ascii.empty() || ec != std::errc() || end != ascii.data() + ascii.size()) RaiseBadPropertyValue(property, text);
  return value;
}

}  // namespace detail

}  // namespace platform
