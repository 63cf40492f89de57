// The "Transfert to Excel" window: writes the spreadsheet text, shows it and copies the
// user's selection of it to the clipboard.
#pragma once

#include <memory>

#include <QDialog>

#include "calc/state.hpp"
#include "io/report.hpp"

namespace Ui {
class Tfexcel;
}

class Tfexcel : public QDialog {
  Q_OBJECT

 public:
  Tfexcel(obrin::CalculationState& state, obrin::MainWindowChoicesProvider choices,
          QWidget* parent = nullptr);
  ~Tfexcel() override;

 public slots:
  void initialise();    // shows the decimals panel again
  void BitBtn3Click();  // OK of the panel: writes "excel.txt" and shows it
  void copie();         // Copy: the selected text to the clipboard
  void sortie();        // Cancel

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  std::unique_ptr<Ui::Tfexcel> ui;
  obrin::CalculationState& state_;
  obrin::MainWindowChoicesProvider choices_;
  bool placed_ = false;
};
