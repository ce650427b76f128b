#include "ui/EmbeddedWB.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

namespace {

bool EnsureApplication() {
  static int argc = 1;
  static char name[] = "ui_tests";
  static char* argv[] = {name, nullptr};
  if (QApplication::instance() == nullptr) new QApplication(argc, argv);
  return true;
}

void Put16(QByteArray& out, int value) {
  out.append(char(value & 0xFF));
  out.append(char((value >> 8) & 0xFF));
}

void Put32(QByteArray& out, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) out.append(char((value >> (8 * i)) & 0xFF));
}

// LZW codes of `bits` bits, packed from the low bit up, in GIF sub-blocks.
QByteArray GifData(const std::vector<int>& codes, int bits) {
  QByteArray packed;
  std::uint32_t acc = 0;
  int filled = 0;
  for (int code : codes) {
    acc |= std::uint32_t(code) << filled;
    filled += bits;
    while (filled >= 8) {
      packed.append(char(acc & 0xFF));
      acc >>= 8;
      filled -= 8;
    }
  }
  if (filled > 0) packed.append(char(acc & 0xFF));
  QByteArray blocks;
  blocks.append(char(packed.size()));
  blocks.append(packed);
  blocks.append('\0');
  return blocks;
}

// An animated GIF of `width` x `height` (the logical screen) with `frames`
// frames of 2 x 2 pixels in alternating colours, looping forever.
QByteArray AnimatedGif(int frames, int width = 2, int height = 2) {
  QByteArray gif("GIF89a");
  Put16(gif, width);
  Put16(gif, height);
  gif.append(char(0x80));  // global colour table of 2 entries
  gif.append('\0');
  gif.append('\0');
  gif.append(
      QByteArray::fromHex("ff0000"
                          "0000ff"));
  gif.append(QByteArray::fromHex("21ff0b") + "NETSCAPE2.0" + QByteArray::fromHex("03010000") +
             '\0');
  for (int f = 0; f < frames; ++f) {
    gif.append(QByteArray::fromHex("21f904"));
    gif.append('\0');
    Put16(gif, 5);  // 50 ms
    gif.append('\0');
    gif.append('\0');
    gif.append(',');
    Put16(gif, 0);
    Put16(gif, 0);
    Put16(gif, 2);
    Put16(gif, 2);
    gif.append('\0');
    gif.append(char(2));  // LZW minimum code size
    int colour = f % 2;
    // A clear code before every pixel keeps the code width at 3 bits.
    gif.append(GifData({4, colour, 4, colour, 4, colour, 4, colour, 5}, 3));
  }
  gif.append(';');
  return gif;
}

// A BMP header that declares `width` x `height` at 24 bits, with a few
// bytes of pixels.
QByteArray HugeBmp(int width, int height) {
  QByteArray bmp("BM");
  Put32(bmp, 54 + 16);
  Put32(bmp, 0);
  Put32(bmp, 54);
  Put32(bmp, 40);
  Put32(bmp, std::uint32_t(width));
  Put32(bmp, std::uint32_t(height));
  Put16(bmp, 1);
  Put16(bmp, 24);
  Put32(bmp, 0);
  Put32(bmp, 0);
  Put32(bmp, 2835);
  Put32(bmp, 2835);
  Put32(bmp, 0);
  Put32(bmp, 0);
  bmp.append(QByteArray(16, '\x7f'));
  return bmp;
}

QByteArray Encoded(const QImage& image, const char* format) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, format);
  return bytes;
}

QImage Sample(int width, int height, QImage::Format format = QImage::Format_RGB32) {
  QImage image(width, height, format);
  image.fill(Qt::green);
  return image;
}

class EmbeddedWBTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    preview.resize(200, 200);
  }

  QString Write(const QString& name, const QByteArray& bytes) {
    QString path = dir.filePath(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    return path;
  }

  bool withApplication = EnsureApplication();  // before any widget
  QTemporaryDir dir;
  TEmbeddedWB preview;
};

TEST_F(EmbeddedWBTest, ShowsEachFormatFoundFromItsContent) {
  struct Fixture {
    const char* format;
    QImage image;
  };
  Fixture fixtures[] = {
      {"PNG", Sample(40, 30, QImage::Format_ARGB32)},
      {"JPEG", Sample(40, 30)},
      {"BMP", Sample(40, 30)},
      {"XBM", Sample(40, 30).convertToFormat(QImage::Format_MonoLSB)},
      {"TIFF", Sample(40, 30)},
  };
  for (const Fixture& f : fixtures) {
    QByteArray bytes = Encoded(f.image, f.format);
    ASSERT_FALSE(bytes.isEmpty()) << f.format;
    // Cached files are often misnamed: the name says nothing here.
    QString path = Write(
        QStringLiteral("image[1].%1").arg(f.format == QByteArray("PNG") ? "gif" : "png"), bytes);
    preview.Navigate(path);
    EXPECT_EQ(preview.Document(), path);
    EXPECT_TRUE(preview.HasPreview()) << f.format;
    EXPECT_FALSE(preview.IsAnimated()) << f.format;
    EXPECT_EQ(preview.ImageSize(), QSize(40, 30)) << f.format;
  }
}

