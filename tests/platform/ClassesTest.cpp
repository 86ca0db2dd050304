// The component base: ownership and published properties read and written by name.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/Classes.h"
#include "platform/SysUtils.h"

namespace {

using platform::EPropertyError;
using platform::Integer;
using platform::TComponent;

enum TShape : std::uint8_t { shCircle, shSquare, shTriangle };

// A component with one property of every kind; it records its destruction by name.
class TWidget : public TComponent {
 public:
  explicit TWidget(TComponent* AOwner, std::vector<std::u16string>* log = nullptr) : TComponent(AOwner), FLog(log) {}
  ~TWidget() override {
    if (FLog) FLog->push_back(Name);
  }

  std::u16string Caption;
  Integer Count = 0;
  TShape Shape = shSquare;
  std::u16string Tag;

  platform::TPropertyList PublishedProperties() const override {
    platform::TPropertyList list = TComponent::PublishedProperties();
    list.push_back(platform::StringProperty<TWidget>(
        "Caption", [](const TWidget& w) { return w.Caption; },
        [](TWidget& w, const std::u16string& v) { w.Caption = v; }, std::u16string()));
    list.push_back(platform::IntegerProperty<TWidget>(
        "Count", [](const TWidget& w) { return w.Count; }, [](TWidget& w, Integer v) { w.Count = v; }, 0));
    list.push_back(platform::EnumProperty<TWidget, TShape>(
        "Shape", {u"shCircle", u"shSquare", u"shTriangle"}, [](const TWidget& w) { return w.Shape; },
        [](TWidget& w, TShape v) { w.Shape = v; }, shSquare));
    list.push_back(platform::StringProperty<TWidget>(
        "Tag", [](const TWidget& w) { return w.Tag; }, [](TWidget& w, const std::u16string& v) { w.Tag = v; },
        std::nullopt));
    return list;
  }

 private:
  std::vector<std::u16string>* FLog;
};

TWidget* Make(TComponent* owner, const char16_t* name, std::vector<std::u16string>* log) {
  auto* w = new TWidget(owner, log);
  w->Name = name;
  return w;
}

TEST(PlatformComponent, OwnerDestroysWhatItOwns) {
  std::vector<std::u16string> log;
  auto* root = Make(nullptr, u"root", &log);
  auto* a = Make(root, u"a", &log);
  Make(a, u"a1", &log);
  auto* b = Make(root, u"b", &log);
  Make(root, u"c", &log);
  EXPECT_EQ(root->FindComponent(u"b"), b);
  EXPECT_EQ(root->FindComponent(u"a1"), nullptr);  // only direct children
  EXPECT_EQ(a->Owner(), root);

  // A component deleted before its owner leaves the owner's list.
  delete b;
  EXPECT_EQ(log, std::vector<std::u16string>{u"b"});
  EXPECT_EQ(root->Components().size(), 2u);
  EXPECT_EQ(root->FindComponent(u"b"), nullptr);

  // Every remaining component goes exactly once, the last created first, children with
  // their owner. Double deletion would show under the sanitizers.
  delete root;
  const std::vector<std::u16string> expected = {u"b", u"root", u"c", u"a", u"a1"};
  EXPECT_EQ(log, expected);
}

TEST(PlatformComponent, PropertiesByName) {
  TWidget w(nullptr);
  w.SetPropertyText("Caption", u"Hello \u00E9");
  w.SetPropertyText("Count", u"-42");
  w.SetPropertyText("Shape", u"shTriangle");
  w.SetPropertyText("Tag", u"t");
  EXPECT_EQ(w.Caption, u"Hello \u00E9");
  EXPECT_EQ(w.Count, -42);
  EXPECT_EQ(w.Shape, shTriangle);
  EXPECT_EQ(w.Tag, u"t");
  EXPECT_EQ(w.GetPropertyText("Caption"), u"Hello \u00E9");
  EXPECT_EQ(w.GetPropertyText("Count"), u"-42");
  EXPECT_EQ(w.GetPropertyText("Shape"), u"shTriangle");
  w.Shape = shCircle;
  EXPECT_EQ(w.GetPropertyText("Shape"), u"shCircle");
}

// The message must name the property, and the value where there is one.
void ExpectPropertyError(TWidget& w, const char* property, const std::u16string& value,
                         const std::vector<std::u16string>& named) {
  SCOPED_TRACE(std::string(property) + " = " + platform::ToUTF8String(value));
  try {
    w.SetPropertyText(property, value);
    ADD_FAILURE() << "no exception";
  } catch (const EPropertyError& e) {
    for (const auto& n : named) EXPECT_NE(e.Message().find(n), std::u16string::npos) << e.what();
  }
}

TEST(PlatformComponent, BadNamesAndValuesRaise) {
  TWidget w(nullptr);
  ExpectPropertyError(w, "Colour", u"red", {u"Colour"});
  ExpectPropertyError(w, "caption", u"x", {u"caption"});  // names are case-sensitive
  ExpectPropertyError(w, "Shape", u"shHexagon", {u"Shape", u"shHexagon"});
  ExpectPropertyError(w, "Shape", u"shsquare", {u"Shape", u"shsquare"});
  ExpectPropertyError(w, "Count", u"12x", {u"Count", u"12x"});
  ExpectPropertyError(w, "Count", u"", {u"Count"});
  ExpectPropertyError(w, "Count", u"99999999999", {u"Count", u"99999999999"});
  // Nothing was changed by the rejected writes.
  EXPECT_EQ(w.Shape, shSquare);
  EXPECT_EQ(w.Count, 0);
  EXPECT_EQ(w.Caption, u"");

  EXPECT_THROW(w.GetPropertyText("Colour"), EPropertyError);
  EXPECT_THROW(w.IsStored("Colour"), EPropertyError);
}

TEST(PlatformComponent, IsStoredComparesWithTheDefault) {
  TWidget w(nullptr);
  EXPECT_FALSE(w.IsStored("Caption"));
  EXPECT_FALSE(w.IsStored("Count"));
  EXPECT_FALSE(w.IsStored("Shape"));
  EXPECT_TRUE(w.IsStored("Tag"));  // no default: always stored

  w.Caption = u"x";
  w.Count = 1;
  w.Shape = shCircle;
  EXPECT_TRUE(w.IsStored("Caption"));
  EXPECT_TRUE(w.IsStored("Count"));
  EXPECT_TRUE(w.IsStored("Shape"));

  w.SetPropertyText("Shape", u"shSquare");
  w.SetPropertyText("Count", u"0");
  EXPECT_FALSE(w.IsStored("Shape"));
  EXPECT_FALSE(w.IsStored("Count"));
}

}  // namespace
