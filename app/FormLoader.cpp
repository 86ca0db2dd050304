#include "app/FormLoader.h"

#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
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

// A child widget of the window; the setters of its class know its type.
struct TChildBuild {
  QWidget& Widget;
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
void ApplyVisual(Build& build, O o, std::initializer_list<std::span<const TSetter<Build>>> tables) {
  for (const TStoredProperty& p : o.Properties) {
    const TSetter<Build>* setter = nullptr;
    for (const auto& table : tables)
      for (const auto& s : table)
        if (!setter && s.Name == p.Name) setter = &s;
    if (!setter) Fail(o, p, u"Property " + FromUTF8(p.Name) + u" does not exist");
    setter->Apply(build, o, p);
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

constexpr TSetter<TChildBuild> kGeometrySetters[] = {
    {"left", [](TChildBuild& b, O o, P p) { b.Widget.move(Number(o, p), b.Widget.y()); }},
    {"top", [](TChildBuild& b, O o, P p) { b.Widget.move(b.Widget.x(), Number(o, p)); }},
    {"width", [](TChildBuild& b, O o, P p) { b.Widget.resize(Number(o, p), b.Widget.height()); }},
    {"height", [](TChildBuild& b, O o, P p) { b.Widget.resize(b.Widget.width(), Number(o, p)); }},
};

Controls::TButton& Button(TChildBuild& b) { return static_cast<Controls::TButton&>(b.Widget); }

constexpr TSetter<TChildBuild> kButtonSetters[] = {
    {"text", [](TChildBuild& b, O o, P p) { Button(b).setText(Text(o, p)); }},
    // Applied by creating the buttons in tab order (ButtonsInTabOrder).
    {"tabOrder", [](TChildBuild&, O o, P p) { Number(o, p); }},
    // A push button never trims its text, so "none" is the one value there is.
    {"textTrimming", [](TChildBuild&, O o, P p) { Choice(o, p, {u"none"}); }},
    {"onClick",
     [](TChildBuild& b, O o, P p) {
       if (p.Kind != TStoredValueKind::Identifier) Fail(o, p, u"expects a method name");
       platform::TNotifyEvent handler = b.Handlers(platform::ToUTF8String(p.Value));
       if (!handler) Fail(o, p, u"the form has no method " + p.Value);
       Button(b).OnClick = std::move(handler);
     }},
};

constexpr TSetter<TChildBuild> kLabelSetters[] = {
    {"text", [](TChildBuild& b, O o, P p) { static_cast<QLabel&>(b.Widget).setText(Text(o, p)); }},
};

// The widget classes a window description may name, with the properties of each beside the
// geometry they share. None but the buttons takes the focus.
struct TWidgetClass {
  std::string_view Name;
  QWidget* (*Create)(QWidget& parent);
  std::span<const TSetter<TChildBuild>> Setters;
};

const TWidgetClass kWidgetClasses[] = {
    {kButtonClass, [](QWidget& parent) -> QWidget* { return new Controls::TButton(&parent); }, kButtonSetters},
    {"TProgressBar",
     [](QWidget& parent) -> QWidget* {
       auto* bar = new QProgressBar(&parent);
       bar->setRange(0, 0x10000);  // a fraction of the work, whatever its size in bytes
       bar->setValue(0);
       return bar;
     },
     {}},
    {"TLabel",
     [](QWidget& parent) -> QWidget* {
       auto* label = new QLabel(&parent);
       label->setWordWrap(true);
       label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
       return label;
     },
     kLabelSetters},
};

const TWidgetClass* WidgetClass(std::string_view name) {
  for (const TWidgetClass& c : kWidgetClasses)
    if (c.Name == name) return &c;
  return nullptr;
}

void LoadWidget(O o, const TWidgetClass& widgetClass, QWidget& window, const THandlerLookup& handlers) {
  if (!o.Children.empty())
    throw EStoredDescriptionError(platform::DescriptionErrorPrefix(o) + u"a control owns no objects");
  QWidget* widget = widgetClass.Create(window);
  widget->setObjectName(QString::fromStdU16String(o.Name));
  TChildBuild build{*widget, handlers};
  ApplyVisual<TChildBuild>(build, o, {kGeometrySetters, widgetClass.Setters});
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
    if (!WidgetClass(child.ClassName)) platform::CreateStoredComponent(child, owner, classes);
}

void LoadForm(const TStoredObject& form, QWidget& window, platform::TComponent& owner, const THandlerLookup& handlers) {
  window.setObjectName(QString::fromStdU16String(form.Name));
  TFormBuild build{window};
  ApplyVisual<TFormBuild>(build, form, {kFormSetters});

  // The focus chain follows the order in which a window's children are created, so creating
  // the buttons in tab order sets it without reordering the chain afterwards.
  for (const TStoredObject* button : ButtonsInTabOrder(form)) LoadWidget(*button, *WidgetClass(kButtonClass), window, handlers);
  for (const TStoredObject& child : form.Children) {
    const TWidgetClass* widgetClass = WidgetClass(child.ClassName);
    if (widgetClass && child.ClassName != kButtonClass) LoadWidget(child, *widgetClass, window, handlers);
  }

  LoadComponents(form, owner);
  if (build.Centred) CentreOnDesktop(window);
}

}  // namespace FormLoader
