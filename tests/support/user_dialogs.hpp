// Dialogs that answer in the user's place: each answer a test sets replaces its dialog.
#pragma once

#include <functional>

#include "dialogs.h"

namespace testing_support {

struct AnsweringDialogs : obrin::ui::UserDialogs {
  std::function<void(QWidget*, const QString&)> onWarn;
  std::function<QString(QWidget*, const QString&)> onOpenFileName, onSaveFileName;
  std::function<QMessageBox::StandardButton(QWidget*, const QString&)> onQuestion;
  std::function<bool(const QString&)> onOpenFile;
  std::function<QString(QWidget*, const QString&, const QStringList&)> onChooseItem;

  void warn(QWidget* parent, const QString& text) override {
    if (onWarn) onWarn(parent, text);
    else UserDialogs::warn(parent, text);
  }
  QString openFileName(QWidget* parent, const QString& filter) override {
    return onOpenFileName ? onOpenFileName(parent, filter) : UserDialogs::openFileName(parent, filter);
  }
  QString saveFileName(QWidget* parent, const QString& filter) override {
    return onSaveFileName ? onSaveFileName(parent, filter) : UserDialogs::saveFileName(parent, filter);
  }
  QMessageBox::StandardButton askYesNoCancel(QWidget* parent, const QString& text) override {
    return onQuestion ? onQuestion(parent, text) : UserDialogs::askYesNoCancel(parent, text);
  }
  bool openFile(const QString& path) override { return onOpenFile ? onOpenFile(path) : UserDialogs::openFile(path); }
  QString chooseItem(QWidget* parent, const QString& label, const QStringList& items) override {
    return onChooseItem ? onChooseItem(parent, label, items) : UserDialogs::chooseItem(parent, label, items);
  }
};

}  // namespace testing_support
