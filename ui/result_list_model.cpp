#include "result_list_model.h"

#include "calc/display.hpp"
#include "core/textformat.hpp"

void ResultListModel::setLines(const obrin::ReflectionList& list, obrin::AngleMode mode, bool intensities) {
  beginResetModel();
  list_ = list;
  mode_ = mode;
  intensities_ = intensities;
  endResetModel();
}

void ResultListModel::clear() {
  beginResetModel();
  list_.clear();
  list_.shrink_to_fit();  // a million lines should not stay in memory once they are gone
  endResetModel();
}

int ResultListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(list_.size());
}

QVariant ResultListModel::data(const QModelIndex& index, int role) const {
  if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rowCount()) return {};
  const obrin::Reflection& r = list_[static_cast<std::size_t>(index.row())];
  std::string line = obrin::formatResultLine(r, mode_);
  if (intensities_) obrin::appendFixedField(line, r.intensity, 8, 1);
  return QString::fromStdString(line);
}
