#include "app/Controls.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <algorithm>
#include <exception>

#include "platform/SysUtils.h"

namespace Controls {

void ShowError(QWidget* window, const QString& message) {
  QMessageBox::critical(window, window ? window->windowTitle() : QCoreApplication::applicationName(), message);
}

void ShowStatus(QLabel& label, const QString& text, const QString& folder) {
  const QFontMetrics metrics = label.fontMetrics();
  const QRect room = label.contentsRect().marginsRemoved(QMargins(label.margin(), label.margin(), label.margin(), label.margin()));
  const QRect wrapped = metrics.boundingRect(QRect(0, 0, room.width(), 1 << 20), Qt::TextWordWrap, text);
  QString shown = text;
  const QString marker = QStringLiteral(" in ") + folder;
  const qsizetype at = folder.isEmpty() ? -1 : text.indexOf(marker);
  // A folder too long for a line of its own would push the rest out of view: it is shortened so
  // that the whole text fits on one line.
  if (at >= 0 && (wrapped.width() > room.width() || wrapped.height() > room.height())) {
    const QString before = text.left(at + marker.size() - folder.size());
    const QString after = text.mid(at + marker.size());
    const int left = std::max(0, room.width() - metrics.horizontalAdvance(before + after));
    shown = before + metrics.elidedText(folder, Qt::ElideMiddle, left) + after;
  }
  label.setText(shown);
  label.setToolTip(shown == text ? QString() : text);
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
