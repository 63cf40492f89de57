#include "main.h"

#include <QApplication>
#include <QFileInfo>
#include <QFocusEvent>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QUndoStack>

#include <algorithm>
#include <cmath>
#include <utility>

#include "Unit3.h"
#include "Unit8.h"
#include "apropos.h"
#include "calc/calculation.hpp"
#include "calc/display.hpp"
#include "calc/intensity.hpp"
#include "calc/wavelengths.hpp"
#include "dialogs.h"
#include "pattern_window.h"
#include "index_dialog.h"
#include "refine_dialog.h"
#include "space_group_dialog.h"
#include "io/cellfile.hpp"
#include "io/structure_import.hpp"
#include "symmetry/group_names.hpp"
#include "symmetry/pot.hpp"
#include "core/numfield.hpp"
#include "core/shortest.hpp"
#include "core/textformat.hpp"
#include "result_list_model.h"
#include "ui_main.h"
#include "warning.h"

using obrin::AngleMode;
using obrin::CalcMode;
using obrin::InputField;

// One use of a refined cell: the cell fields' texts before and after, and the refinement each
// stands for; undone, the previous cell is calculated again.
class RefinedCellCommand : public QUndoCommand {
 public:
  RefinedCellCommand(TForm1* window, std::array<QString, 6> before, std::optional<obrin::CellRefinement> beforeRefinement,
                     std::array<QString, 6> after, obrin::CellRefinement refinement)
      : QUndoCommand("Use refined cell"), window_(window), before_(std::move(before)),
        beforeRefinement_(std::move(beforeRefinement)), after_(std::move(after)), refinement_(std::move(refinement)) {}
  void redo() override { window_->showCell(after_, refinement_); }
  void undo() override { window_->showCell(before_, beforeRefinement_); }

 private:
  TForm1* window_;
  std::array<QString, 6> before_;
  std::optional<obrin::CellRefinement> beforeRefinement_;
  std::array<QString, 6> after_;
  obrin::CellRefinement refinement_;
};

namespace {

const QColor kEditableColour(Qt::white);
const QColor kLockedColour(192, 192, 192);  // silver
constexpr int kGroupListRows = 15;

QString qs(const std::string& s) { return QString::fromStdString(s); }

// A refined parameter's text: decimals to one digit beyond its s.u., within bounds.
QString refinedText(double value, double su, bool length) {
  const int least = length ? 5 : 3, most = length ? 8 : 6;
  const int decimals = su > 0 && std::isfinite(su) ? std::clamp(1 - static_cast<int>(std::floor(std::log10(su))), least, most)
                                                   : least + 1;
  return QString::number(value, 'f', decimals);
}

void setFieldLocked(QLineEdit* edit, bool locked) {
  edit->setReadOnly(locked);
  edit->setFocusPolicy(locked ? Qt::ClickFocus : Qt::StrongFocus);  // Tab passes locked fields by
  QPalette p = edit->palette();
  p.setColor(QPalette::Base, locked ? kLockedColour : kEditableColour);
  edit->setPalette(p);
}

}  // namespace

TForm1::TForm1(QWidget* parent) : QMainWindow(parent), ui_(std::make_unique<Ui::TForm1>()) {
  ui_->setupUi(this);

  // Result lines are aligned in columns by blanks.
  const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  ui_->ListBox1->setFont(fixed);
  // Rows of one height let the view place a million lines without measuring each one.
  resultModel_ = new ResultListModel(this);
  ui_->ListBox1->setModel(resultModel_);
  ui_->ListBox1->setUniformItemSizes(true);
  ui_->Label10->setFont(fixed);
  // The heading's letters stand over the last digit of their columns.
  ui_->Label10->setIndent(ui_->ListBox1->frameWidth() + 2 + 2 * QFontMetrics(fixed).horizontalAdvance(' '));

  undoStack_ = new QUndoStack(this);
  setUpLists();
  setUpPopupMenu();
  connectActions();

  positionDirs_ = obrin::defaultDataDirectories(obrin::programDirectory());

  // Start-up state.
  state_.list.clear();
  ui_->Label10->setText(qs(obrin::resultHeading(AngleMode::Theta)));
  state_.thetaMin = obrin::kDefaultThetaMin;
  state_.thetaMax = obrin::kDefaultThetaMax;
  ui_->Label28->setText(qs(obrin::angleLabels(angleMode()).angle));
  ui_->Label29->hide();
  ui_->Edit1->hide();
  choix_mode(0);
}

// The fixed lists: the wavelengths, heights that show every row, the mode list's check boxes.
void TForm1::setUpLists() {
  for (const auto& line : obrin::kXrayLines) ui_->ListBox5->addItem(QString::fromUtf8(line.name.data(), line.name.size()));

  // Short fixed lists show all their rows and nothing more.
  for (QListWidget* list : {ui_->ListBox2, ui_->CheckListBox1})
    list->setFixedHeight(list->sizeHintForRow(0) * list->count() + 2 * list->frameWidth() + 2);
  // The group list shows enough rows to choose among a system's settings without scrolling much.
  ui_->ListBox3->addItem(QStringLiteral("P 1"));
  ui_->ListBox3->setMinimumHeight(ui_->ListBox3->sizeHintForRow(0) * kGroupListRows + 2 * ui_->ListBox3->frameWidth());
  ui_->ListBox3->clear();
  for (QWidget* box : {static_cast<QWidget*>(ui_->GroupBoxSystem), static_cast<QWidget*>(ui_->GroupBoxGroup),
                       static_cast<QWidget*>(ui_->GroupBoxCell), static_cast<QWidget*>(ui_->RadioGroup1),
                       static_cast<QWidget*>(ui_->GroupBoxMode)})
    box->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);
  ui_->ListBox5->setMinimumHeight(80);

  for (int row = 0; row < ui_->CheckListBox1->count(); ++row) {
    QListWidgetItem* item = ui_->CheckListBox1->item(row);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(Qt::Unchecked);
  }
  // The mode list shows its rows whole at the window's smallest.
  ui_->CheckListBox1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  ui_->CheckListBox1->setMinimumWidth(ui_->CheckListBox1->sizeHintForColumn(0) + 2 * ui_->CheckListBox1->frameWidth());
}

