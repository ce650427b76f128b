#include "ui/EmbeddedWB.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QMovie>
#include <QPainter>

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

}  // namespace

TEmbeddedWB::TEmbeddedWB(QWidget* parent) : QWidget(parent) {
  QImageReader::setAllocationLimit(kAllocationLimitMb);
}

TEmbeddedWB::~TEmbeddedWB() = default;

void TEmbeddedWB::Navigate(const QString& path) {
  document_ = path;
  Clear();
  if (Load(path)) {
    state_ = State::kImage;
  } else {
    Clear();
    state_ = State::kNoPreview;
  }
  update();
}

void TEmbeddedWB::Clear() {
  movie_.reset();
  buffer_.reset();
  bytes_.clear();
  image_ = QImage();
  scaled_ = QImage();
  state_ = State::kEmpty;
}

bool TEmbeddedWB::Load(const QString& path) {
  // Only regular files: a FIFO or a device would block or never end.
  QFileInfo info(path);
  if (path.isEmpty() || !info.isFile() || info.size() > kMaxFileBytes) return false;
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return false;
  bytes_ = file.read(kMaxFileBytes + 1);
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

  if (declared.isValid() && (declared.width() > kDecodeBox || declared.height() > kDecodeBox)) {
    reader.setScaledSize(declared.scaled(kDecodeBox, kDecodeBox, Qt::KeepAspectRatio));
  }
  image_ = reader.read();
  bytes_.clear();
  // Some decoders declare the first frame's size but draw on a larger canvas
  // (GIF's logical screen); the allocation limit bounded that, this keeps
  // the result within the preview's own bounds.
  return !image_.isNull() && !ExceedsBounds(image_.size());
}

bool TEmbeddedWB::StartAnimation(const QByteArray& format) {
  buffer_ = std::make_unique<QBuffer>(&bytes_);
  buffer_->open(QIODevice::ReadOnly);
  movie_ = std::make_unique<QMovie>(buffer_.get(), format);
  if (!movie_->isValid()) return false;
  movie_->setCacheMode(QMovie::CacheNone);
  connect(movie_.get(), &QMovie::frameChanged, this, [this] { update(); });
  movie_->start();
  QImage first = movie_->currentImage();
  return !first.isNull() && !ExceedsBounds(first.size());
}

QImage TEmbeddedWB::Shown() const {
  return movie_ ? movie_->currentImage() : image_;
}

QSize TEmbeddedWB::ImageSize() const {
  return HasPreview() ? Shown().size() : QSize();
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
  return movie_ ? movie_->currentFrameNumber() : 0;
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
  if (movie_) {
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, movie_->currentImage());
    return;
  }
  if (scaled_.size() != target.size()) {
    scaled_ = target.size() == image_.size()
                  ? image_
                  : image_.scaled(target.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  }
  painter.drawImage(target.topLeft(), scaled_);
}
