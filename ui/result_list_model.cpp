#include "result_list_model.h"

#include "calc/display.hpp"

void ResultListModel::setLines(const obrin::ReflectionList& list, obrin::AngleMode mode) {
  beginResetModel();
  list_ = list;
  mode_ = mode;
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
  return QString::fromStdString(obrin::formatResultLine(list_[static_cast<std::size_t>(index.row())], mode_));
}
