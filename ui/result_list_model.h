// The result list as the window shows it: one row per reflection, its text made when the view
// paints the row, so that a list of a million lines costs no more to show than one screen.
#pragma once

#include <QAbstractListModel>

#include "calc/reflection.hpp"
#include "calc/state.hpp"

class ResultListModel : public QAbstractListModel {
  Q_OBJECT

 public:
  using QAbstractListModel::QAbstractListModel;

  // Shows list (copied: the calculation may replace its own) with angles as mode asks.
  // With intensities each line ends in its relative intensity.
  void setLines(const obrin::ReflectionList& list, obrin::AngleMode mode, bool intensities = false);
  void clear();

  int rowCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

 private:
  obrin::ReflectionList list_;
  obrin::AngleMode mode_ = obrin::AngleMode::Theta;
  bool intensities_ = false;
};
