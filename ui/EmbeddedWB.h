// imgPreview: the preview under the image list. Shows one local file as an
// image; never loads anything remote and runs nothing.
#pragma once

#include <QString>
#include <QWidget>

class TEmbeddedWB : public QWidget {
  Q_OBJECT

 public:
  explicit TEmbeddedWB(QWidget* parent = nullptr);

  // Shows the local file at `path`. The path is taken as it is, not as a URL.
  void Navigate(const QString& path);

  // The path most recently navigated to; empty before the first.
  const QString& Document() const { return document_; }

 private:
  QString document_;
};
