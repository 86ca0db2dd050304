// Builds a window from its stored description: the window and its push buttons as Qt widgets,
// the non-visual components through the component layer's loader.
#pragma once

#include <QWidget>
#include <functional>
#include <string_view>

#include "platform/Classes.h"
#include "platform/StoredDescription.h"

namespace FormLoader {

// A form's published method of that name as an event handler; an empty event when there is none.
using THandlerLookup = std::function<platform::TNotifyEvent(std::string_view name)>;

// The non-visual component classes a window description may name (TAESEncryption).
platform::TComponentClasses ComponentClasses();

// Creates the non-visual objects of a window description, owned by owner, in the order written,
// and skips its widgets. Needs no window toolkit. Failures raise
// platform::EStoredDescriptionError naming the object and property.
void LoadComponents(const platform::TStoredObject& form, platform::TComponent& owner);

// Builds window from form: caption, client size, position or placement centred on the desktop;
// each TButton child as a Controls::TButton child of window with its text, position, size, tab
// order and click handler (found through handlers), created in tab order; each TProgressBar and
// TLabel (the label's text wraps) with its position and size, after the buttons and out of the
// focus chain; every other child as LoadComponents does.
// Objects are named after the description (objectName for widgets, Name for components).
// A property a class does not have, a value of the wrong kind, an unknown enumeration value or
// method name, and an unknown class raise platform::EStoredDescriptionError naming them.
void LoadForm(const platform::TStoredObject& form, QWidget& window, platform::TComponent& owner,
              const THandlerLookup& handlers);

}  // namespace FormLoader
