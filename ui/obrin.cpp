#include <QApplication>

#include "apropos.h"
#include "main.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);

  // The four windows live for the whole run; closing the main window ends it.
  TForm1 form1;
  Tform2 form2;
  form1.setAboutWindow(&form2);
  // The spreadsheet transfer window (Tfexcel) and the results output window (TForm3) are
  // created here, after the About window, and handed to form1 in the same way.

  form1.show();
  return app.exec();
}
