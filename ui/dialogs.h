// The file dialogs and the overwrite question of the cell files, replaceable so that tests can
// answer them.
#pragma once

#include <functional>

#include <QMessageBox>
#include <QString>
#include <QStringList>

class QWidget;

namespace obrin::ui {

// The chosen file, or an empty text when the user cancelled.
using FileNameHandler = std::function<QString(QWidget* parent, const QString& filter)>;
QString openFileName(QWidget* parent, const QString& filter);
QString saveFileName(QWidget* parent, const QString& filter);
// Each installs a handler (an empty one restores the dialog) and returns the previous one.
FileNameHandler setOpenFileNameHandler(FileNameHandler h);
FileNameHandler setSaveFileNameHandler(FileNameHandler h);

// A question answered with Yes, No or Cancel.
using QuestionHandler = std::function<QMessageBox::StandardButton(QWidget* parent, const QString& text)>;
QMessageBox::StandardButton askYesNoCancel(QWidget* parent, const QString& text);
QuestionHandler setQuestionHandler(QuestionHandler h);

// One of several items (the data blocks of a CIF), or an empty text when the user cancelled.
using ChoiceHandler = std::function<QString(QWidget* parent, const QString& label, const QStringList& items)>;
QString chooseItem(QWidget* parent, const QString& label, const QStringList& items);
ChoiceHandler setChoiceHandler(ChoiceHandler h);

}  // namespace obrin::ui
