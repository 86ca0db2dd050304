// Stored descriptions: a small text, readable and editable by a person, that names the objects
// to create, their classes and the values of their published properties in the order they are
// applied. The component layer reads it: it parses the text into objects and creates the
// non-visual components by class name, applying their properties through
// TComponent::SetPropertyText. A front end builds its visual objects from the same parsed text.
//
// The format:
//
//   # a comment runs to the end of the line
//   Form3: TForm3 {                # an object: name, class, then its members in braces
//     caption = "Form3"            # text in double quotes (UTF-8); \" and \\ are its escapes
//     clientWidth = 667            # a whole number (32 bits, optional minus sign)
//     placement = desktopCenter    # an identifier: an enumeration value or a method name
//     Button1: TButton { ... }     # an object the enclosing one owns
//   }
//
// Names and classes are identifiers (a letter or '_', then letters, digits and '_'). A text holds
// exactly one object at its top.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/Classes.h"
#include "platform/SysUtils.h"
#include "platform/Types.h"

namespace platform {

// A description that cannot be read, or whose values an object does not accept. The message
// names the line and, once an object is known, the object and the property.
class EStoredDescriptionError : public Exception {
 public:
  using Exception::Exception;
};

enum class TStoredValueKind : std::uint8_t { Text, Number, Identifier };

struct TStoredProperty {
  std::string Name;
  TStoredValueKind Kind = TStoredValueKind::Text;
  string Value;  // as written; a text without its quotes and escapes
  int Line = 0;
};

struct TStoredObject {
  string Name;
  std::string ClassName;
  std::vector<TStoredProperty> Properties;  // in the order written
  std::vector<TStoredObject> Children;      // in the order written
  int Line = 0;

  // The last property of that name, or null.
  const TStoredProperty* FindProperty(std::string_view name) const;
  const TStoredObject* FindChild(const string& name) const;
};

// Parses a whole description. Malformed syntax, an unterminated text, a number out of range,
// invalid UTF-8, objects nested deeper than 16 levels, or two objects of the same name within
// one owner raise EStoredDescriptionError naming the line.
TStoredObject ParseStoredDescription(std::string_view text);

// "Error reading <object>.<property> (line n): " — the start of a loader's error message.
string DescriptionErrorPrefix(const TStoredObject& object, const TStoredProperty& property);
string DescriptionErrorPrefix(const TStoredObject& object);

// Makes a component of one class, owned by AOwner (which may be null).
using TComponentFactory = std::function<TComponent*(TComponent* AOwner)>;

// The component classes a loader may create, by class name. An explicit object, passed to the
// loader, so each program states which classes its descriptions may name.
class TComponentClasses {
 public:
  void Register(std::string className, TComponentFactory factory);
  // Registers T under its class name with its owner-taking constructor.
  template <class T>
  void Register(std::string className) {
    Register(std::move(className), [](TComponent* AOwner) -> TComponent* { return new T(AOwner); });
  }
  bool Contains(std::string_view className) const;
  // Null when the class is not registered.
  const TComponentFactory* Find(std::string_view className) const;

 private:
  std::vector<std::pair<std::string, TComponentFactory>> FClasses;
};

// Sets the listed properties of component by name, in the listed order, skipping none. The
// first failure (no such property, a value the writer refuses) raises EStoredDescriptionError
// with DescriptionErrorPrefix and the original message; properties before it stay applied.
void ApplyStoredProperties(TComponent& component, const TStoredObject& object);

// Creates the component that object describes with its class's owner-taking constructor, owned
// by AOwner, names it, applies its properties, then creates its children the same way, owned by
// it. An unregistered class or a failing property raises EStoredDescriptionError naming the
// object; whatever this call had created is destroyed first.
TComponent& CreateStoredComponent(const TStoredObject& object, TComponent& AOwner, const TComponentClasses& classes);

}  // namespace platform
