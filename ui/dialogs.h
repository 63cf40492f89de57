// What the windows ask of the user and of the desktop, behind one interface that tests replace
// to answer in the user's place.
#pragma once

#include <QMessageBox>
#include <QString>
#include <QStringList>

class QWidget;

namespace obrin::ui {

// The real dialogs; a test derives from it and overrides what it answers.
class UserDialogs {
 public:
  virtual ~UserDialogs() = default;
  // A modal warning box with one OK button.
  virtual void warn(QWidget* parent, const QString& text);
  // The chosen file, or an empty text when the user cancelled.
  virtual QString openFileName(QWidget* parent, const QString& filter);
  virtual QString saveFileName(QWidget* parent, const QString& filter);
  // A question answered with Yes, No or Cancel.
  virtual QMessageBox::StandardButton askYesNoCancel(QWidget* parent, const QString& text);
  // Opens a written file for the user to read and print; false when nothing could open it.
  virtual bool openFile(const QString& path);
  // One of several items (the data blocks of a CIF), or an empty text when the user cancelled.
  virtual QString chooseItem(QWidget* parent, const QString& label, const QStringList& items);
};

// The dialogs the windows use: the installed ones, else the real ones. Installing null
// restores the real ones; the previous ones are returned.
UserDialogs& userDialogs();
UserDialogs* setUserDialogs(UserDialogs* dialogs);

inline QString openFileName(QWidget* parent, const QString& filter) { return userDialogs().openFileName(parent, filter); }
inline QString saveFileName(QWidget* parent, const QString& filter) { return userDialogs().saveFileName(parent, filter); }
inline QMessageBox::StandardButton askYesNoCancel(QWidget* parent, const QString& text) {
  return userDialogs().askYesNoCancel(parent, text);
}
inline bool openFile(const QString& path) { return userDialogs().openFile(path); }
inline QString chooseItem(QWidget* parent, const QString& label, const QStringList& items) {
  return userDialogs().chooseItem(parent, label, items);
}

}  // namespace obrin::ui