TEST_F(EmbeddedWBTest, AnimatedGifPlays) {
  QString path = Write("anim", AnimatedGif(2));
  preview.Navigate(path);
  ASSERT_TRUE(preview.HasPreview());
  ASSERT_TRUE(preview.IsAnimated());
  EXPECT_EQ(preview.ImageSize(), QSize(2, 2));
  int first = preview.CurrentFrame();
  QElapsedTimer waited;
  waited.start();
  while (preview.CurrentFrame() == first && waited.elapsed() < 10000) QTest::qWait(10);
  EXPECT_NE(preview.CurrentFrame(), first);

  // A still image afterwards stops it.
  preview.Navigate(Write("still.png", Encoded(Sample(4, 4), "PNG")));
  EXPECT_TRUE(preview.HasPreview());
  EXPECT_FALSE(preview.IsAnimated());
}

TEST_F(EmbeddedWBTest, SingleFrameGifIsStill) {
  preview.Navigate(Write("one.gif", AnimatedGif(1)));
  EXPECT_TRUE(preview.HasPreview());
  EXPECT_FALSE(preview.IsAnimated());
}

TEST_F(EmbeddedWBTest, ScaledDownToFitKeepingAspectNeverEnlarged) {
  preview.Navigate(Write("wide.png", Encoded(Sample(400, 100), "PNG")));
  ASSERT_TRUE(preview.HasPreview());
  EXPECT_EQ(preview.ImageRect(), QRect(0, 75, 200, 50));
  preview.Navigate(Write("small.png", Encoded(Sample(20, 10), "PNG")));
  EXPECT_EQ(preview.ImageRect(), QRect(90, 95, 20, 10));
  preview.resize(10, 100);
  EXPECT_EQ(preview.ImageRect(), QRect(0, 47, 10, 5));
  QImage shot = preview.grab().toImage();  // paints without trouble
  EXPECT_FALSE(shot.isNull());
}

TEST_F(EmbeddedWBTest, LargeImageIsDecodedReduced) {
  preview.Navigate(Write("big.jpg", Encoded(Sample(4096, 1024), "JPEG")));
  ASSERT_TRUE(preview.HasPreview());
  EXPECT_EQ(preview.ImageSize(), QSize(2048, 512));
}

TEST_F(EmbeddedWBTest, DamagedAndForeignFilesGiveNoPreview) {
  QByteArray png = Encoded(Sample(64, 64, QImage::Format_ARGB32), "PNG");
  QString paths[] = {
      Write("truncated.png", png.left(png.size() / 2)),
      Write("header-only.png", png.left(20)),
      Write("empty.gif", QByteArray()),
      Write("page.jpg", "<html><script>alert(1)</script><img src=http://x/a.gif></html>"),
      Write("vector.gif",
            "<svg xmlns='http://www.w3.org/2000/svg' width='10' height='10'><rect width='10' "
            "height='10'/></svg>"),
      Write("huge.bmp", HugeBmp(100000, 100000)),
      Write("wide.bmp", HugeBmp(20000, 1)),
      Write("many.bmp", HugeBmp(10000, 10000)),
      // Small enough for the decoders, beyond the preview's own bounds.
      Write("strip.gif", AnimatedGif(1, 20000, 2)),
      Write("strip-anim.gif", AnimatedGif(2, 20000, 2)),
      Write("many.pbm", QByteArray("P4\n6000 6000\n") + QByteArray(750 * 6000, '\0')),
      Write("huge.gif", AnimatedGif(2, 65535, 65535)),
      dir.filePath("missing.png"),
      dir.path(),
      QStringLiteral("http://www.brightmoor.example/a.png"),
  };
  for (const QString& path : paths) {
    preview.Navigate(Write("good.png", png));
    ASSERT_TRUE(preview.HasPreview());
    preview.Navigate(path);
    EXPECT_EQ(preview.Document(), path);
    // A truncated image may still show its first rows; it must not show as
    // the earlier image or at a size it does not declare.
    if (preview.HasPreview()) {
      EXPECT_EQ(preview.ImageSize(), QSize(64, 64)) << path.toStdString();
      EXPECT_TRUE(path.endsWith("truncated.png")) << path.toStdString();
    }
    EXPECT_FALSE(preview.IsAnimated()) << path.toStdString();
    EXPECT_FALSE(preview.grab().toImage().isNull());
  }
}

