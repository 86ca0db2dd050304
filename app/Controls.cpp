#include "app/Controls.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <exception>

#include "platform/SysUtils.h"

namespace Controls {

void ShowError(QWidget* window, const QString& message) {
  QMessageBox::critical(window, window ? window->windowTitle() : QCoreApplication::applicationName(), message);
}

void DispatchEvent(const platform::TNotifyEvent& handler, platform::TObject* Sender, QWidget* window) noexcept {
  if (!handler) return;
  QString message;
  try {
    handler(Sender);
    return;
  } catch (const platform::Exception& e) {  // its own text keeps a path's undecodable bytes apart
    message = QString::fromStdU16String(e.Message());
  } catch (const std::exception& e) {
    message = QString::fromUtf8(e.what());
  } catch (...) {
    message = QStringLiteral("An unknown error occurred.");
  }
  ShowError(window, message);
}

TButton::TButton(QWidget* parent) : QPushButton(parent) {
  connect(this, &QAbstractButton::clicked, this, &TButton::Click);
}

void TButton::keyPressEvent(QKeyEvent* event) {
  // A push button outside a dialog takes only Space by itself.
  if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && !event->isAutoRepeat()) {
    click();
    return;
  }
  QPushButton::keyPressEvent(event);
}

void TButton::Click() { DispatchEvent(OnClick, this, window()); }

}  // namespace Controls
