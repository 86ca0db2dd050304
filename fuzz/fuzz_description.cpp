// The stored-description reader on any text. A text it accepts is written out again by an
// independent writer and must read back as the same tree (names, classes, values and their
// kinds, order); it holds no object deeper than 16 levels and no two siblings of one name.
// Creating components from it (the AES component and the converter are known classes) either
// succeeds or raises the reader's own error, never anything else.
#include <set>
#include <string>

#include "FuzzSupport.h"
#include "crypto/component/AESObj.h"
#include "crypto/support/MiscObj.h"
#include "platform/StoredDescription.h"

namespace {

using namespace fuzz_support;
using platform::TStoredObject;
using platform::TStoredProperty;
using platform::TStoredValueKind;

std::string Quoted(const string& value) {
  std::string out = "\"";
  for (char c : platform::ToUTF8String(value)) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

void Write(const TStoredObject& o, std::string& out) {
  out += platform::ToUTF8String(o.Name) + ": " + o.ClassName + " {\n";
  for (const TStoredProperty& p : o.Properties)
    out += p.Name + " = " + (p.Kind == TStoredValueKind::Text ? Quoted(p.Value) : platform::ToUTF8String(p.Value)) + "\n";
  for (const TStoredObject& child : o.Children) Write(child, out);
  out += "}\n";
}

bool SameTree(const TStoredObject& a, const TStoredObject& b) {
  if (a.Name != b.Name || a.ClassName != b.ClassName || a.Properties.size() != b.Properties.size() ||
      a.Children.size() != b.Children.size())
    return false;
  for (std::size_t i = 0; i < a.Properties.size(); ++i) {
    const TStoredProperty &p = a.Properties[i], &q = b.Properties[i];
    if (p.Name != q.Name || p.Kind != q.Kind || p.Value != q.Value) return false;
  }
  for (std::size_t i = 0; i < a.Children.size(); ++i)
    if (!SameTree(a.Children[i], b.Children[i])) return false;
  return true;
}

void CheckShape(const TStoredObject& o, int depth) {
  FUZZ_CHECK(depth <= 16 && o.Line >= 1);
  std::set<string> names;
  for (const TStoredObject& child : o.Children) {
    FUZZ_CHECK(names.insert(child.Name).second);
    CheckShape(child, depth + 1);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  TStoredObject root;
  try {
    root = platform::ParseStoredDescription(text);
  } catch (const platform::EStoredDescriptionError&) {
    return 0;
  }
  CheckShape(root, 1);
  std::string written;
  Write(root, written);
  FUZZ_CHECK(SameTree(platform::ParseStoredDescription(written), root));

  platform::TComponentClasses classes;
  classes.Register<AESObj::TAESEncryption>("TAESEncryption");
  classes.Register<MiscObj::TConvert>("TConvert");
  platform::TComponent owner;
  try {
    platform::TComponent& made = platform::CreateStoredComponent(root, owner, classes);
    FUZZ_CHECK(made.Owner() == &owner && made.Name == root.Name);
  } catch (const platform::EStoredDescriptionError&) {
    FUZZ_CHECK(owner.Components().empty());
  }
  return 0;
}
