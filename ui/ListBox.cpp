#include "ui/ListBox.h"

#include <QItemSelectionModel>
#include <QMouseEvent>
#include <QScopedValueRollback>

int TListBoxLines::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(lines_.size());
}

QVariant TListBoxLines::data(const QModelIndex& index, int role) const {
  if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rowCount()) return {};
  const std::string& line = lines_[static_cast<std::size_t>(index.row())];
  return QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size()));
}

void TListBoxLines::SetLines(std::vector<std::string> lines) {
  beginResetModel();
  lines_ = std::move(lines);
  endResetModel();
}

TListBox::TListBox(QWidget* parent) : QListView(parent) {
  setModel(&lines_);
  setUniformItemSizes(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  // Lines are cut at the right edge as in a list box; with uniform item
  // sizes Qt would size a horizontal scroll range from the first line only.
  setTextElideMode(Qt::ElideNone);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
    if (!programSelection_) emit Click();
  });
}

const std::string& TListBox::Line(int index) const {
  static const std::string kNone;
  if (index < 0 || index >= Count()) return kNone;
  return lines_.Lines()[static_cast<std::size_t>(index)];
}

void TListBox::SetLines(std::vector<std::string> lines) {
  QScopedValueRollback<bool> quiet(programSelection_, true);
  lines_.SetLines(std::move(lines));
}

int TListBox::ItemIndex() const {
  const QModelIndexList selected = selectionModel()->selectedRows();
  return selected.isEmpty() ? -1 : selected.first().row();
}

void TListBox::SetItemIndex(int index) {
  QScopedValueRollback<bool> quiet(programSelection_, true);
  if (index < 0 || index >= Count()) {
    selectionModel()->clear();
  } else {
    selectionModel()->setCurrentIndex(lines_.index(index), QItemSelectionModel::ClearAndSelect);
  }
}

QItemSelectionModel::SelectionFlags TListBox::selectionCommand(const QModelIndex& index,
                                                               const QEvent* /*event*/) const {
  if (!index.isValid()) return QItemSelectionModel::NoUpdate;
  return QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows;
}

namespace {

// True for an event of a button other than the left one, which the list
// box takes without acting on it.
bool SwallowOtherButtons(QMouseEvent& event) {
  const bool left = event.button() == Qt::LeftButton ||
                    (event.button() == Qt::NoButton && !(event.buttons() & ~Qt::LeftButton));
  if (!left) event.accept();
  return !left;
}

}  // namespace

void TListBox::mousePressEvent(QMouseEvent* event) {
  if (!SwallowOtherButtons(*event)) QListView::mousePressEvent(event);
}

void TListBox::mouseMoveEvent(QMouseEvent* event) {
  if (!SwallowOtherButtons(*event)) QListView::mouseMoveEvent(event);
}

void TListBox::mouseReleaseEvent(QMouseEvent* event) {
  if (!SwallowOtherButtons(*event)) QListView::mouseReleaseEvent(event);
}

void TListBox::mouseDoubleClickEvent(QMouseEvent* event) {
  if (SwallowOtherButtons(*event)) return;
  QListView::mouseDoubleClickEvent(event);
  emit DblClick();
}
