#include "warning.h"

#include <QMessageBox>
#include <utility>

namespace obrin::ui {

namespace {
WarningHandler& installedHandler() {
  static WarningHandler handler;
  return handler;
}
}  // namespace

void warn(QWidget* parent, const QString& text) {
  if (const WarningHandler& h = installedHandler()) {
    h(parent, text);
    return;
  }
  QMessageBox::warning(parent, QStringLiteral("Warning"), text, QMessageBox::Ok);
}

WarningHandler setWarningHandler(WarningHandler h) {
  return std::exchange(installedHandler(), std::move(h));
}

}  // namespace obrin::ui
