// The About window: the program's name and purpose. Shown without blocking the main window
// and only hidden when closed, so that 'About' always brings back the same window.
#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class Tform2;
}

class Tform2 : public QDialog {
  Q_OBJECT

 public:
  explicit Tform2(QWidget* parent = nullptr);
  ~Tform2() override;

 public slots:
  void sortie();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  std::unique_ptr<Ui::Tform2> ui_;
};
