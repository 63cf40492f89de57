// The warning box every refused action shows, replaceable so that tests can read the texts.
#pragma once

#include <functional>

#include <QString>

class QWidget;

namespace obrin::ui {

using WarningHandler = std::function<void(QWidget* parent, const QString& text)>;

// A modal warning box with one OK button, or the installed handler.
void warn(QWidget* parent, const QString& text);

// Installs a handler (an empty one restores the box); returns the previous handler.
WarningHandler setWarningHandler(WarningHandler h);

}  // namespace obrin::ui
