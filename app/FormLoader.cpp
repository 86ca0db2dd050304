#include "app/FormLoader.h"

#include <QGuiApplication>
#include <QScreen>
#include <QStyle>
#include <algorithm>
#include <span>
#include <vector>

#include "app/Controls.h"
#include "crypto/component/AESObj.h"

namespace FormLoader {

namespace {

using platform::EStoredDescriptionError;
using platform::FromUTF8;
using platform::TStoredObject;
using platform::TStoredProperty;
using platform::TStoredValueKind;

constexpr std::string_view kButtonClass = "TButton";

[[noreturn]] void Fail(const TStoredObject& o, const TStoredProperty& p, std::u16string_view why) {
  throw EStoredDescriptionError(platform::DescriptionErrorPrefix(o, p) + platform::string(why));
}

int Number(const TStoredObject& o, const TStoredProperty& p) {
  if (p.Kind != TStoredValueKind::Number) Fail(o, p, u"expects a whole number");
  return std::stoi(platform::ToUTF8String(p.Value));  // the parser checked it fits 32 bits
}

QString Text(const TStoredObject& o, const TStoredProperty& p) {
  if (p.Kind != TStoredValueKind::Text) Fail(o, p, u"expects a text in double quotes");
  return QString::fromStdU16String(p.Value);
}

// An identifier among choices; anything else raises naming the value.
std::u16string_view Choice(const TStoredObject& o, const TStoredProperty& p,
                           std::initializer_list<std::u16string_view> choices) {
  for (std::u16string_view c : choices)
    if (p.Kind == TStoredValueKind::Identifier && p.Value == c) return c;
  Fail(o, p, u"Invalid property value '" + p.Value + u"' for property " + FromUTF8(p.Name));
}

// What a visual object's properties write into while it is built.
struct TFormBuild {
  QWidget& Window;
  bool Centred = false;
};

struct TButtonBuild {
  Controls::TButton& Button;
  const THandlerLookup& Handlers;
};

using O = const TStoredObject&;
using P = const TStoredProperty&;

template <class Build>
struct TSetter {
  std::string_view Name;
  void (*Apply)(Build&, O, P);
};

template <class Build>
void ApplyVisual(Build& build, O o, std::span<const TSetter<Build>> setters) {
  for (const TStoredProperty& p : o.Properties) {
    const auto it = std::find_if(setters.begin(), setters.end(), [&](const auto& s) { return s.Name == p.Name; });
    if (it == setters.end()) Fail(o, p, u"Property " + FromUTF8(p.Name) + u" does not exist");
    it->Apply(build, o, p);
  }
}

constexpr TSetter<TFormBuild> kFormSetters[] = {
    {"caption", [](TFormBuild& b, O o, P p) { b.Window.setWindowTitle(Text(o, p)); }},
    {"clientWidth", [](TFormBuild& b, O o, P p) { b.Window.resize(Number(o, p), b.Window.height()); }},
    {"clientHeight", [](TFormBuild& b, O o, P p) { b.Window.resize(b.Window.width(), Number(o, p)); }},
    {"left", [](TFormBuild& b, O o, P p) { b.Window.move(Number(o, p), b.Window.y()); }},
    {"top", [](TFormBuild& b, O o, P p) { b.Window.move(b.Window.x(), Number(o, p)); }},
    {"placement",
     [](TFormBuild& b, O o, P p) { b.Centred = Choice(o, p, {u"designed", u"desktopCenter"}) == u"desktopCenter"; }},
};

constexpr TSetter<TButtonBuild> kButtonSetters[] = {
    {"text", [](TButtonBuild& b, O o, P p) { b.Button.setText(Text(o, p)); }},
    {"left", [](TButtonBuild& b, O o, P p) { b.Button.move(Number(o, p), b.Button.y()); }},
    {"top", [](TButtonBuild& b, O o, P p) { b.Button.move(b.Button.x(), Number(o, p)); }},
    {"width", [](TButtonBuild& b, O o, P p) { b.Button.resize(Number(o, p), b.Button.height()); }},
    {"height", [](TButtonBuild& b, O o, P p) { b.Button.resize(b.Button.width(), Number(o, p)); }},
    // Applied by creating the buttons in tab order (ButtonsInTabOrder).
    {"tabOrder", [](TButtonBuild&, O o, P p) { Number(o, p); }},
    // A push button never trims its text, so "none" is the one value there is.
    {"textTrimming", [](TButtonBuild&, O o, P p) { Choice(o, p, {u"none"}); }},
    {"onClick",
     [](TButtonBuild& b, O o, P p) {
       if (p.Kind != TStoredValueKind::Identifier) Fail(o, p, u"expects a method name");
       platform::TNotifyEvent handler = b.Handlers(platform::ToUTF8String(p.Value));
       if (!handler) Fail(o, p, u"the form has no method " + p.Value);
       b.Button.OnClick = std::move(handler);
     }},
};

void LoadButton(O o, QWidget& window, const THandlerLookup& handlers) {
  if (!o.Children.empty())
    throw EStoredDescriptionError(platform::DescriptionErrorPrefix(o) + u"a button owns no objects");
  auto* button = new Controls::TButton(&window);
  button->setObjectName(QString::fromStdU16String(o.Name));
  TButtonBuild build{*button, handlers};
  ApplyVisual<TButtonBuild>(build, o, kButtonSetters);
}

// The buttons of form in tab order: by tabOrder, ties and buttons without one in the order written.
std::vector<const TStoredObject*> ButtonsInTabOrder(O form) {
  std::vector<std::pair<int, const TStoredObject*>> buttons;
  for (const TStoredObject& child : form.Children) {
    if (child.ClassName != kButtonClass) continue;
    const TStoredProperty* order = child.FindProperty("tabOrder");
    buttons.emplace_back(order ? Number(child, *order) : static_cast<int>(buttons.size()), &child);
  }
  std::stable_sort(buttons.begin(), buttons.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<const TStoredObject*> out;
  for (const auto& b : buttons) out.push_back(b.second);
  return out;
}

void CentreOnDesktop(QWidget& window) {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return;
  window.setGeometry(
      QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, window.size(), screen->availableGeometry()));
}

}  // namespace

platform::TComponentClasses ComponentClasses() {
  platform::TComponentClasses classes;
  classes.Register<AESObj::TAESEncryption>("TAESEncryption");
  return classes;
}

void LoadComponents(const TStoredObject& form, platform::TComponent& owner) {
  const platform::TComponentClasses classes = ComponentClasses();
  for (const TStoredObject& child : form.Children)
    if (child.ClassName != kButtonClass) platform::CreateStoredComponent(child, owner, classes);
}

void LoadForm(const TStoredObject& form, QWidget& window, platform::TComponent& owner, const THandlerLookup& handlers) {
  window.setObjectName(QString::fromStdU16String(form.Name));
  TFormBuild build{window};
  ApplyVisual<TFormBuild>(build, form, kFormSetters);

  // The focus chain follows the order in which a window's children are created, so creating
  // the buttons in tab order sets it without reordering the chain afterwards.
  for (const TStoredObject* button : ButtonsInTabOrder(form)) LoadButton(*button, window, handlers);

  LoadComponents(form, owner);
  if (build.Centred) CentreOnDesktop(window);
}

}  // namespace FormLoader
