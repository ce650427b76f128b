// imgPreview: the preview under the image list. Shows one local file as an
// image; never loads anything remote and runs nothing.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QWidget>
#include <memory>

class QBuffer;
class QMovie;

class TEmbeddedWB : public QWidget {
  Q_OBJECT

 public:
  // Files larger than this are not read at all.
  static constexpr qint64 kMaxFileBytes = 64LL * 1024 * 1024;
  // Images larger than this, on a side or in all, are refused: before any
  // decoding when their header says so, else once decoded.
  static constexpr int kMaxSide = 16384;
  static constexpr qint64 kMaxPixels = 32LL * 1024 * 1024;
  // Larger still images are decoded scaled down to fit this square (at the
  // decoder's level where the format allows, as JPEG does).
  static constexpr int kDecodeBox = 2048;
  // The image decoders' allocation limit in megabytes, set process-wide by
  // the first preview.
  static constexpr int kAllocationLimitMb = 128;

  explicit TEmbeddedWB(QWidget* parent = nullptr);
  ~TEmbeddedWB() override;

  // Shows the local file at `path`. The path is taken as it is, not as a URL:
  // nothing but a local file is ever read. The format is found from the
  // content, not the name. A file that does not decode as an image (or is
  // not a regular file, or is too large) leaves the quiet "no preview" state.
  void Navigate(const QString& path);

  // The path most recently navigated to; empty before the first.
  const QString& Document() const { return document_; }

  // True while the last document is shown as an image.
  bool HasPreview() const { return state_ == State::kImage; }
  // True while that image is an animation that plays.
  bool IsAnimated() const { return movie_ != nullptr; }
  // The size of the image as decoded; empty without preview.
  QSize ImageSize() const;
  // Where the image is drawn: scaled down to fit the widget when larger,
  // aspect ratio kept, centred. Empty without preview.
  QRect ImageRect() const;
  // The frame an animation shows now; 0 for a still image.
  int CurrentFrame() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  enum class State { kEmpty, kImage, kNoPreview };

  void Clear();
  bool Load(const QString& path);
  bool StartAnimation(const QByteArray& format);
  QImage Shown() const;

  QString document_;
  State state_ = State::kEmpty;
  QImage image_;
  QImage scaled_;  // image_ at the size last drawn
  QByteArray bytes_;
  // The animation reads from the buffer, the buffer from bytes_; declared so
  // that the movie goes first.
  std::unique_ptr<QBuffer> buffer_;
  std::unique_ptr<QMovie> movie_;
};
