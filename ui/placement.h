// Where the secondary windows appear.
#pragma once

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace obrin::ui {

// Centres the window on its screen (the primary one before it has been shown).
inline void centreOnScreen(QWidget* w) {
  const QScreen* s = w->screen() ? w->screen() : QGuiApplication::primaryScreen();
  if (s) w->move(s->availableGeometry().center() - w->rect().center());
}

// Centres the window the first time it is shown; later it stays where the user put it.
inline void centreOnFirstShow(QWidget* w, bool& placed) {
  if (placed) return;
  centreOnScreen(w);
  placed = true;
}

}  // namespace obrin::ui
