#include <QApplication>

#include <cstring>
#include <iostream>

#include "Unit3.h"
#include "Unit8.h"
#include "apropos.h"
#include "cli/version.hpp"
#include "main.h"
#include "pattern_window.h"

int main(int argc, char** argv) {
  // Answered before the window toolkit starts, so that it needs no display.
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::cout << obrin::cli::versionText("obrin", OBRIN_VERSION);
    return 0;
  }
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
  // A cell file given on the command line: the desktop opens .ind files this way.
  if (const QStringList args = QApplication::arguments(); args.size() > 1) form1.importCell(args.at(1));
  return app.exec();
}
