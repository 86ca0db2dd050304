// The front end's controls: a push button whose click runs a TNotifyEvent, and the one place
// where an exception that leaves an event handler is turned into an error box.
#pragma once

#include <QLabel>
#include <QPushButton>

#include "platform/Classes.h"

namespace Controls {

// Shows message in a critical message box over window, titled with the window's caption, and
// returns when it is closed.
void ShowError(QWidget* window, const QString& message);

// Shows text in label, wrapped at spaces. When it does not fit (a folder longer than a line),
// folder (the part that follows " in ") is shortened in the middle with "…" so that the text
// fits on one line and what comes after it (a size and time) stays in view; the whole text is
// then the label's tooltip.
void ShowStatus(QLabel& label, const QString& text, const QString& folder);

// Runs handler (when assigned) with Sender. An exception that leaves it is caught here and
// nowhere else: its message is shown by ShowError over window, and control returns to the event
// loop, so the window stays usable and another click may be tried.
void DispatchEvent(const platform::TNotifyEvent& handler, platform::TObject* Sender, QWidget* window) noexcept;

// A push button that is itself the sender its click handler receives. Space and Enter (either
// key) click it when it has the focus.
class TButton : public QPushButton, public platform::TObject {
 public:
  explicit TButton(QWidget* parent);

  // Run through DispatchEvent on every click; none by default.
  platform::TNotifyEvent OnClick;

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void Click();
};

}  // namespace Controls