// The window's one File menu, which the 'File' button pops up: the cell files and the CIF.
void TForm1::setUpPopupMenu() {
  popupMenu_ = new QMenu("&File", this);
  popupMenu_->setObjectName("PopupMenu1");
  QAction* import = popupMenu_->addAction("&Import Cell");
  import->setObjectName("Import1");
  QAction* importCifAction = popupMenu_->addAction("Import CIF...");
  importCifAction->setObjectName("ImportCif");
  popupMenu_->addSeparator();
  QAction* exportCell = popupMenu_->addAction("&Export cell");
  exportCell->setObjectName("Export1");
  connect(import, &QAction::triggered, this, &TForm1::lit);
  connect(importCifAction, &QAction::triggered, this, &TForm1::importCif);
  connect(exportCell, &QAction::triggered, this, &TForm1::ecrit);
  // Undo of a refined cell: the shortcut here, the button in the refinement dialog.
  QAction* undo = undoStack_->createUndoAction(this, "&Undo");
  undo->setObjectName("UndoRefinedCell");
  undo->setShortcut(QKeySequence::Undo);
  addAction(undo);

  structureLabel_ = new QLabel(this);
  structureLabel_->setObjectName("LabelStructure");
  // The import's notes can be long: they wrap rather than widen the window.
  structureLabel_->setWordWrap(true);
  statusBar()->addPermanentWidget(structureLabel_);
  dropStructureButton_ = new QPushButton("Drop structure", this);
  dropStructureButton_->setObjectName("DropStructure");
  dropStructureButton_->setToolTip("Forget the imported atoms: the lines lose their intensities");
  dropStructureButton_->hide();
  statusBar()->addPermanentWidget(dropStructureButton_);
  connect(dropStructureButton_, &QPushButton::clicked, this, [this] {
    forgetStructure();
    clearResults();
  });
}

void TForm1::connectActions() {
  for (QLineEdit* edit : {ui_->Edit2, ui_->Edit3, ui_->Edit4, ui_->Edit5, ui_->Edit6, ui_->edit7, ui_->Edit8,
                          ui_->Edit9, ui_->Edit10, ui_->ed12, ui_->ed13, ui_->ed14, ui_->ed15, ui_->ed16,
                          ui_->ed17, ui_->Edit21, ui_->Edit22})
    edit->installEventFilter(this);
  ui_->Edit20->installEventFilter(this);  // leaving the l field computes the reflection
  for (QLineEdit* edit : {ui_->Edit2, ui_->Edit3, ui_->Edit4, ui_->Edit5, ui_->Edit6, ui_->edit7, ui_->Edit8,
                          ui_->Edit9, ui_->Edit10, ui_->ed12, ui_->ed13, ui_->ed14, ui_->ed15, ui_->ed16,
                          ui_->ed17, ui_->edit18, ui_->edit19, ui_->Edit20, ui_->EditMonochromator})
    connect(edit, &QLineEdit::returnPressed, this, [this, edit] { pressCalc(edit); });
  // A cell the user types is no longer the refined one.
  for (QLineEdit* edit : cellEdits()) connect(edit, &QLineEdit::textEdited, this, &TForm1::forgetRefinement);
  // A list with intensities no longer holds for another monochromator.
  connect(ui_->EditMonochromator, &QLineEdit::textEdited, this, [this] {
    if (state_.structure) clearResults();
  });

  // A choice is a row becoming selected, by the mouse or the keys, or a click on the row that
  // is already selected. Taking the focus only makes a row current: that chooses nothing.
  connect(ui_->ListBox2, &QListWidget::itemSelectionChanged, this, [this] {
    if (ui_->ListBox2->selectedItems().isEmpty()) return;
    systemRowByMouse_ = QGuiApplication::mouseButtons() != Qt::NoButton;
    lit_systeme(ui_->ListBox2->currentRow());
  });
  connect(ui_->ListBox2, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
    if (std::exchange(systemRowByMouse_, false)) return;
    lit_systeme(ui_->ListBox2->row(item));
  });
  connect(ui_->ListBox3, &QListWidget::itemSelectionChanged, this, &TForm1::click_groupe);
  connect(ui_->ListBox3, &QListWidget::itemClicked, this, &TForm1::click_groupe);
  connect(ui_->EditGroupFilter, &QLineEdit::textChanged, this, &TForm1::filterGroupList);
  connect(ui_->CheckListBox1, &QListWidget::itemChanged, this,
          [this](QListWidgetItem* item) { choix_mode(ui_->CheckListBox1->row(item)); });
  connect(ui_->CheckListBox1, &QListWidget::itemClicked, this,
          [this](QListWidgetItem* item) { choix_mode(ui_->CheckListBox1->row(item)); });
  connect(ui_->RadioButtonTwoTheta, &QRadioButton::toggled, this, &TForm1::change_theta_2theta);
  connect(ui_->ListBox5, &QListWidget::itemSelectionChanged, this, [this] {
    if (!ui_->ListBox5->selectedItems().isEmpty()) choix_lambda(ui_->ListBox5->currentRow());
  });
  connect(ui_->ListBox5, &QListWidget::itemClicked, this,
          [this](QListWidgetItem* item) { choix_lambda(ui_->ListBox5->row(item)); });
  connect(ui_->Button1, &QPushButton::clicked, this, &TForm1::calcul);
  connect(ui_->Button2, &QPushButton::clicked, this, &TForm1::calcul_monocristaux);
  connect(ui_->Button3, &QPushButton::clicked, this, &TForm1::calcul_bragg);
  connect(ui_->BitBtn1, &QPushButton::clicked, this, &TForm1::lit_fichier_ind);
  connect(ui_->BitBtn2, &QPushButton::clicked, this, &TForm1::imprime);
  connect(ui_->BitBtn5, &QPushButton::clicked, this, &TForm1::toexcel);
  connect(ui_->BitBtn6, &QPushButton::clicked, this, &TForm1::about);
  connect(ui_->BitBtn3, &QPushButton::clicked, this, &TForm1::sortie);
}

TForm1::~TForm1() = default;

