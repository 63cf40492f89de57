#include "apropos.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPalette>
#include <QScreen>

#include "ui_apropos.h"
#include "ui/placement.h"

Tform2::Tform2(QWidget* parent) : QDialog(parent), ui_(std::make_unique<Ui::Tform2>()) {
  ui_->setupUi(this);
  // Only the main window's closing ends the program, even while this one is open.
  setAttribute(Qt::WA_QuitOnClose, false);
  QPalette teal = palette();
  teal.setColor(QPalette::Window, QColor(0, 128, 128));
  setPalette(teal);
  setAutoFillBackground(true);

  // The lines are centred with leading blanks, which only holds in a fixed-pitch font.
  QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  ui_->Memo2->setFont(fixed);
  QPalette memo = ui_->Memo2->palette();
  memo.setColor(QPalette::Text, Qt::black);
  memo.setColor(QPalette::Base, Qt::white);
  ui_->Memo2->setPalette(memo);

  connect(ui_->BitBtn3, &QPushButton::clicked, this, &Tform2::sortie);
}

Tform2::~Tform2() = default;

void Tform2::sortie() { hide(); }

// A click on the window itself (not on its text or button) closes it.
void Tform2::mousePressEvent(QMouseEvent* event) {
  QDialog::mousePressEvent(event);
  sortie();
}

void Tform2::showEvent(QShowEvent* event) {
  obrin::ui::centreOnScreen(this);
  QDialog::showEvent(event);
}
