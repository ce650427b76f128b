// TListBox: the list box of the window. Its lines are byte strings (the
// system code page, UTF-8 here) kept in a flat model and turned into display
// text only for the rows on screen, so that a list of 100,000 lines is filled
// in one batch and drawn at once. One selected line at most, lines kept in
// the order they were added.
#pragma once

#include <QAbstractListModel>
#include <QListView>
#include <string>
#include <vector>

class TListBoxLines : public QAbstractListModel {
  Q_OBJECT

 public:
  explicit TListBoxLines(QObject* parent = nullptr) : QAbstractListModel(parent) {}

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

  const std::vector<std::string>& Lines() const { return lines_; }
  // Replaces every line in one model reset.
  void SetLines(std::vector<std::string> lines);

 private:
  std::vector<std::string> lines_;
};

class TListBox : public QListView {
  Q_OBJECT

 public:
  explicit TListBox(QWidget* parent = nullptr);

  int Count() const { return static_cast<int>(lines_.Lines().size()); }
  // Line `index`; empty outside 0..Count()-1.
  const std::string& Line(int index) const;
  const std::vector<std::string>& Lines() const { return lines_.Lines(); }

  // Replaces the lines in one batch; afterwards no line is selected.
  void SetLines(std::vector<std::string> lines);
  void Clear() { SetLines({}); }

  // The selected line, -1 for none.
  int ItemIndex() const;
  // Selects line `index` (-1 or an index out of range: none). A selection
  // made here does not raise Click.
  void SetItemIndex(int index);

 signals:
  // The user changed the selection, with the mouse or the keyboard.
  void Click();
  // A double-click of the left button.
  void DblClick();

 protected:
  // As a list box: a click selects the line under it alone; a click on no
  // line, or a Ctrl-click on the selected one, keeps the selection.
  QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                       const QEvent* event) const override;
  // Only the left button selects and double-clicks; the others leave the
  // selection alone (a right-click still asks for the context menu, which
  // belongs to the selected line).
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  TListBoxLines lines_;
  bool programSelection_ = false;
};
