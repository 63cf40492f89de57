#include <QApplication>

#include "Unit3.h"
#include "Unit8.h"
#include "apropos.h"
#include "main.h"
#include "pattern_window.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);

  // The four windows live for the whole run; only closing the main window ends it.
  TForm1 form1;
  Tform2 form2;
  auto choices = [&form1] { return form1.mainWindowChoices(); };
  Tfexcel fexcel(form1.calculationState(), choices);
  TForm3 form3(form1.calculationState(), choices);
  PatternWindow pattern;
  for (QWidget* secondary : {static_cast<QWidget*>(&form2), static_cast<QWidget*>(&fexcel),
                             static_cast<QWidget*>(&form3), static_cast<QWidget*>(&pattern)})
    secondary->setAttribute(Qt::WA_QuitOnClose, false);
  form1.setAboutWindow(&form2);
  form1.setExcelWindow(&fexcel);
  form1.setResultsWindow(&form3);
  form1.setPatternWindow(&pattern);

  form1.show();
  return app.exec();
}