TEST_F(EmbeddedWBTest, FifoIsNotReadSoNothingBlocks) {
  QString path = dir.filePath("pipe.png");
  ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
  preview.Navigate(path);
  EXPECT_FALSE(preview.HasPreview());
}

// An ICO whose one entry is `png`; the directory says 256 x 256 (0, 0).
QByteArray IcoWrapping(const QByteArray& png) {
  QByteArray ico;
  Put16(ico, 0);
  Put16(ico, 1);                    // icon
  Put16(ico, 1);                    // one image
  ico.append(QByteArray(4, '\0'));  // width, height (256), colours, reserved
  Put16(ico, 1);
  Put16(ico, 32);
  Put32(ico, std::uint32_t(png.size()));
  Put32(ico, 6 + 16);
  return ico + png;
}

TEST_F(EmbeddedWBTest, IcoWrappingALargePngIsKeptScaledDown) {
  preview.Navigate(Write("big.ico", IcoWrapping(Encoded(Sample(2600, 1300), "PNG"))));
  ASSERT_TRUE(preview.HasPreview());
  EXPECT_EQ(preview.ImageSize(), QSize(2048, 1024));
}

// Frames are decoded to the widget's size, not the animation's canvas.
TEST_F(EmbeddedWBTest, LargeAnimationPlaysScaledToTheWidget) {
  preview.Navigate(Write("big-anim.gif", AnimatedGif(2, 3000, 1500)));
  ASSERT_TRUE(preview.HasPreview());
  ASSERT_TRUE(preview.IsAnimated());
  EXPECT_EQ(preview.ImageSize(), QSize(200, 100));
  const int first = preview.CurrentFrame();
  QElapsedTimer waited;
  waited.start();
  while (preview.CurrentFrame() == first && waited.elapsed() < 10000) QTest::qWait(10);
  EXPECT_NE(preview.CurrentFrame(), first);
  EXPECT_EQ(preview.ImageSize(), QSize(200, 100));
}

TEST(EmbeddedWBRate, DecodingTakesAtMostAQuarterOfTheTime) {
  EXPECT_EQ(TEmbeddedWB::NextFrameDelay(100, 0), 100);
  EXPECT_EQ(TEmbeddedWB::NextFrameDelay(0, 0),
            TEmbeddedWB::kMinFrameDelayMs);  // "as fast as can be"
  EXPECT_EQ(TEmbeddedWB::NextFrameDelay(-5, 1), TEmbeddedWB::kMinFrameDelayMs);
  EXPECT_EQ(TEmbeddedWB::NextFrameDelay(50, 300), 300 * TEmbeddedWB::kDecodeShare);
  EXPECT_EQ(TEmbeddedWB::NextFrameDelay(50, qint64(1) << 40), 60000);
}

// A link in a cache folder is not followed: the browser writes plain files.
TEST_F(EmbeddedWBTest, SymbolicLinkIsNotFollowed) {
  const QString target = Write("real.png", Encoded(Sample(8, 8), "PNG"));
  const QString link = dir.filePath("link.png");
  ASSERT_EQ(::symlink(QFile::encodeName(target).constData(), QFile::encodeName(link).constData()),
            0);
  preview.Navigate(link);
  EXPECT_FALSE(preview.HasPreview());
  preview.Navigate(target);
  EXPECT_TRUE(preview.HasPreview());
}

TEST_F(EmbeddedWBTest, NameThatIsNotUtf8IsReadByItsBytes) {
  const std::string path = QFile::encodeName(dir.path()).toStdString() + "/caf\xe9[1].png";
  const QByteArray png = Encoded(Sample(8, 8), "PNG");
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::write(fd, png.constData(), std::size_t(png.size())), png.size());
  ::close(fd);
  preview.Navigate(path);
  EXPECT_TRUE(preview.HasPreview());
  EXPECT_EQ(preview.DocumentPath(), path);
}

// O_NOATIME binds where the process owns the file; a relatime mount would
// otherwise update an access time older than the modification time.
TEST_F(EmbeddedWBTest, PreviewLeavesTheAccessTimeOfItsOwnFilesAlone) {
  const QString path = Write("seen.png", Encoded(Sample(8, 8), "PNG"));
  const timespec times[2] = {{1000000000, 0}, {1500000000, 0}};  // atime before mtime
  ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
  preview.Navigate(path);
  ASSERT_TRUE(preview.HasPreview());
  struct stat st {};
  ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
  EXPECT_EQ(st.st_atim.tv_sec, 1000000000);
}

}  // namespace
