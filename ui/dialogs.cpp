#include "dialogs.h"

#include <QFileDialog>
#include <QInputDialog>
#include <utility>

namespace obrin::ui {

namespace {

QString openDialog(QWidget* parent, const QString& filter) {
  return QFileDialog::getOpenFileName(parent, QString(), QString(), filter, nullptr, QFileDialog::ReadOnly);
}

// The program asks its own question about an existing file, after it has completed the name.
QString saveDialog(QWidget* parent, const QString& filter) {
  return QFileDialog::getSaveFileName(parent, QString(), QString(), filter, nullptr,
                                      QFileDialog::DontConfirmOverwrite);
}

QMessageBox::StandardButton questionBox(QWidget* parent, const QString& text) {
  return QMessageBox::question(parent, QString(), text, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
}

QString choiceDialog(QWidget* parent, const QString& label, const QStringList& items) {
  bool ok = false;
  const QString item = QInputDialog::getItem(parent, QString(), label, items, 0, false, &ok);
  return ok ? item : QString();
}

ChoiceHandler& choiceHandler() {
  static ChoiceHandler h = choiceDialog;
  return h;
}

FileNameHandler& openHandler() {
  static FileNameHandler h = openDialog;
  return h;
}
FileNameHandler& saveHandler() {
  static FileNameHandler h = saveDialog;
  return h;
}
QuestionHandler& questionHandler() {
  static QuestionHandler h = questionBox;
  return h;
}

}  // namespace

QString openFileName(QWidget* parent, const QString& filter) { return openHandler()(parent, filter); }
QString saveFileName(QWidget* parent, const QString& filter) { return saveHandler()(parent, filter); }
QMessageBox::StandardButton askYesNoCancel(QWidget* parent, const QString& text) {
  return questionHandler()(parent, text);
}

FileNameHandler setOpenFileNameHandler(FileNameHandler h) {
  if (!h) h = openDialog;
  return std::exchange(openHandler(), std::move(h));
}
FileNameHandler setSaveFileNameHandler(FileNameHandler h) {
  if (!h) h = saveDialog;
  return std::exchange(saveHandler(), std::move(h));
}
QString chooseItem(QWidget* parent, const QString& label, const QStringList& items) {
  return choiceHandler()(parent, label, items);
}
ChoiceHandler setChoiceHandler(ChoiceHandler h) {
  if (!h) h = choiceDialog;
  return std::exchange(choiceHandler(), std::move(h));
}

QuestionHandler setQuestionHandler(QuestionHandler h) {
  if (!h) h = questionBox;
  return std::exchange(questionHandler(), std::move(h));
}

}  // namespace obrin::ui
