// The one warning box of the program. Every refused input or action goes through warn(), so
// that tests can replace the box and read its text.
#pragma once

#include <functional>

#include <QString>

class QWidget;

namespace obrin::ui {

using WarningHandler = std::function<void(QWidget* parent, const QString& text)>;

// Shows the text in a modal warning box with one OK button (or hands it to the installed handler).
void warn(QWidget* parent, const QString& text);

// Installs h (an empty handler restores the box) and returns the previous handler.
WarningHandler setWarningHandler(WarningHandler h);

}  // namespace obrin::ui
