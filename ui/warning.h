// The warning box every refused action shows.
#pragma once

#include "dialogs.h"

namespace obrin::ui {

inline void warn(QWidget* parent, const QString& text) { userDialogs().warn(parent, text); }

}  // namespace obrin::ui
