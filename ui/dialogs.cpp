#include "dialogs.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QInputDialog>
#include <QUrl>

#include <utility>

namespace obrin::ui {

namespace {
UserDialogs*& installed() {
  static UserDialogs* dialogs = nullptr;
  return dialogs;
}
}  // namespace

QString UserDialogs::chooseItem(QWidget* parent, const QString& label, const QStringList& items) {
  bool ok = false;
  const QString item = QInputDialog::getItem(parent, QString(), label, items, 0, false, &ok);
  return ok ? item : QString();
}

UserDialogs& userDialogs() {
  static UserDialogs real;
  return installed() ? *installed() : real;
}

UserDialogs* setUserDialogs(UserDialogs* dialogs) { return std::exchange(installed(), dialogs); }

void UserDialogs::warn(QWidget* parent, const QString& text) {
  QMessageBox::warning(parent, QStringLiteral("Warning"), text, QMessageBox::Ok);
}

QString UserDialogs::openFileName(QWidget* parent, const QString& filter) {
  return QFileDialog::getOpenFileName(parent, QString(), QString(), filter, nullptr, QFileDialog::ReadOnly);
}

// The program asks its own question about an existing file, after it has completed the name.
QString UserDialogs::saveFileName(QWidget* parent, const QString& filter) {
  return QFileDialog::getSaveFileName(parent, QString(), QString(), filter, nullptr, QFileDialog::DontConfirmOverwrite);
}

QMessageBox::StandardButton UserDialogs::askYesNoCancel(QWidget* parent, const QString& text) {
  return QMessageBox::question(parent, QString(), text, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
}

bool UserDialogs::openFile(const QString& path) { return QDesktopServices::openUrl(QUrl::fromLocalFile(path)); }

}  // namespace obrin::ui
