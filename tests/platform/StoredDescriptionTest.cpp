// The stored-description reader: parsing, and creating components by class name with their
// properties applied in the order written.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/StoredDescription.h"

namespace {

using platform::EStoredDescriptionError;
using platform::ParseStoredDescription;
using platform::TComponent;
using platform::TStoredObject;
using platform::TStoredValueKind;
using platform::string;

TEST(StoredDescriptionParse, ObjectsPropertiesAndValuesInOrder) {
  const TStoredObject root = ParseStoredDescription(
      "# a window\n"
      "Main: TMain {\n"
      "  title = \"Say \\\"hi\\\" \\\\ \xC3\xA9t\xC3\xA9\"  # a comment after a value\n"
      "  width = -12\n"
      "  mode = fast\n"
      "  Part1: TPart { size = 2147483647 }\n"
      "  Part2: TPart {}\n"
      "  last = 0\n"
      "}\n");
  EXPECT_EQ(root.Name, u"Main");
  EXPECT_EQ(root.ClassName, "TMain");
  EXPECT_EQ(root.Line, 2);
  ASSERT_EQ(root.Properties.size(), 4u);
  const std::vector<std::tuple<std::string, TStoredValueKind, string, int>> expected = {
      {"title", TStoredValueKind::Text, u"Say \"hi\" \\ \u00E9t\u00E9", 3},
      {"width", TStoredValueKind::Number, u"-12", 4},
      {"mode", TStoredValueKind::Identifier, u"fast", 5},
      {"last", TStoredValueKind::Number, u"0", 8},
  };
  for (std::size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE(i);
    const auto& [name, kind, value, line] = expected[i];
    EXPECT_EQ(root.Properties[i].Name, name);
    EXPECT_EQ(root.Properties[i].Kind, kind);
    EXPECT_EQ(root.Properties[i].Value, value);
    EXPECT_EQ(root.Properties[i].Line, line);
  }
  ASSERT_EQ(root.Children.size(), 2u);
  EXPECT_EQ(root.Children[0].Name, u"Part1");
  EXPECT_EQ(root.Children[0].FindProperty("size")->Value, u"2147483647");
  EXPECT_EQ(root.Children[1].Name, u"Part2");
  EXPECT_TRUE(root.Children[1].Properties.empty());
  EXPECT_EQ(root.FindChild(u"Part2"), &root.Children[1]);
  EXPECT_EQ(root.FindChild(u"Part3"), nullptr);
}

TEST(StoredDescriptionParse, MalformedTextNamesTheLine) {
  std::string deep;
  for (int i = 0; i < 17; ++i) deep += "A: T {\n";
  deep += std::string(17, '}');
  const std::pair<std::string, std::string> cases[] = {
      {"", "line 1: expected an object name"},
      {"A: T {\n  x 1\n}", "line 2: expected '=' after x"},
      {"A: T {\n  x =\n}", "line 3: expected a value for x"},
      {"A T {}", "line 1: expected ':'"},
      {"A: T {\n  x = 1\n", "line 3: expected a property name or an object"},
      {"A: T {}\nB: T {}", "line 2: expected the end of the text"},
      {"A: T {\n  x = \"open\n}", "line 2: text without its closing quote"},
      {"A: T { x = \"a\\n\" }", "line 1: unknown escape"},
      {"A: T {\n\n  x = @\n}", "line 3: unexpected character '@'"},
      {"A: T\x9D {}", "line 1: unexpected byte 0x9D"},  // a lone byte that is not UTF-8
      {"A: T { x = \x01 }", "line 1: unexpected byte 0x01"},
      {"A: T { x = 2147483648 }", "line 1: '2147483648' is not a number of 32 bits"},
      {"A: T { x = 12ab }", "line 1: '12' is not a number"},
      {"A: T { x = \"\xC3\" }", "line 1: the value of x is not valid UTF-8"},
      {"A: T {\n  B: U {}\n  B: V {}\n}", "line 3: a second object named B"},
      {deep, "line 17: objects nested too deeply"},
  };
  for (const auto& [text, message] : cases) {
    SCOPED_TRACE(text);
    try {
      ParseStoredDescription(text);
      ADD_FAILURE() << "parsed";
    } catch (const EStoredDescriptionError& e) {
      EXPECT_NE(std::string(e.what()).find(message), std::string::npos) << e.what();
    }
  }
}

// A component that logs every property write, and refuses the value "bad".
class TProbe : public TComponent {
 public:
  explicit TProbe(TComponent* AOwner) : TComponent(AOwner) {}
  std::vector<std::string> Log;

  platform::TPropertyList PublishedProperties() const override {
    platform::TPropertyList list;
    for (const char* name : {"first", "second"})
      list.push_back(platform::StringProperty<TProbe>(
          name, [](const TProbe&) { return string(); },
          [name](TProbe& p, const string& v) {
            if (v == u"bad") throw platform::Exception(u"refused");
            p.Log.push_back(std::string(name) + "=" + platform::ToUTF8String(v));
          },
          std::nullopt));
    return list;
  }
};

platform::TComponentClasses ProbeClasses() {
  platform::TComponentClasses classes;
  classes.Register<TProbe>("TProbe");
  return classes;
}

TEST(StoredDescriptionLoad, CreatesByClassNameAndAppliesPropertiesInOrder) {
  const TStoredObject root = ParseStoredDescription(
      "Form: TForm {\n"
      "  Probe1: TProbe {\n"
      "    second = \"b\"\n"
      "    first = a\n"
      "    second = 3\n"
      "    Inner: TProbe { first = x }\n"
      "  }\n"
      "}\n");
  TComponent owner;
  TComponent& made = platform::CreateStoredComponent(root.Children[0], owner, ProbeClasses());
  auto& probe = dynamic_cast<TProbe&>(made);
  EXPECT_EQ(probe.Owner(), &owner);
  EXPECT_EQ(probe.Name, u"Probe1");
  EXPECT_EQ(probe.Log, (std::vector<std::string>{"second=b", "first=a", "second=3"}));
  ASSERT_EQ(probe.Components().size(), 1u);
  EXPECT_EQ(probe.Components()[0]->Name, u"Inner");
  EXPECT_EQ(dynamic_cast<TProbe&>(*probe.Components()[0]).Log, std::vector<std::string>{"first=x"});
}

// The message names the object and the property (or the class); nothing half-made stays behind.
TEST(StoredDescriptionLoad, FailuresNameTheObjectAndPropertyAndLeaveNothing) {
  const std::pair<std::string, std::string> cases[] = {
      {"P: TProbe {\n  first = a\n  third = c\n}", "Error reading P.third (line 3): Property third does not exist"},
      {"P: TProbe {\n  second = bad\n}", "Error reading P.second (line 2): refused"},
      {"P: TGhost {}", "Error reading P (line 1): unknown class TGhost"},
      {"P: TProbe {\n  Q: TProbe {\n    first = bad\n  }\n}", "Error reading Q.first (line 3): refused"},
  };
  for (const auto& [text, message] : cases) {
    SCOPED_TRACE(text);
    TComponent owner;
    try {
      platform::CreateStoredComponent(ParseStoredDescription(text), owner, ProbeClasses());
      ADD_FAILURE() << "loaded";
    } catch (const EStoredDescriptionError& e) {
      EXPECT_EQ(std::string(e.what()), message);
    }
    EXPECT_TRUE(owner.Components().empty());
  }
}

}  // namespace