AngleMode TForm1::angleMode() const {
  return ui_->RadioButtonTwoTheta->isChecked() ? AngleMode::TwoTheta : AngleMode::Theta;
}

CalcMode TForm1::calcMode() const {
  const int row = ui_->CheckListBox1->currentRow();
  return row >= 0 && row <= 2 ? static_cast<CalcMode>(row) : CalcMode::None;
}

QLineEdit* TForm1::fieldEdit(InputField field) const {
  switch (field) {
    case InputField::A: return ui_->Edit2;
    case InputField::B: return ui_->Edit3;
    case InputField::C: return ui_->Edit4;
    case InputField::Alpha: return ui_->Edit5;
    case InputField::Beta: return ui_->Edit6;
    case InputField::Gamma: return ui_->edit7;
    case InputField::Lambda: return ui_->Edit8;
    case InputField::Theta1: return ui_->Edit9;
    case InputField::Theta2: return ui_->Edit10;
    case InputField::None: break;
  }
  return nullptr;
}

InputField TForm1::fieldNumber(const QLineEdit* edit) const {
  for (int n = 1; n <= obrin::kInputFieldCount; ++n)
    if (fieldEdit(static_cast<InputField>(n)) == edit) return static_cast<InputField>(n);
  return InputField::None;
}

std::array<QLineEdit*, 6> TForm1::cellEdits() const {
  return {ui_->Edit2, ui_->Edit3, ui_->Edit4, ui_->Edit5, ui_->Edit6, ui_->edit7};
}

void TForm1::clearBraggOutputs() {
  braggShown_.reset();
  ui_->Edit21->clear();
  ui_->Edit22->clear();
  ui_->Label29->hide();
}

