// The "Results Output" window: asks for the decimals of the angle column, writes the results
// report and opens it with the desktop's application for text files.
#pragma once

#include <functional>
#include <memory>
#include <optional>

#include <QDialog>
#include <QString>

#include "calc/state.hpp"
#include "io/report.hpp"

namespace Ui {
class TForm3;
}

namespace obrin::ui {

// The first line of the report and the spreadsheet text: short date, long time.
QString currentDateTimeText();

// What the report and the spreadsheet are written with: the decimals typed into their window,
// the date and the main window's choices. None once the user has been warned of the decimals,
// or that there is no calculated list to write (then the previous file stays as it was).
std::optional<ReportInputs> reportInputs(QWidget* parent, const QString& decimalsText,
                                         const MainWindowChoicesProvider& choices,
                                         const CalculationState& state);

}  // namespace obrin::ui

class TForm3 : public QDialog {
  Q_OBJECT

 public:
  TForm3(obrin::CalculationState& state, obrin::MainWindowChoicesProvider choices,
         QWidget* parent = nullptr);
  ~TForm3() override;

 public slots:
  // OK: reads the decimals, writes "indic.out", opens it and hides the window.
  void go();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  std::unique_ptr<Ui::TForm3> ui;
  obrin::CalculationState& state_;
  obrin::MainWindowChoicesProvider choices_;
  bool placed_ = false;
};
