#include "ui/EmbeddedWB.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QBuffer>
#include <QElapsedTimer>
#include <QFile>
#include <QImageReader>
#include <QPainter>
#include <algorithm>
#include <cerrno>

namespace {

// Vector documents: they can refer to other files and their cost of drawing
// is not bounded by their declared size.
bool IsRefusedFormat(const QByteArray& format) {
  return format == "svg" || format == "svgz";
}

bool ExceedsBounds(const QSize& size) {
  if (!size.isValid()) return false;  // not known yet: the allocation limit holds meanwhile
  return size.width() > TEmbeddedWB::kMaxSide || size.height() > TEmbeddedWB::kMaxSide ||
         qint64(size.width()) * size.height() > TEmbeddedWB::kMaxPixels;
}

// Cached files are plain files written by the browser: a link there is not
// expected, and a FIFO or device must neither block nor be read. O_NOATIME
// is allowed on the process's own files only.
int OpenCachedFile(const std::string& path) {
  constexpr int kFlags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY;
  int fd = open(path.c_str(), kFlags | O_NOATIME);
  if (fd < 0 && errno == EPERM) fd = open(path.c_str(), kFlags);
  return fd;
}

// Up to `limit` + 1 bytes of the regular file at `path`; empty for anything
// else or on a read error.
QByteArray ReadRegularFile(const std::string& path, qint64 limit) {
  const int fd = OpenCachedFile(path);
  if (fd < 0) return {};
  QByteArray bytes;
  struct stat st {};
  if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= limit) {
    bytes.resize(limit + 1);
    qint64 used = 0;
    while (used < bytes.size()) {
      const ssize_t got = read(fd, bytes.data() + used, std::size_t(bytes.size() - used));
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) used = 0;
      if (got <= 0) break;
      used += got;
    }
    bytes.resize(used);
  }
  close(fd);
  return bytes;
}

// `image` scaled down, aspect kept, to fit `box`; unchanged when it fits.
QImage FitInto(QImage image, const QSize& box) {
  if (image.width() <= box.width() && image.height() <= box.height()) return image;
  return image.scaled(box, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

}  // namespace

TEmbeddedWB::TEmbeddedWB(QWidget* parent) : QWidget(parent) {
  QImageReader::setAllocationLimit(kAllocationLimitMb);
  frameTimer_.setSingleShot(true);
  connect(&frameTimer_, &QTimer::timeout, this, [this] {
    if (frames_ && ShowNextFrame()) update();
  });
}

TEmbeddedWB::~TEmbeddedWB() = default;

int TEmbeddedWB::NextFrameDelay(int requestedMs, qint64 decodeMs) {
  const qint64 share = std::max<qint64>(decodeMs, 0) * kDecodeShare;
  const qint64 wanted = std::max<qint64>({requestedMs, kMinFrameDelayMs, share});
  return int(std::min<qint64>(wanted, 60000));
}

void TEmbeddedWB::Navigate(const QString& path) {
  Navigate(QFile::encodeName(path).toStdString());
}

void TEmbeddedWB::Navigate(const std::string& path) {
  documentPath_ = path;
  Clear();
  if (Load(path)) {
    state_ = State::kImage;
  } else {
    Clear();
    state_ = State::kNoPreview;
  }
  update();
}

QString TEmbeddedWB::Document() const {
  return QFile::decodeName(QByteArray::fromStdString(documentPath_));
}

void TEmbeddedWB::Clear() {
  frameTimer_.stop();
  frames_.reset();
  buffer_.reset();
  bytes_.clear();
  format_.clear();
  frame_ = 0;
  image_ = QImage();
  scaled_ = QImage();
  state_ = State::kEmpty;
}

bool TEmbeddedWB::Load(const std::string& path) {
  if (path.empty()) return false;
  bytes_ = ReadRegularFile(path, kMaxFileBytes);
  if (bytes_.isEmpty() || bytes_.size() > kMaxFileBytes) return false;

  QBuffer probe(&bytes_);
  probe.open(QIODevice::ReadOnly);
  QImageReader reader(&probe);
  reader.setDecideFormatFromContent(true);
  QByteArray format = reader.format();
  if (format.isEmpty() || IsRefusedFormat(format)) return false;
  QSize declared = reader.size();
  if (ExceedsBounds(declared)) return false;

  if (reader.supportsAnimation() && reader.imageCount() > 1) return StartAnimation(format);

  const QSize box(kDecodeBox, kDecodeBox);
  if (declared.isValid() && (declared.width() > kDecodeBox || declared.height() > kDecodeBox)) {
    reader.setScaledSize(declared.scaled(box, Qt::KeepAspectRatio));
  }
  image_ = reader.read();
  bytes_.clear();
  // Some decoders declare the first frame's size but draw on a larger canvas
  // (GIF's logical screen); the allocation limit bounded that, this keeps
  // the result within the preview's own bounds. An ICO declares its
  // directory's size, not that of the PNG it may wrap: what it decoded is
  // scaled at once, so the full size is never kept.
  if (image_.isNull() || ExceedsBounds(image_.size())) return false;
  image_ = FitInto(image_, box);
  return true;
}

bool TEmbeddedWB::StartAnimation(const QByteArray& format) {
  format_ = format;
  buffer_ = std::make_unique<QBuffer>(&bytes_);
  buffer_->open(QIODevice::ReadOnly);
  frames_ = std::make_unique<QImageReader>(buffer_.get(), format_);
  return ShowNextFrame();
}

QSize TEmbeddedWB::FrameBox() const {
  const QSize widget = size() * devicePixelRatio();
  return widget.boundedTo(QSize(kDecodeBox, kDecodeBox)).expandedTo(QSize(1, 1));
}

// Decodes the next frame into image_ and schedules the one after; after the
// last frame the animation starts over. False when no frame decodes.
bool TEmbeddedWB::ShowNextFrame() {
  QElapsedTimer decoding;
  decoding.start();
  QImage next = frames_->read();
  if (next.isNull() && frame_ > 0) {
    buffer_->seek(0);
    frames_ = std::make_unique<QImageReader>(buffer_.get(), format_);
    frame_ = 0;
    next = frames_->read();
  }
  if (next.isNull() || ExceedsBounds(next.size())) return false;
  image_ = FitInto(std::move(next), FrameBox());
  scaled_ = QImage();
  ++frame_;
  frameTimer_.start(NextFrameDelay(frames_->nextImageDelay(), decoding.elapsed()));
  return true;
}

QSize TEmbeddedWB::ImageSize() const {
  return HasPreview() ? image_.size() : QSize();
}

QRect TEmbeddedWB::ImageRect() const {
  QSize size = ImageSize();
  if (size.isEmpty()) return {};
  if (size.width() > width() || size.height() > height()) {
    size.scale(this->size(), Qt::KeepAspectRatio);
  }
  return QRect(QPoint((width() - size.width()) / 2, (height() - size.height()) / 2), size);
}

int TEmbeddedWB::CurrentFrame() const {
  return frames_ ? frame_ - 1 : 0;
}

void TEmbeddedWB::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  if (state_ == State::kNoPreview) {
    painter.setPen(palette().color(QPalette::Disabled, QPalette::WindowText));
    painter.drawText(rect(), Qt::AlignCenter, tr("No preview"));
    return;
  }
  if (state_ != State::kImage) return;
  QRect target = ImageRect();
  if (target.isEmpty()) return;
  if (scaled_.size() != target.size()) {
    scaled_ = target.size() == image_.size()
                  ? image_
                  : image_.scaled(target.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  }
  painter.drawImage(target.topLeft(), scaled_);
}
