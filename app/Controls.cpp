#include "app/Controls.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <exception>

namespace Controls {

void DispatchEvent(const platform::TNotifyEvent& handler, platform::TObject* Sender, QWidget* window) noexcept {
  if (!handler) return;
  QString message;
  try {
    handler(Sender);
    return;
  } catch (const std::exception& e) {
    message = QString::fromUtf8(e.what());
  } catch (...) {
    message = QStringLiteral("An unknown error occurred.");
  }
  QMessageBox::critical(window, QCoreApplication::applicationName(), message);
}

TButton::TButton(QWidget* parent) : QPushButton(parent) {
  connect(this, &QAbstractButton::clicked, this, &TButton::Click);
}

void TButton::Click() { DispatchEvent(OnClick, this, window()); }

}  // namespace Controls
