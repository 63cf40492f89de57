#include "warning.h"

#include <QMessageBox>
#include <utility>

namespace obrin::ui {

namespace {

void showWarningBox(QWidget* parent, const QString& text) {
  QMessageBox::warning(parent, QString(), text, QMessageBox::Ok);
}

WarningHandler& currentHandler() {
  static WarningHandler handler = showWarningBox;
  return handler;
}

}  // namespace

void warn(QWidget* parent, const QString& text) { currentHandler()(parent, text); }

WarningHandler setWarningHandler(WarningHandler h) {
  if (!h) h = showWarningBox;
  return std::exchange(currentHandler(), std::move(h));
}

}  // namespace obrin::ui
