// The main window: inputs on the left, the reflection list and the reflection conditions on
// the right, the buttons on top. It reads its widgets, calls the library and shows the results.
#pragma once

#include <QDir>
#include <QMainWindow>
#include <QString>

#include <array>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "calc/calculation.hpp"
#include "calc/inputs.hpp"
#include "calc/state.hpp"
#include "io/report.hpp"

namespace obrin {
struct IndexingSolution;
struct StructureImport;
}
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class ResultListModel;
class Tfexcel;
class TForm3;
class Tform2;
class PatternWindow;
class QUndoStack;
class IndexDialog;
class RefineDialog;
class SpaceGroupDialog;

namespace Ui {
class TForm1;
}

class TForm1 : public QMainWindow {
  Q_OBJECT

 public:
  explicit TForm1(QWidget* parent = nullptr);
  ~TForm1() override;

  // The one calculation state of the program; the other windows read it through this.
  obrin::CalculationState& calculationState() { return state_; }
  const obrin::CalculationState& calculationState() const { return state_; }

  // The secondary windows are created by the program entry and handed over here.
  void setAboutWindow(Tform2* about) { about_ = about; }
  void setExcelWindow(Tfexcel* excel) { excel_ = excel; }
  void setResultsWindow(TForm3* results) { results_ = results; }
  // The 'Pattern' window follows each calculation and the selected row of the result list.
  void setPatternWindow(PatternWindow* pattern);

  // What the report and the spreadsheet text need of this window, at the moment they are written.
  obrin::MainWindowChoices mainWindowChoices() const;

  obrin::InputField currentField() const { return currentField_; }
  obrin::AngleMode angleMode() const;
  obrin::CalcMode calcMode() const;
  QString startDirectory() const { return startDirectory_; }

  // Runs the validation of all inputs; false when it refused them (a warning has been shown).
  bool validateInputs();
  // The monochromator angle, read when a structure gives the list its intensities; false when
  // it was refused (a warning has been shown).
  bool readMonochromator();

  // Where the position files are looked for, in order (the current directory, then the
  // program's data directory, unless set otherwise).
  void setPositionFileDirectories(std::vector<std::filesystem::path> dirs) {
    positionDirs_ = std::move(dirs);
    groupKeeper_.forget();
  }
  std::filesystem::path positionFile(obrin::CrystalSystem system) const;

  // Imports a cell file as "Import Cell" does once the file is chosen; the program imports the
  // file it is started with this way (a cell file opened from the desktop).
  void importCell(const QString& file);

  // Fills the group list from the position file of the current system and selects the current
  // group and system in their lists; nothing without a system.
  void loadSpaceGroupList();

  // "Index..." of the Pattern window: the search for a cell of the Pattern window's peaks at the
  // λ of the main window.
  void openIndexDialog();
  IndexDialog* indexDialog() const { return indexDialog_; }
  // Puts a candidate's system, cell and the first group of its lattice that only the centring
  // thins into the inputs, calculates, and opens the ranking of the system's space groups.
  void useIndexedCell(const obrin::IndexingSolution& solution);

  // "Refine cell..." of the Pattern window: calculates the lines of the inputs, then opens the
  // refinement of their cell against the Pattern window's peaks.
  void openRefineDialog();
  RefineDialog* refineDialog() const { return refineDialog_; }
  // Writes a refined cell into the cell fields (the free ones, and those tied to them) and
  // calculates; one undo gives the previous cell back.
  void useRefinedCell(const obrin::CellRefinement& refinement);
  QUndoStack* undoStack() const { return undoStack_; }
  // The refinement the shown cell came from; none once the user changes the cell.
  const std::optional<obrin::CellRefinement>& refinement() const { return refinement_; }