void TForm1::clearResults() {
  state_.list.clear();
  resultModel_->clear();
  ui_->Edit11->clear();
  ui_->ListBox4->clear();
  ui_->Edit1->hide();
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut) {
    // Only moves between the window's own fields count: a warning box or another window taking
    // the focus away, and the window getting it back, are neither entering nor leaving.
    const auto reason = static_cast<QFocusEvent*>(event)->reason();
    if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason && !checkingField_) {
      if (watched == ui_->Edit20) {
        if (event->type() == QEvent::FocusOut) calcul_bragg();
      } else if (auto* edit = qobject_cast<QLineEdit*>(watched)) {
        if (event->type() == QEvent::FocusIn) numero_case(edit);
        else verif_frappe();
      }
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

void TForm1::changeEvent(QEvent* event) {
  if (event->type() == QEvent::ActivationChange && isActiveWindow()) {
    ui_->Edit1->hide();
    startDirectory_ = QDir::currentPath();
  }
  QMainWindow::changeEvent(event);
}

void TForm1::numero_case(QLineEdit* field) {
  clearBraggOutputs();
  const InputField number = fieldNumber(field);
  if (number != InputField::None) {
    currentField_ = number;
    if (number == InputField::Lambda) {
      ui_->Edit8->clear();
      const QSignalBlocker block(ui_->ListBox5);
      ui_->ListBox5->setCurrentRow(-1);
      ui_->ListBox5->clearSelection();
    }
  }
  clearResults();
}

void TForm1::verif_frappe() {
  if (checkingField_) return;
  acceptFieldExit();
}

// False when the field's text is refused; the warning has then been shown.
bool TForm1::acceptFieldExit() {
  QLineEdit* edit = fieldEdit(currentField_);
  const std::string text = edit ? edit->text().toStdString() : std::string();
  const obrin::FieldExit check = obrin::checkFieldExit(currentField_, text, state_);
  if (!check.accepted) {
    // The field gets the focus back before the box: the user corrects it where it is.
    checkingField_ = true;
    edit->setFocus(Qt::OtherFocusReason);
    obrin::ui::warn(this, "type error!");
    checkingField_ = false;
    return false;
  }
  for (InputField tied : check.copies) fieldEdit(tied)->setText(qs(check.text));
  if (currentField_ >= InputField::A && currentField_ <= InputField::Gamma) dropStructureIfLeft();
  return true;
}

// Enter presses the Calc. of the field's panel; the cell and wavelength fields, outside the
// panels, press the one of the panel shown.
void TForm1::pressCalc(QLineEdit* field) {
  QPushButton* calc = nullptr;
  if (ui_->Panel6->isAncestorOf(field)) {
    ui_->Button3->click();  // the indices are read by the calculation itself
    return;
  }
  if (ui_->Panel4->isAncestorOf(field)) calc = ui_->Button1;
  else if (ui_->Panel5->isAncestorOf(field)) calc = ui_->Button2;
  else calc = calcMode() == CalcMode::SingleCrystal ? ui_->Button2
              : calcMode() == CalcMode::Bragg       ? ui_->Button3
                                                    : ui_->Button1;
  // Enter stands for leaving the field: its check and its copies to the tied fields come first.
  if (acceptFieldExit()) calc->click();
}

bool TForm1::validateInputs() {
  obrin::InputTexts texts;
  const auto cell = cellEdits();
  for (int i = 0; i < 6; ++i) texts.cell[i] = cell[i]->text().toStdString();
  texts.lambda = ui_->Edit8->text().toStdString();
  texts.theta1 = ui_->Edit9->text().toStdString();
  texts.theta2 = ui_->Edit10->text().toStdString();
  const auto error = obrin::validateInputs(texts, angleMode(), state_);
  if (!error) return true;
  if (error->field == InputField::A) ui_->Edit2->setFocus(Qt::OtherFocusReason);
  obrin::ui::warn(this, qs(error->message));
  return false;
}

void TForm1::lit_systeme(int row) {
  forgetRefinement();
  state_.list.clear();
  clearBraggOutputs();
  resultModel_->clear();
  ui_->ListBox4->clear();
  ui_->Edit11->clear();
  ui_->Edit1->hide();

  const auto cell = cellEdits();
  for (QLineEdit* edit : cell) setFieldLocked(edit, false);

  if (const auto system = obrin::systemFromIndex(row)) {
    state_.system = system;
    const auto layout = obrin::cellFieldLayout(*system, state_.cell, ui_->Edit2->text().toStdString());
    for (int i = 0; i < 6; ++i) {
      setFieldLocked(cell[i], layout.locked[i]);
      if (layout.text[i]) cell[i]->setText(qs(*layout.text[i]));
    }
  }
  loadSpaceGroupList();
  dropStructureIfLeft();
}

std::filesystem::path TForm1::positionFile(obrin::CrystalSystem system) const {
  // Without a file the readers are given the bare name, so that their warning names what is missing.
  return obrin::findPositionFile(system, positionDirs_).value_or(obrin::positionFileName(system));
}

void TForm1::loadSpaceGroupList() {
  if (!state_.system) return;
  const obrin::CrystalSystem system = *state_.system;
  if (!state_.groupName.empty()) state_.lattice = state_.groupName.front();

  groupKeeper_.forget();
  const QSignalBlocker blockGroups(ui_->ListBox3);
  ui_->ListBox3->setVisible(true);
  ui_->ListBox3->clear();
  const obrin::GroupList groups = obrin::loadSpaceGroupList(positionFile(system));
  for (const auto& name : groups.names) ui_->ListBox3->addItem(qs(name));
  if (const auto index = obrin::findGroupIndex(groups.names, state_.groupName))
    ui_->ListBox3->setCurrentRow(static_cast<int>(*index));
  groupNumbers_.reset();
  // A filter typed for another system's groups would hide this one's, the selected one too.
  if (listedSystem_ != system) clearGroupFilter();
  listedSystem_ = system;
  filterGroupList();

  const QSignalBlocker blockSystems(ui_->ListBox2);
  ui_->ListBox2->setCurrentRow(obrin::systemIndex(system));
  if (!groups.error.empty()) obrin::ui::warn(this, qs(groups.error));
}

void TForm1::click_groupe() {
  groupKeeper_.forget();
  clearResults();
  clearBraggOutputs();
  dropStructureIfLeft();
  // The conditions show at once; a damaged entry is reported by the calculation that needs it.
  const auto group = selectedGroup();
  if (refinement_ && (!group || obrin::trimmed(*group) != state_.groupName)) forgetRefinement();
  if (!group || !state_.system) return;
  const auto& selection = groupKeeper_.select(currentPositionFile(), *state_.system, obrin::trimmed(*group));
  if (selection.conditionsText) showConditions(*selection.conditionsText);
}

void TForm1::clearGroupFilter() {
  const QSignalBlocker block(ui_->EditGroupFilter);
  ui_->EditGroupFilter->clear();
}

// Hides the rows the filter field does not name and brings the selected row, or else the
// first one shown, into view.
void TForm1::filterGroupList() {
  QListWidget* list = ui_->ListBox3;
  const std::string word = ui_->EditGroupFilter->text().toStdString();
  const bool byNumber = obrin::groupNumberWord(word).has_value();
  if (byNumber && !groupNumbers_) {
    std::vector<std::string> names;
    for (int row = 0; row < list->count(); ++row) names.push_back(list->item(row)->text().toStdString());
    groupNumbers_ = obrin::readGroupNumbers(currentPositionFile(), names);
  }
  QListWidgetItem* shown = nullptr;
  for (int row = 0; row < list->count(); ++row) {
    QListWidgetItem* item = list->item(row);
    const auto number = byNumber && row < static_cast<int>(groupNumbers_->size()) ? (*groupNumbers_)[row] : std::nullopt;
    const bool keep = obrin::groupFilterKeeps(item->text().toStdString(), number, word);
    list->setRowHidden(row, !keep);
    if (keep && (!shown || item->isSelected())) shown = item;
  }
  if (shown) list->scrollToItem(shown, QAbstractItemView::PositionAtTop);
  else list->scrollToTop();
  // The longest name of the system stays whole, beside the scroll bar.
  list->setMinimumWidth(list->sizeHintForColumn(0) + 2 * list->frameWidth() +
                        list->verticalScrollBar()->sizeHint().width());
}

void TForm1::choix_mode(int row) {
  if (row < 0 || row > 2) return;
  clearBraggOutputs();
  {
    const QSignalBlocker block(ui_->CheckListBox1);
    for (int i = 0; i < ui_->CheckListBox1->count(); ++i)
      ui_->CheckListBox1->item(i)->setCheckState(i == row ? Qt::Checked : Qt::Unchecked);
    ui_->CheckListBox1->setCurrentRow(row);
  }
  // Hide before showing: two panels shown at once would stretch the window for good.
  QWidget* panels[] = {ui_->Panel4, ui_->Panel5, ui_->Panel6};
  for (int i = 0; i < 3; ++i)
    if (i != row) panels[i]->hide();
  panels[row]->show();
}

void TForm1::change_theta_2theta() {
  const AngleMode mode = angleMode();
  const obrin::AngleLabels labels = obrin::angleLabels(mode);
  ui_->Label10->setText(qs(obrin::resultHeading(mode, state_.structure != nullptr)));
  ui_->Label7->setText(qs(labels.lower));
  ui_->Label2->setText(qs(labels.upper));
  ui_->Edit9->setText(qs(obrin::limitText(state_.thetaMin, mode)));
  ui_->Edit10->setText(qs(obrin::limitText(state_.thetaMax, mode)));
  ui_->Label28->setText(qs(labels.angle));
  showBraggAngle();
  showResultList();
}

void TForm1::choix_lambda(int row) {
  if (row < 0 || row >= static_cast<int>(obrin::kXrayLines.size())) return;
  state_.list.clear();
  resultModel_->clear();
  ui_->Edit11->clear();
  state_.lambda = obrin::kXrayLines[row].lambda;
  ui_->Edit8->setText(qs(obrin::fixedText(state_.lambda, 8, 5)));
}

// ---- Calculations -------------------------------------------------------------------------

std::optional<std::string> TForm1::selectedGroup() const {
  const auto selected = ui_->ListBox3->selectedItems();
  if (selected.isEmpty()) return std::nullopt;
  return selected.front()->text().toStdString();
}

std::filesystem::path TForm1::currentPositionFile() const {
  return state_.system ? positionFile(*state_.system) : std::filesystem::path();
}

std::array<std::string, 6> TForm1::millerTexts() const {
  return {ui_->ed12->text().toStdString(), ui_->ed13->text().toStdString(), ui_->ed14->text().toStdString(),
          ui_->ed15->text().toStdString(), ui_->ed16->text().toStdString(), ui_->ed17->text().toStdString()};
}

void TForm1::setMillerTexts(const std::array<std::string, 6>& texts) {
  QLineEdit* fields[] = {ui_->ed12, ui_->ed13, ui_->ed14, ui_->ed15, ui_->ed16, ui_->ed17};
  for (int i = 0; i < 6; ++i) fields[i]->setText(qs(texts[i]));
}

void TForm1::showConditions(const std::vector<std::string>& lines) {
  ui_->ListBox4->clear();
  for (const auto& line : lines) ui_->ListBox4->addItem(qs(line));
}

void TForm1::showCount() {
  ui_->Edit11->setVisible(true);
  ui_->Edit11->setText(qs(obrin::countText(state_.list.size())));
}

obrin::MainWindowChoices TForm1::mainWindowChoices() const {
  obrin::MainWindowChoices c;
  // A list is written with the mode it was calculated in: its other inputs cannot have changed
  // since, as entering a field or choosing in a list empties it.
  c.mode = state_.list.empty() ? calcMode() : listMode_;
  c.angle = angleMode();
  c.millerLimitTexts = millerTexts();
  c.refinement = refinement_;
  return c;
}

void TForm1::showResultList() {
  ui_->Edit11->clear();
  resultModel_->setLines(state_.list, angleMode(), state_.structure != nullptr);
}

bool TForm1::readMonochromator() {
  if (!state_.structure) return true;
  const auto angle = obrin::readMonochromatorAngle(ui_->EditMonochromator->text().toStdString());
  if (!angle) {
    ui_->EditMonochromator->setFocus(Qt::OtherFocusReason);
    obrin::ui::warn(this, qs(angle.error()));
    return false;
  }
  state_.monochromatorTwoTheta = *angle;
  return true;
}

void TForm1::calcul() {
  if (!validateInputs() || !readMonochromator()) return;
  auto miller = millerTexts();
  const auto outcome = obrin::calcul(state_, selectedGroup(), currentPositionFile(), calcMode(), miller, &groupKeeper_);
  if (outcome.ok()) listMode_ = calcMode();
  showOutcome(outcome, miller);
}

void TForm1::calcul_monocristaux() {
  if (!validateInputs() || !readMonochromator()) return;
  auto miller = millerTexts();
  const auto outcome = obrin::calcul_monocristaux(state_, selectedGroup(), currentPositionFile(), miller, &groupKeeper_);
  if (outcome.ok()) listMode_ = CalcMode::SingleCrystal;
  showOutcome(outcome, miller);
}

// A refused calculation leaves the list as it was, so only its warning is new on screen.
void TForm1::showOutcome(const obrin::CalcOutcome& outcome, const std::array<std::string, 6>& miller) {
  setMillerTexts(miller);
  if (!outcome.structureNote.empty()) showStructureDropped(outcome.structureNote);
  if (outcome.conditionsRead) showConditions(outcome.conditionDisplay);
  if (!outcome.ok()) {
    obrin::ui::warn(this, qs(outcome.warning));
    return;
  }
  showResultList();
  showCount();
  if (pattern_) pattern_->showLines(state_.list, state_.lambda);
}

void TForm1::calcul_bragg() {
  std::array<std::string, 3> hkl = {ui_->edit18->text().toStdString(), ui_->edit19->text().toStdString(),
                                    ui_->Edit20->text().toStdString()};
  const obrin::BraggIndices indices = obrin::readBraggIndices(hkl);
  ui_->edit18->setText(qs(hkl[0]));
  ui_->edit19->setText(qs(hkl[1]));
  ui_->Edit20->setText(qs(hkl[2]));
  if (indices.status == obrin::BraggIndices::Status::Nothing) return;
  // A refused reflection empties the outputs: they would otherwise show the previous one's.
  if (indices.status == obrin::BraggIndices::Status::Bad) {
    clearBraggOutputs();
    obrin::ui::warn(this, qs(indices.warning));
    return;
  }
  if (!validateInputs()) {
    clearBraggOutputs();
    return;
  }
  const auto outcome = obrin::calcul_bragg(state_, selectedGroup(), currentPositionFile(), angleMode(),
                                           indices.h, indices.k, indices.l, &groupKeeper_);
  if (!outcome.structureNote.empty()) showStructureDropped(outcome.structureNote);
  if (outcome.conditionsRead) showConditions(outcome.conditionDisplay);
  if (!outcome.warning.empty()) {
    clearBraggOutputs();
    obrin::ui::warn(this, qs(outcome.warning));
    return;
  }
  if (!outcome.shown) return;
  braggShown_ = outcome;
  ui_->Edit21->setText(qs(outcome.dText));
  QPalette p = ui_->Edit22->palette();
  p.setColor(QPalette::Text, outcome.forbidden ? QColor(128, 128, 128) : QColor(Qt::black));
  ui_->Edit22->setPalette(p);
  ui_->Label29->setVisible(outcome.forbidden);
  showBraggAngle();
}

// The angle field follows the θ/2θ choice, like its label.
void TForm1::showBraggAngle() {
  if (!braggShown_) return;
  const double angle = angleMode() == AngleMode::TwoTheta ? 2 * braggShown_->theta : braggShown_->theta;
  ui_->Edit22->setText(qs(obrin::braggAngleText(angle, braggShown_->forbidden)));
}

// ---- Report, spreadsheet and cell files ----------------------------------------------------

void TForm1::imprime() {
  if (state_.list.empty() || !results_) return;
  results_->show();
  results_->raise();
  results_->activateWindow();
}

void TForm1::toexcel() {
  if (!excel_) return;
  excel_->show();
  excel_->raise();
  excel_->activateWindow();
}

void TForm1::lit() {
  clearResults();
  const QString file = obrin::ui::openFileName(this, "Fichier de données (*.ind)");
  if (file.isEmpty()) return;
  importCell(file);
}

void TForm1::importCell(const QString& file) {
  const obrin::CellImport import = obrin::importCellFile(file.toStdString(), positionDirs_, angleMode());
  if (!import.data) {
    obrin::ui::warn(this, qs(import.error));
    return;
  }
  const obrin::CellFileData& data = *import.data;
  forgetRefinement();
  forgetStructure();
  cellTitle_ = data.title;
  state_.groupName = data.symbol;
  state_.cell = data.cell;
  state_.thetaMin = data.thetaMin;
  state_.thetaMax = data.thetaMax;
  state_.lambda = data.lambda;
  if (!state_.groupName.empty()) state_.lattice = state_.groupName.front();
  if (import.system) {
    state_.system = import.system;
    groupKeeper_.forget();
    const QSignalBlocker blockGroups(ui_->ListBox3);
    ui_->ListBox3->setVisible(true);
    ui_->ListBox3->clear();
    for (const auto& name : import.groupNames) ui_->ListBox3->addItem(qs(name));
    if (import.selectedGroup) ui_->ListBox3->setCurrentRow(static_cast<int>(*import.selectedGroup));
    groupNumbers_.reset();
    clearGroupFilter();  // the imported group must show in the list
    listedSystem_ = import.system;
    filterGroupList();
  }

  const obrin::CellFieldTexts& fields = import.fields;
  const auto cell = cellEdits();
  for (int i = 0; i < 6; ++i) {
    cell[i]->setText(qs(fields.cell[i]));
    setFieldLocked(cell[i], fields.greyed[i]);
  }
  ui_->Edit8->setText(qs(fields.lambda));
  ui_->Edit9->setText(qs(fields.thetaMin));
  ui_->Edit10->setText(qs(fields.thetaMax));
  if (fields.systemRow >= 0) {
    const QSignalBlocker blockSystems(ui_->ListBox2);
    ui_->ListBox2->setCurrentRow(fields.systemRow);
  }
  statusBar()->showMessage("File: " + QFileInfo(file).fileName());
  if (!import.warning.empty()) obrin::ui::warn(this, qs(import.warning));
}

void TForm1::forgetStructure() {
  obrin::dropStructure(state_);
  structureLabel_->clear();
  dropStructureButton_->hide();
  ui_->Label10->setText(qs(obrin::resultHeading(angleMode())));
}

// The cell the fields show, each value as the exit check would read it; a field that does not
// read keeps the structure's value, for the validation will refuse it anyway.
obrin::UnitCell TForm1::fieldCell() const {
  auto values = state_.structureSource ? state_.structureSource->cell.params() : state_.cell.params();
  const auto cell = cellEdits();
  for (int i = 0; i < 6; ++i)
    if (const auto v = obrin::parseNumber(obrin::normalizeNumberText(cell[i]->text().toStdString()))) values[i] = *v;
  return obrin::UnitCell::fromParams(values);
}

// The structure's atoms hold for the crystal they came with only.
void TForm1::dropStructureIfLeft() {
  const std::string note = obrin::dropStructureIfLeft(state_, fieldCell(), selectedGroup());
  if (!note.empty()) showStructureDropped(note);
}

// The list shown was calculated with the atoms: it goes with them.
void TForm1::showStructureDropped(const std::string& note) {
  forgetStructure();
  clearResults();
  structureLabel_->setText(qs(note));
}

void TForm1::importCif() {
  const QString file = obrin::ui::openFileName(this, "Crystallographic Information File (*.cif)");
  if (file.isEmpty()) return;
  const obrin::CifBlockList blocks = obrin::readCifBlockNames(file.toStdString());
  if (!blocks.error.empty()) {
    obrin::ui::warn(this, qs(blocks.error));
    return;
  }
  // Each block with its formula, group and cell, so that blocks of one file (or with one
  // name) can be told apart; the file is not parsed again for the chosen one.
  std::size_t index = 0;
  if (blocks.names.size() > 1) {
    QStringList items;
    for (const auto& b : blocks.blocks) items << qs(b.description());
    const QString chosen = obrin::ui::chooseItem(this, "Data block", items);
    if (chosen.isEmpty()) return;
    const qsizetype at = items.indexOf(chosen);
    if (at < 0) return;
    index = static_cast<std::size_t>(at);
  }
  const obrin::StructureImportRead read =
      obrin::importStructure(blocks, index, [this](obrin::CrystalSystem s) { return positionFile(s); });
  if (!read.structure) {
    obrin::ui::warn(this, qs(read.error));
    return;
  }
  showStructure(*read.structure, file);
}

namespace {

// Distinct atom images are whole unless a site's symmetry was found only in part.
std::string cellAtomText(double atoms) {
  const double whole = std::round(atoms);
  return std::fabs(atoms - whole) < 1e-6 ? std::to_string(static_cast<long long>(whole)) : QString::number(atoms, 'f', 2).toStdString();
}

}  // namespace

void TForm1::showStructure(const obrin::StructureImport& s, const QString& file) {
  forgetRefinement();
  clearResults();
  cellTitle_ = s.cif.blockName;
  state_.structure = s.model;
  state_.importedGroup = s.ownGroup;
  state_.system = s.system;
  state_.cell = s.cif.cell;
  state_.groupName = s.group ? s.group->name : std::string();
  state_.structureSource = obrin::StructureSource{s.cif.blockName, s.system, state_.groupName, s.cif.cell};
  clearGroupFilter();  // the imported group must show in the list
  const auto texts = obrin::cellFieldTextsOf(s.cif.cell);
  const auto greyed = obrin::greyedCellFields(s.system);
  const auto cell = cellEdits();
  for (int i = 0; i < 6; ++i) {
    cell[i]->setText(qs(texts[i]));
    setFieldLocked(cell[i], greyed[i]);
  }
  loadSpaceGroupList();
  ui_->Label10->setText(qs(obrin::resultHeading(angleMode(), state_.structure != nullptr)));
  statusBar()->showMessage("File: " + QFileInfo(file).fileName());
  std::string note = s.settingNote;
  if (note.empty())
    note = s.model ? "Structure " + s.cif.blockName + ": " + cellAtomText(s.model->cellAtoms) +
                         " atoms in the cell; ions scatter as neutral atoms."
                   : "Structure " + s.cif.blockName + ": no atoms, no intensities.";
  for (const std::string& line : s.cif.notes) note += "\n" + line;
  structureLabel_->setText(qs(note));
  structureLabel_->setToolTip(file);
  dropStructureButton_->show();
}

void TForm1::ecrit() {
  if (!validateInputs()) return;
  const auto group = selectedGroup();
  if (!group) {
    obrin::ui::warn(this, "No space group!");
    return;
  }
  state_.groupName = *group;
  QString file = obrin::ui::saveFileName(this, "Fichiers maille (*.ind)");
  if (file.isEmpty()) return;
  file = QString::fromStdString(obrin::withCellFileExtension(file.toStdString()));
  if (QFileInfo::exists(file)) {
    QApplication::beep();
    if (obrin::ui::askYesNoCancel(this, "This file already exists. Do you want to continue?") != QMessageBox::Yes)
      return;
  }
  const auto written = obrin::writeCellFile(file.toStdString(), obrin::cellFileData(state_, cellTitle_, *group));
  if (!written) {
    obrin::ui::warn(this, qs(written.error()));
    return;
  }
  statusBar()->showMessage("File: " + QFileInfo(file).fileName());
}

void TForm1::lit_fichier_ind() { popupMenu_->popup(frameGeometry().topLeft() + QPoint(10, 45)); }

void TForm1::about() {
  if (!about_) return;
  about_->show();
  about_->raise();
  about_->activateWindow();
}

void TForm1::sortie() { close(); }

void TForm1::setPatternWindow(PatternWindow* pattern) {
  pattern_ = pattern;
  connect(ui_->BitBtnPattern, &QPushButton::clicked, pattern, [pattern] {
    pattern->show();
    pattern->raise();
    pattern->activateWindow();
  });
  connect(ui_->ListBox1->selectionModel(), &QItemSelectionModel::currentRowChanged, pattern,
          [pattern](const QModelIndex& current) { pattern->selectRow(current.isValid() ? current.row() : -1); });
  connect(pattern, &PatternWindow::rowClicked, this,
          [this](int row) { ui_->ListBox1->setCurrentIndex(resultModel_->index(row)); });
  connect(pattern, &PatternWindow::wavelengthOffered, this, &TForm1::useWavelength);
  connect(pattern, &PatternWindow::indexRequested, this, &TForm1::openIndexDialog);
  connect(pattern, &PatternWindow::refineRequested, this, &TForm1::openRefineDialog);
  connect(pattern, &PatternWindow::spaceGroupsRequested, this, &TForm1::openSpaceGroupDialog);
  pattern->showLines(state_.list, state_.lambda);
}

// The pattern file's wavelength, as if the user typed it into the λ field and pressed Calc.:
// the table row goes, and the list, the pattern view and the report follow the new λ.
void TForm1::useWavelength(double lambda) {
  numero_case(ui_->Edit8);
  char text[obrin::kShortestRoom];
  ui_->Edit8->setText(QString::fromLatin1(text, int(obrin::writeShortest(text, lambda) - text)));
  pressCalc(ui_->Edit8);
}

// ---- Cell refinement -----------------------------------------------------------------------

void TForm1::openRefineDialog() {
  if (!pattern_) return;
  // The lines of the inputs first: the same checks and warnings as "Calc.", and the group.
  if (!validateInputs() || !readMonochromator()) return;
  auto miller = millerTexts();
  const auto outcome = obrin::calcul(state_, selectedGroup(), currentPositionFile(), calcMode(), miller, &groupKeeper_);
  if (outcome.ok()) listMode_ = calcMode();
  showOutcome(outcome, miller);
  if (!outcome.ok()) return;

  if (!refineDialog_) {
    refineDialog_ = new RefineDialog(this);
    refineDialog_->setObjectName("RefineDialog");
    connect(refineDialog_, &RefineDialog::refinedCellChosen, this, &TForm1::useRefinedCell);
    connect(refineDialog_, &RefineDialog::undoRequested, undoStack_, &QUndoStack::undo);
    connect(undoStack_, &QUndoStack::canUndoChanged, refineDialog_, &RefineDialog::setUndoAvailable);
  }
  RefineProblem problem;
  problem.system = state_.system.value_or(state_.group.system);
  problem.groupName = state_.groupName;
  problem.group = state_.group;
  problem.cell = state_.cell;
  problem.lambda = state_.lambda;
  pattern_->findPeaksIfNone(state_.lambda);
  problem.peaks = pattern_->peakList();
  refineDialog_->setProblem(std::move(problem));
  refineDialog_->setUndoAvailable(undoStack_->canUndo());
  refineDialog_->show();
  refineDialog_->raise();
  refineDialog_->activateWindow();
}

void TForm1::useRefinedCell(const obrin::CellRefinement& r) {
  const auto edits = cellEdits();
  std::array<QString, 6> before, after;
  for (int p = 0; p < 6; ++p) before[p] = after[p] = edits[p]->text();
  const auto values = r.cell.params(), su = r.cellSu.params();
  // The free parameters take their refined values, the tied ones follow them, the fixed ones stay.
  for (int p = 0; p < 6; ++p) {
    const auto& rule = obrin::systemInfo(r.system).cell[p];
    if (rule.kind == obrin::CellParameterRule::Free) after[p] = refinedText(values[p], su[p], p < 3);
  }
  for (int p = 0; p < 6; ++p)
    if (obrin::systemInfo(r.system).cell[p].kind == obrin::CellParameterRule::Tied)
      after[p] = after[obrin::tieRoot(r.system, p)];
  undoStack_->push(new RefinedCellCommand(this, before, refinement_, after, r));
}

void TForm1::showCell(const std::array<QString, 6>& texts, const std::optional<obrin::CellRefinement>& refinement) {
  const auto edits = cellEdits();
  for (int p = 0; p < 6; ++p) edits[p]->setText(texts[p]);
  refinement_ = refinement;
  if (pattern_) {
    std::optional<PatternWindow::RefinedShifts> shifts;
    if (refinement) shifts = PatternWindow::RefinedShifts{refinement->zero, refinement->displacement, refinement->radius};
    pattern_->setRefinedShifts(shifts);
  }
  clearResults();
  switch (calcMode()) {
    case CalcMode::SingleCrystal: calcul_monocristaux(); break;
    case CalcMode::Bragg: calcul_bragg(); break;
    default: calcul(); break;
  }
}

// The shown cell is no longer the refined one: the report stops naming the refinement, the
// sticks lose its shifts, and undo cannot give back a cell the user has since changed.
void TForm1::forgetRefinement() {
  undoStack_->clear();
  if (!refinement_) return;
  refinement_.reset();
  if (pattern_) pattern_->setRefinedShifts(std::nullopt);
}

// ---- Space-group ranking -------------------------------------------------------------------

void TForm1::openSpaceGroupDialog() {
  if (!pattern_) return;
  // The cell and λ with the same checks and warnings as "Calc.".
  if (!validateInputs() || !readMonochromator()) return;
  if (!state_.system) {
    obrin::ui::warn(this, "Choose a crystal system: its groups are ranked");
    return;
  }
  if (!spaceGroupDialog_) {
    spaceGroupDialog_ = new SpaceGroupDialog(this);
    spaceGroupDialog_->setObjectName("SpaceGroupDialog");
    connect(spaceGroupDialog_, &SpaceGroupDialog::classChosen, this, &TForm1::chooseGroup);
  }
  SpaceGroupRankInputs in;
  in.system = *state_.system;
  in.cell = state_.cell;
  in.instrument.lambda = state_.lambda;
  in.instrument.zero = pattern_->zeroShift();
  if (const auto& shifts = pattern_->refinedShifts()) {
    in.instrument.displacement = shifts->displacement;
    in.instrument.radius = shifts->radius;
  }
  // With no peaks in the table, the open pattern's are found first.
  pattern_->findPeaksIfNone(state_.lambda);
  in.peaks = pattern_->peakList().peaks;
  // The pattern the peaks stand on says how sure each absence is.
  if (pattern_->measured()) {
    in.pattern = std::make_shared<const obrin::MeasuredPattern>(*pattern_->measured());
    in.minSignificance = obrin::kDefaultMinPeakSignificance;
  }
  // A structure's own group is checked against its intensities.
  const auto group = selectedGroup();
  if (state_.structure && group && !state_.importedGroup)
    in.structure = obrin::StructureCheckRequest{*state_.system, obrin::trimmed(*group),
                                                obrin::structureIntensity(state_.structure, state_.monochromatorTwoTheta)};
  in.positionFile = [this](obrin::CrystalSystem s) { return positionFile(s); };
  spaceGroupDialog_->setInputs(std::move(in));
  spaceGroupDialog_->show();
  spaceGroupDialog_->raise();
  spaceGroupDialog_->activateWindow();
}

void TForm1::chooseGroup(obrin::CrystalSystem system, const QString& group) {
  if (state_.system != system) lit_systeme(obrin::systemIndex(system));
  if (selectGroupRow(group)) calcul();
}

// Selects the group in the list of the current system; false when the list does not have it.
bool TForm1::selectGroupRow(const QString& group) {
  QListWidget* list = ui_->ListBox3;
  for (int row = 0; row < list->count(); ++row) {
    if (obrin::trimmed(list->item(row)->text().toStdString()) != group.toStdString()) continue;
    // A filter that hides the group gives way to it.
    if (list->isRowHidden(row)) {
      clearGroupFilter();
      filterGroupList();
    }
    list->setCurrentRow(row);
    list->scrollToItem(list->item(row));
    return true;
  }
  return false;
}

// ---- Indexing ------------------------------------------------------------------------------

void TForm1::openIndexDialog() {
  if (!pattern_) return;
  // Only λ is needed: the cell fields may hold anything before a cell is known.
  const auto lambda = obrin::parseNumber(ui_->Edit8->text().toStdString());
  if (!lambda || !(*lambda > 0) || !std::isfinite(*lambda)) {
    ui_->Edit8->setFocus(Qt::OtherFocusReason);
    obrin::ui::warn(this, " Error on lambda");
    return;
  }
  if (!indexDialog_) {
    indexDialog_ = new IndexDialog(this);
    indexDialog_->setObjectName("IndexDialog");
    connect(indexDialog_, &IndexDialog::cellChosen, this, &TForm1::useIndexedCell);
  }
  // A search under way keeps its peaks; the dialog is only brought up.
  if (!indexDialog_->busy()) {
    pattern_->findPeaksIfNone(*lambda);
    indexDialog_->setProblem({pattern_->peakList(), *lambda});
  }
  indexDialog_->show();
  indexDialog_->raise();
  indexDialog_->activateWindow();
}

void TForm1::useIndexedCell(const obrin::IndexingSolution& s) {
  const obrin::CrystalSystem system = s.system;
  const auto group = latticeGroupName(positionFile(system), system, s.centring);
  lit_systeme(obrin::systemIndex(system));
  std::array<QString, 6> texts;
  const auto values = s.cell.params(), su = s.cellSu.params();
  const auto& rules = obrin::systemInfo(system).cell;
  for (int p = 0; p < 6; ++p)
    texts[p] = rules[p].kind == obrin::CellParameterRule::Fixed ? QString::number(rules[p].degrees)
                                                                : refinedText(values[p], su[p], p < 3);
  for (int p = 0; p < 6; ++p)
    if (rules[p].kind == obrin::CellParameterRule::Tied) texts[p] = texts[obrin::tieRoot(system, p)];
  if (!group || !selectGroupRow(qs(*group))) {
    const auto edits = cellEdits();
    for (int p = 0; p < 6; ++p) edits[p]->setText(texts[p]);
    obrin::ui::warn(this, QString("No group of the %1 lattice in the %2 groups: choose one to calculate")
                              .arg(qs(s.lattice), qs(std::string(obrin::systemName(system)))));
    return;
  }
  // The candidate was refined with its zero shift: the sticks carry it, the report names it.
  std::optional<obrin::CellRefinement> refinement;
  if (s.refinement.system == system && !s.refinement.lines.empty()) refinement = s.refinement;
  showCell(texts, refinement);
  if (!state_.list.empty()) openSpaceGroupDialog();
}
