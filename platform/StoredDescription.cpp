#include "platform/StoredDescription.h"

#include <algorithm>
#include <charconv>
#include <span>

namespace platform {

namespace {

// Deep enough for any window; shallow enough that a hostile text cannot exhaust the stack.
constexpr int kMaxDepth = 16;

enum class TTokenKind : std::uint8_t { Identifier, Number, Text, Colon, Equals, Open, Close, End };

struct TToken {
  TTokenKind Kind;
  std::string Text;  // identifier, number digits, or the unescaped UTF-8 of a text
  int Line;
};

[[noreturn]] void Fail(int line, std::string_view what) {
  throw EStoredDescriptionError(u"Stored description, line " + IntToStr(line) + u": " + FromUTF8(what));
}

bool IsIdentStart(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsIdentChar(char c) { return IsIdentStart(c) || IsDigit(c); }

class TLexer {
 public:
  explicit TLexer(std::string_view text) : FText(text) {}

  std::vector<TToken> Tokens() {
    std::vector<TToken> out;
    for (;;) {
      SkipBlanksAndComments();
      if (FPos == FText.size()) break;
      out.push_back(NextToken());
    }
    out.push_back({TTokenKind::End, {}, FLine});
    return out;
  }

 private:
  void SkipBlanksAndComments() {
    while (FPos < FText.size()) {
      const char c = FText[FPos];
      if (c == '\n') {
        ++FLine;
        ++FPos;
      } else if (c == ' ' || c == '\t' || c == '\r') {
        ++FPos;
      } else if (c == '#') {
        while (FPos < FText.size() && FText[FPos] != '\n') ++FPos;
      } else {
        return;
      }
    }
  }

  TToken NextToken() {
    const char c = FText[FPos];
    switch (c) {
      case ':': ++FPos; return {TTokenKind::Colon, ":", FLine};
      case '=': ++FPos; return {TTokenKind::Equals, "=", FLine};
      case '{': ++FPos; return {TTokenKind::Open, "{", FLine};
      case '}': ++FPos; return {TTokenKind::Close, "}", FLine};
      case '"': return QuotedText();
    }
    if (IsIdentStart(c)) return Span(TTokenKind::Identifier, IsIdentChar);
    if (IsDigit(c) || c == '-') return NumberToken();
    // A byte outside printable ASCII is shown by its code: alone it may not be valid UTF-8,
    // and the message must not fail to be made.
    if (const auto b = static_cast<unsigned char>(c); b < 0x21 || b > 0x7E) {
      constexpr char kDigits[] = "0123456789ABCDEF";
      Fail(FLine, std::string("unexpected byte 0x") + kDigits[b >> 4] + kDigits[b & 15]);
    }
    Fail(FLine, "unexpected character '" + std::string(1, c) + "'");
  }

  template <class Pred>
  TToken Span(TTokenKind kind, Pred pred) {
    const std::size_t start = FPos;
    while (FPos < FText.size() && pred(FText[FPos])) ++FPos;
    return {kind, std::string(FText.substr(start, FPos - start)), FLine};
  }

  TToken NumberToken() {
    const std::size_t start = FPos;
    if (FText[FPos] == '-') ++FPos;
    while (FPos < FText.size() && IsDigit(FText[FPos])) ++FPos;
    const std::string digits(FText.substr(start, FPos - start));
    Integer value = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (ec != std::errc() || end != digits.data() + digits.size() ||
        (FPos < FText.size() && IsIdentChar(FText[FPos])))
      Fail(FLine, "'" + digits + "' is not a number of 32 bits");
    return {TTokenKind::Number, digits, FLine};
  }

  TToken QuotedText() {
    const int line = FLine;
    std::string value;
    ++FPos;  // the opening quote
    for (;;) {
      if (FPos == FText.size() || FText[FPos] == '\n') Fail(line, "text without its closing quote");
      const char c = FText[FPos++];
      if (c == '"') break;
      if (c == '\\') {
        if (FPos == FText.size() || (FText[FPos] != '"' && FText[FPos] != '\\'))
          Fail(line, "unknown escape in text (only \\\" and \\\\ are allowed)");
        value += FText[FPos++];
      } else {
        value += c;
      }
    }
    return {TTokenKind::Text, std::move(value), line};
  }

  std::string_view FText;
  std::size_t FPos = 0;
  int FLine = 1;
};

std::string Describe(const TToken& t) {
  switch (t.Kind) {
    case TTokenKind::End: return "the end of the text";
    case TTokenKind::Text: return "a text";
    default: return "'" + t.Text + "'";
  }
}

class TParser {
 public:
  explicit TParser(std::vector<TToken> tokens) : FTokens(std::move(tokens)) {}

  TStoredObject Root() {
    TStoredObject root = Object(1);
    if (Peek().Kind != TTokenKind::End)
      Fail(Peek().Line, "expected the end of the text after the object, found " + Describe(Peek()));
    return root;
  }

 private:
  const TToken& Peek(std::size_t ahead = 0) const { return FTokens[std::min(FPos + ahead, FTokens.size() - 1)]; }
  const TToken& Take() {
    const TToken& t = Peek();
    if (FPos < FTokens.size() - 1) ++FPos;
    return t;
  }
  const TToken& Expect(TTokenKind kind, std::string_view what) {
    if (Peek().Kind != kind) Fail(Peek().Line, "expected " + std::string(what) + ", found " + Describe(Peek()));
    return Take();
  }

  // name ':' class '{' member* '}'
  TStoredObject Object(int depth) {
    if (depth > kMaxDepth) Fail(Peek().Line, "objects nested too deeply");
    TStoredObject object;
    const TToken& name = Expect(TTokenKind::Identifier, "an object name");
    object.Name = FromUTF8(name.Text);
    object.Line = name.Line;
    Expect(TTokenKind::Colon, "':' after the object name");
    object.ClassName = Expect(TTokenKind::Identifier, "a class name").Text;
    Expect(TTokenKind::Open, "'{'");
    while (Peek().Kind != TTokenKind::Close) {
      if (Peek().Kind == TTokenKind::Identifier && Peek(1).Kind == TTokenKind::Colon)
        AddChild(object, Object(depth + 1));
      else
        object.Properties.push_back(Property());
    }
    Take();
    return object;
  }

  static void AddChild(TStoredObject& owner, TStoredObject child) {
    if (owner.FindChild(child.Name))
      Fail(child.Line, "a second object named " + ToUTF8String(child.Name));
    owner.Children.push_back(std::move(child));
  }

  // name '=' value
  TStoredProperty Property() {
    TStoredProperty p;
    const TToken& name = Expect(TTokenKind::Identifier, "a property name or an object");
    p.Name = name.Text;
    p.Line = name.Line;
    Expect(TTokenKind::Equals, "'=' after " + p.Name);
    const TToken& value = Take();
    switch (value.Kind) {
      case TTokenKind::Text: p.Kind = TStoredValueKind::Text; break;
      case TTokenKind::Number: p.Kind = TStoredValueKind::Number; break;
      case TTokenKind::Identifier: p.Kind = TStoredValueKind::Identifier; break;
      default: Fail(value.Line, "expected a value for " + p.Name + ", found " + Describe(value));
    }
    try {
      p.Value = DecodeUTF8(std::span(reinterpret_cast<const std::uint8_t*>(value.Text.data()), value.Text.size()));
    } catch (const EEncodingError&) {
      Fail(value.Line, "the value of " + p.Name + " is not valid UTF-8");
    }
    return p;
  }

  std::vector<TToken> FTokens;
  std::size_t FPos = 0;
};

}  // namespace

const TStoredProperty* TStoredObject::FindProperty(std::string_view name) const {
  const auto it = std::find_if(Properties.rbegin(), Properties.rend(), [&](const auto& p) { return p.Name == name; });
  return it == Properties.rend() ? nullptr : &*it;
}

const TStoredObject* TStoredObject::FindChild(const string& name) const {
  const auto it = std::find_if(Children.begin(), Children.end(), [&](const auto& c) { return c.Name == name; });
  return it == Children.end() ? nullptr : &*it;
}

TStoredObject ParseStoredDescription(std::string_view text) { return TParser(TLexer(text).Tokens()).Root(); }

string DescriptionErrorPrefix(const TStoredObject& object) {
  return u"Error reading " + object.Name + u" (line " + IntToStr(object.Line) + u"): ";
}

string DescriptionErrorPrefix(const TStoredObject& object, const TStoredProperty& property) {
  return u"Error reading " + object.Name + u"." + FromUTF8(property.Name) + u" (line " + IntToStr(property.Line) +
         u"): ";
}

void TComponentClasses::Register(std::string className, TComponentFactory factory) {
  FClasses.emplace_back(std::move(className), std::move(factory));
}

bool TComponentClasses::Contains(std::string_view className) const { return Find(className) != nullptr; }

const TComponentFactory* TComponentClasses::Find(std::string_view className) const {
  for (const auto& [name, factory] : FClasses)
    if (name == className) return &factory;
  return nullptr;
}

void ApplyStoredProperties(TComponent& component, const TStoredObject& object) {
  for (const TStoredProperty& p : object.Properties) {
    try {
      component.SetPropertyText(p.Name, p.Value);
    } catch (const Exception& e) {
      throw EStoredDescriptionError(DescriptionErrorPrefix(object, p) + e.Message());
    }
  }
}

TComponent& CreateStoredComponent(const TStoredObject& object, TComponent& AOwner, const TComponentClasses& classes) {
  const TComponentFactory* factory = classes.Find(object.ClassName);
  if (!factory)
    throw EStoredDescriptionError(DescriptionErrorPrefix(object) + u"unknown class " + FromUTF8(object.ClassName));
  TComponent* component = (*factory)(&AOwner);
  try {
    component->Name = object.Name;
    ApplyStoredProperties(*component, object);
    for (const TStoredObject& child : object.Children) CreateStoredComponent(child, *component, classes);
  } catch (...) {
    delete component;  // and with it the children it already owns
    throw;
  }
  return *component;
}

}  // namespace platform