  // "Space groups..." of the Pattern window: ranks the extinction classes of the system for the
  // cell against the Pattern window's peaks.
  void openSpaceGroupDialog();
  SpaceGroupDialog* spaceGroupDialog() const { return spaceGroupDialog_; }
  // Selects the group in the list (the system first, when it is another) and calculates its
  // lines, as choosing them and pressing 'Calc.' would: what a chosen class asks for.
  void chooseGroup(obrin::CrystalSystem system, const QString& group);

 public slots:
  void numero_case(QLineEdit* field);  // entering a numeric field
  void verif_frappe();                 // leaving one
  void lit_systeme(int row);
  void click_groupe();
  void choix_mode(int row);
  void change_theta_2theta();
  void choix_lambda(int row);
  void calcul();
  void calcul_monocristaux();
  void calcul_bragg();
  void showResultList();
  void imprime();
  void toexcel();
  void lit_fichier_ind();
  void lit();
  void importCif();  // File > Import CIF...
  void ecrit();
  void about();
  void sortie();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void setUpLists();
  void setUpPopupMenu();
  void connectActions();
  QLineEdit* fieldEdit(obrin::InputField field) const;
  obrin::InputField fieldNumber(const QLineEdit* edit) const;
  std::array<QLineEdit*, 6> cellEdits() const;
  void clearBraggOutputs();
  void clearResults();
  std::optional<std::string> selectedGroup() const;
  std::filesystem::path currentPositionFile() const;
  std::array<std::string, 6> millerTexts() const;
  void setMillerTexts(const std::array<std::string, 6>& texts);
  void showConditions(const std::vector<std::string>& lines);
  void showOutcome(const obrin::CalcOutcome& outcome, const std::array<std::string, 6>& miller);
  void showCount();
  void forgetStructure();
  void showStructure(const obrin::StructureImport& s, const QString& file);
  obrin::UnitCell fieldCell() const;
  void dropStructureIfLeft();
  void showStructureDropped(const std::string& note);
  void clearGroupFilter();
  void useWavelength(double lambda);
  void showBraggAngle();
  void filterGroupList();
  bool acceptFieldExit();
  void pressCalc(QLineEdit* field);
  bool selectGroupRow(const QString& group);
  friend class RefinedCellCommand;
  void showCell(const std::array<QString, 6>& texts, const std::optional<obrin::CellRefinement>& refinement);
  void forgetRefinement();

  std::unique_ptr<Ui::TForm1> ui_;
  obrin::CalculationState state_;
  obrin::GroupKeeper groupKeeper_;  // the selected group, read once per selection
  std::vector<std::filesystem::path> positionDirs_;
  obrin::InputField currentField_ = obrin::InputField::None;
  QString startDirectory_;
  QMenu* popupMenu_ = nullptr;
  ResultListModel* resultModel_ = nullptr;  // owned by the window
  Tform2* about_ = nullptr;
  Tfexcel* excel_ = nullptr;
  TForm3* results_ = nullptr;
  PatternWindow* pattern_ = nullptr;
  QLabel* structureLabel_ = nullptr;  // the imported structure, in one line
  QPushButton* dropStructureButton_ = nullptr;  // shown while a structure is loaded
  std::optional<obrin::CrystalSystem> listedSystem_;  // the system whose groups the list holds
  std::optional<obrin::BraggOutcome> braggShown_;  // the reflection in the Bragg outputs
  std::optional<std::vector<std::optional<int>>> groupNumbers_;  // of the group list, once a number is asked
  obrin::CalcMode listMode_ = obrin::CalcMode::None;  // the mode the shown list was calculated in
  std::string cellTitle_;           // the first line of the last imported cell file
  bool checkingField_ = false;      // the exit check is returning the focus: not a user's move
  bool systemRowByMouse_ = false;   // the system row changed under a mouse press; its click follows
  QUndoStack* undoStack_ = nullptr;   // the refined cells written into the fields
  IndexDialog* indexDialog_ = nullptr;
  RefineDialog* refineDialog_ = nullptr;
  SpaceGroupDialog* spaceGroupDialog_ = nullptr;
  std::optional<obrin::CellRefinement> refinement_;
};
