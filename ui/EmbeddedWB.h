// imgPreview: the preview under the image list. Shows one local file as an
// image; never loads anything remote and runs nothing.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <memory>
#include <string>

class QBuffer;
class QImageReader;

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
  // decoder's level where the format allows, as JPEG does; else at once
  // after decoding, as for an ICO that wraps a large PNG).
  static constexpr int kDecodeBox = 2048;
  // Animation frames are scaled down to the widget's size as they are
  // decoded, and the next frame waits at least this long, and at least
  // kDecodeShare times as long as the last one took to decode, so that
  // decoding takes at most 1 / (kDecodeShare + 1) of the UI thread.
  static constexpr int kMinFrameDelayMs = 20;
  static constexpr int kDecodeShare = 3;

  // The wait before the next frame, given the delay the file asks for and
  // what decoding the last frame took.
  static int NextFrameDelay(int requestedMs, qint64 decodeMs);
  // The image decoders' allocation limit in megabytes, set process-wide by
  // the first preview.
  static constexpr int kAllocationLimitMb = 128;

  explicit TEmbeddedWB(QWidget* parent = nullptr);
  ~TEmbeddedWB() override;

  // Shows the local file at `path`, a file name in the file system's bytes.
  // The path is taken as it is, not as a URL: nothing but a local file is
  // ever read. The format is found from the content, not the name. A file
  // that does not decode as an image (or is not a regular file, is a
  // symbolic link, or is too large) leaves the quiet "no preview" state.
  // The file is opened without blocking and without changing its access
  // time where the process may (its own files).
  void Navigate(const std::string& path);
  // The same for a path as Qt spells file names.
  void Navigate(const QString& path);

  // The path most recently navigated to, as bytes and as text; empty before
  // the first.
  const std::string& DocumentPath() const { return documentPath_; }
  QString Document() const;

  // True while the last document is shown as an image.
  bool HasPreview() const { return state_ == State::kImage; }
  // True while that image is an animation that plays.
  bool IsAnimated() const { return frames_ != nullptr; }
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
  bool Load(const std::string& path);
  bool StartAnimation(const QByteArray& format);
  bool ShowNextFrame();
  QSize FrameBox() const;

  std::string documentPath_;
  State state_ = State::kEmpty;
  QImage image_;   // the still image, or the animation's current frame
  QImage scaled_;  // image_ at the size last drawn
  QByteArray bytes_;
  // The frames are read from the buffer, the buffer from bytes_; declared
  // so that the reader goes first.
  std::unique_ptr<QBuffer> buffer_;
  std::unique_ptr<QImageReader> frames_;
  QByteArray format_;
  int frame_ = 0;
  QTimer frameTimer_;
};
