// The component base: an owner that destroys what it owns, a name, and published properties
// that can be read and written by name as text (what a stored description sets).
#pragma once

#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Types.h"

namespace platform {

// The root object type: what an event handler receives as its sender.
class TObject {
 public:
  virtual ~TObject() = default;
};

class TComponent;

// An event handler that receives the sending object, or none (empty).
using TNotifyEvent = std::function<void(TObject* Sender)>;

// One published property. Default is the value a stored description leaves out; a property
// without a default is always stored.
struct TPropertyInfo {
  std::string Name;
  std::optional<string> Default;
  std::function<string(const TComponent&)> Get;
  std::function<void(TComponent&, const string&)> Set;
};

using TPropertyList = std::vector<TPropertyInfo>;

class TComponent : public TObject {
 public:
  // With an owner, the new component is destroyed by that owner (it must live on the heap).
  explicit TComponent(TComponent* AOwner = nullptr);
  ~TComponent() override;
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  TComponent* Owner() const noexcept { return FOwner; }
  const std::vector<TComponent*>& Components() const noexcept { return FComponents; }
  TComponent* FindComponent(const string& name) const;

  string Name;

  // The published properties in declaration order, those of the base classes first.
  // A derived class appends its own to the list of its base.
  virtual TPropertyList PublishedProperties() const { return {}; }

  // Raise EPropertyError (an Exception) naming the property when there is no such property;
  // a writer's own exception passes through unchanged.
  string GetPropertyText(std::string_view name) const;
  void SetPropertyText(std::string_view name, const string& value);
  // True when the property's value differs from its default (or it has none).
  bool IsStored(std::string_view name) const;

 private:
  const TPropertyInfo& FindProperty(std::string_view name, const TPropertyList& list) const;

  TComponent* FOwner = nullptr;
  std::vector<TComponent*> FComponents;
};

// Builds an enumeration property over the value names, index = value. An unknown name raises
// EPropertyError naming the property and the value.
template <class C, class E>
TPropertyInfo EnumProperty(std::string name, std::initializer_list<std::u16string_view> valueNames,
                           std::function<E(const C&)> get, std::function<void(C&, E)> set,
                           std::optional<E> defaultValue);

// A string property.
template <class C>
TPropertyInfo StringProperty(std::string name, std::function<string(const C&)> get,
                             std::function<void(C&, const string&)> set,
                             std::optional<string> defaultValue);

// An integer property in decimal text.
template <class C>
TPropertyInfo IntegerProperty(std::string name, std::function<Integer(const C&)> get,
                              std::function<void(C&, Integer)> set,
                              std::optional<Integer> defaultValue);

// Details shared by the templates.
namespace detail {
[[noreturn]] void RaiseBadPropertyValue(const std::string& property, const string& value);
string ToText(Integer value);
Integer ParseInteger(const std::string& property, const string& text);
}  // namespace detail

template <class C, class E>
TPropertyInfo EnumProperty(std::string name, std::initializer_list<std::u16string_view> valueNames,
                           std::function<E(const C&)> get, std::function<void(C&, E)> set,
                           std::optional<E> defaultValue) {
  std::vector<string> names(valueNames.begin(), valueNames.end());
  TPropertyInfo info;
  info.Name = name;
  if (defaultValue && static_cast<std::size_t>(*defaultValue) < names.size())
    info.Default = names[static_cast<std::size_t>(*defaultValue)];
  info.Get = [names, get](const TComponent& c) {
    auto v = static_cast<std::size_t>(get(static_cast<const C&>(c)));
    return v < names.size() ? names[v] : detail::ToText(static_cast<Integer>(v));
  };
  info.Set = [names, set, name](TComponent& c, const string& text) {
    for (std::size_t i = 0; i < names.size(); ++i)
      if (names[i] == text) return set(static_cast<C&>(c), static_cast<E>(i));
    detail::RaiseBadPropertyValue(name, text);
  };
  return info;
}

template <class C>
TPropertyInfo StringProperty(std::string name, std::function<string(const C&)> get,
                             std::function<void(C&, const string&)> set,
                             std::optional<string> defaultValue) {
  TPropertyInfo info;
  info.Name = std::move(name);
  info.Default = std::move(defaultValue);
  info.Get = [get](const TComponent& c) { return get(static_cast<const C&>(c)); };
  info.Set = [set](TComponent& c, const string& text) { set(static_cast<C&>(c), text); };
  return info;
}

template <class C>
TPropertyInfo IntegerProperty(std::string name, std::function<Integer(const C&)> get,
                              std::function<void(C&, Integer)> set,
                              std::optional<Integer> defaultValue) {
  TPropertyInfo info;
  info.Name = name;
  if (defaultValue) info.Default = detail::ToText(*defaultValue);
  info.Get = [get](const TComponent& c) { return detail::ToText(get(static_cast<const C&>(c))); };
  info.Set = [set, name](TComponent& c, const string& text) {
    set(static_cast<C&>(c), detail::ParseInteger(name, text));
  };
  return info;
}

}  // namespace platform
