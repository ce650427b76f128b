// make-demo-cache USER_FOLDER [HOME]: writes the demo's sample URL cache, a
// dozen made-up sites with real small images (PNG, GIF, JPEG, BMP, XBM),
// pages, media and other files, cookies and history entries, as the three
// WinINet containers of a Windows user folder in the Wine layout; with HOME,
// also a Firefox and a Chromium profile with their caches below it.
#include <QBuffer>
#include <QCoreApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "platform/sources/testing/ProfileWriter.h"
#include "platform/wininet/testing/IndexDatWriter.h"
#include "tools/ToolCommandLine.h"

namespace {

using fixture::EntryFixture;

// A small picture: a coloured tile with a shape on it, different per seed.
QImage Picture(int width, int height, int seed) {
  QImage image(width, height, QImage::Format_RGB32);
  const QColor base = QColor::fromHsv((seed * 47) % 360, 120, 235);
  image.fill(base);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor::fromHsv((seed * 47 + 180) % 360, 200, 170));
  switch (seed % 3) {
    case 0:
      painter.drawEllipse(QRectF(width * 0.2, height * 0.2, width * 0.6, height * 0.6));
      break;
    case 1: {
      QPainterPath path;
      path.moveTo(width * 0.5, height * 0.1);
      path.lineTo(width * 0.9, height * 0.9);
      path.lineTo(width * 0.1, height * 0.9);
      path.closeSubpath();
      painter.drawPath(path);
      break;
    }
    default:
      painter.drawRect(QRectF(width * 0.25, height * 0.15, width * 0.5, height * 0.7));
      break;
  }
  return image;
}

std::string Encode(const QImage& image, const char* format) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  if (!image.save(&buffer, format)) {
    std::fprintf(stderr, "make-demo-cache: cannot encode %s\n", format);
    std::exit(1);
  }
  return bytes.toStdString();
}

// GIF89a with a 256-colour table. The LZW stream sends every pixel as a
// literal code and a clear code before the table would outgrow 9-bit codes:
// larger than a real encoder's output, but valid for every decoder.
std::string EncodeGif(const QImage& source) {
  const QImage image = source.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither);
  std::string out = "GIF89a";
  const auto put16 = [&](int v) {
    out.push_back(static_cast<char>(v & 0xff));
    out.push_back(static_cast<char>((v >> 8) & 0xff));
  };
  put16(image.width());
  put16(image.height());
  out += std::string{'\xf7', '\0', '\0'};  // global table of 256 entries
  QList<QRgb> colours = image.colorTable();
  colours.resize(256, qRgb(0, 0, 0));
  for (QRgb c : colours) {
    out.push_back(static_cast<char>(qRed(c)));
    out.push_back(static_cast<char>(qGreen(c)));
    out.push_back(static_cast<char>(qBlue(c)));
  }
  out.push_back(',');
  put16(0);
  put16(0);
  put16(image.width());
  put16(image.height());
  out.push_back('\0');
  out.push_back('\x08');  // minimum code size

  constexpr unsigned kClear = 256, kEnd = 257, kCodeBits = 9, kLiteralsPerClear = 250;
  std::string data;
  std::uint32_t bits = 0;
  unsigned count = 0;
  const auto code = [&](unsigned value) {
    bits |= value << count;
    count += kCodeBits;
    while (count >= 8) {
      data.push_back(static_cast<char>(bits & 0xff));
      bits >>= 8;
      count -= 8;
    }
  };
  unsigned sinceClear = kLiteralsPerClear;
  for (int y = 0; y < image.height(); ++y) {
    const uchar* row = image.constScanLine(y);
    for (int x = 0; x < image.width(); ++x) {
      if (sinceClear == kLiteralsPerClear) {
        code(kClear);
        sinceClear = 0;
      }
      code(row[x]);
      ++sinceClear;
    }
  }
  code(kEnd);
  if (count > 0) data.push_back(static_cast<char>(bits & 0xff));
  for (std::size_t at = 0; at < data.size(); at += 255) {
    const std::string block = data.substr(at, 255);
    out.push_back(static_cast<char>(block.size()));
    out += block;
  }
  out.push_back('\0');
  out.push_back(';');
  return out;
}

// A 0.1-second 8 kHz mono tone.
std::string Wave(int seed) {
  const std::uint32_t samples = 800;
  std::string out = "RIFF";
  const auto put32 = [&](std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
  };
  const auto put16 = [&](std::uint16_t v) {
    out.push_back(static_cast<char>(v & 0xff));
    out.push_back(static_cast<char>(v >> 8));
  };
  put32(36 + samples);
  out += "WAVEfmt ";
  put32(16);
  put16(1);
  put16(1);
  put32(8000);
  put32(8000);
  put16(1);
  put16(8);
  out += "data";
  put32(samples);
  const unsigned period = 10 + static_cast<unsigned>(seed) * 3;
  for (std::uint32_t i = 0; i < samples; ++i)
    out.push_back(static_cast<char>((i % period) < period / 2 ? 0xa0 : 0x60));
  return out;
}

// A MIDI file of one note.
std::string Midi() {
  return std::string("MThd\0\0\0\x06\0\0\0\x01\0\x60", 14) +
         std::string("MTrk\0\0\0\x0d\0\x90\x3c\x40\x60\x80\x3c\x40\0\xff\x2f\0", 21);
}

struct Site {
  std::string host;       // as it appears in the URLs
  std::string directory;  // the cache directory of its files
};

class DemoCache {
 public:
  void File(const Site& site, const std::string& path, const std::string& name,
            std::string contents, const std::string& mime) {
    EntryFixture e;
    e.url = "http://" + site.host + path;
    const std::size_t dot = name.rfind('.');
    const std::string stem = dot == std::string::npos ? name : name.substr(0, dot);
    const std::string ext = dot == std::string::npos ? "" : name.substr(dot + 1);
    e.fileName = stem + "[1]" + (ext.empty() ? "" : "." + ext);
    e.directory = site.directory;
    e.contents = std::move(contents);
    e.extension = ext;
    e.header = "HTTP/1.1 200 OK\r\nContent-Type: " + mime + "\r\n\r\n";
    e.hitRate = 1;
    e.lastModified = fixture::FileTimeOf(2024, 5, 14, 9, 30, 0);
    e.lastAccess = fixture::FileTimeOf(2024, 6, 2, 18, 5, 0);
    spec_.content.entries.push_back(std::move(e));
  }

  void Cookie(const std::string& domain) {
    EntryFixture e;
    e.url = "Cookie:demo@" + domain + "/";
    e.fileName = "demo@" + domain.substr(0, domain.find('.')) + "[1].txt";
    e.contents = "session\nabc123\n" + domain + "/\n1536\n";
    e.extension = "txt";
    e.type = COOKIE_CACHE_ENTRY;
    spec_.cookies.entries.push_back(std::move(e));
  }

  void Visit(const std::string& url) {
    EntryFixture e;
    e.url = "Visited: demo@" + url;
    e.type = URLHISTORY_CACHE_ENTRY;
    e.writeFile = false;
    spec_.history.entries.push_back(std::move(e));
  }

  const fixture::ProfileFixture& Spec() const { return spec_; }

 private:
  fixture::ProfileFixture spec_;
};

std::string Page(const std::string& title) {
  return "<!DOCTYPE html>\n<html><head><title>" + title + "</title></head><body><h1>" + title +
         "</h1><p>Sample page of the Sitelore demo.</p></body></html>\n";
}

void Fill(DemoCache& cache) {
  const Site art{"www.art.example.org", "A7K2M9Q1"};
  const Site artThumbs{"www.art.example.org", "E5J7M2V4"};
  const Site blog{"blog.example.net", "B3N8T5W2"};
  const Site cdn{"cdn.example.com", "C6R1X4Z7"};
  const Site home{"www.example.com", "D2H9L3P8"};
  const Site forum{"forum.example.org", "E5J7M2V4"};
  const Site maps{"maps.example.com", "F8Q3S6Y1"};
  const Site music{"music.example.net", "G4T9W2K6"};
  const Site news{"news.example.com", "H1V5Z8N3"};
  const Site shop{"shop.example.org", "A7K2M9Q1"};
  const Site statics{"static.example.net", "B3N8T5W2"};
  const Site video{"video.example.com", "C6R1X4Z7"};
  const Site weather{"weather.example.org", "D2H9L3P8"};
  const Site wiki{"wiki.example.net", "E5J7M2V4"};

  cache.File(art, "/", "index.html", Page("Art Gallery"), "text/html");
  cache.File(art, "/gallery/sunrise.png", "sunrise.png", Encode(Picture(48, 32, 1), "PNG"),
             "image/png");
  cache.File(art, "/gallery/harbour.jpg", "harbour.jpg", Encode(Picture(64, 40, 2), "JPEG"),
             "image/jpeg");
  cache.File(art, "/gallery/spinner.gif", "spinner.gif", EncodeGif(Picture(24, 24, 3)),
             "image/gif");
  cache.File(art, "/gallery/tiles.bmp", "tiles.bmp", Encode(Picture(32, 32, 4), "BMP"),
             "image/bmp");
  cache.File(art, "/icons/star.xbm", "star.xbm",
             Encode(Picture(16, 16, 5).convertToFormat(QImage::Format_Mono), "XBM"),
             "image/x-xbitmap");
  cache.File(art, "/gallery/", "gallery.html", Page("Gallery"), "text/html");
  cache.File(artThumbs, "/gallery/thumbs/sunrise.png", "sunrise.png",
             Encode(Picture(24, 16, 6), "PNG"), "image/png");
  cache.File(art, "/js/viewer.js", "viewer.js", "function show(i) { return i; }\n",
             "application/javascript");
  cache.File(art, "/audio/welcome.wav", "welcome.wav", Wave(1), "audio/wav");
  cache.Cookie("art.example.org");
  cache.Visit("http://www.art.example.org/");
  cache.Visit("http://www.art.example.org/gallery/");

  cache.File(blog, "/2024/05/notes.html", "notes.html", Page("Notes"), "text/html");
  cache.File(blog, "/feed.xml", "feed.xml", "<?xml version=\"1.0\"?><rss/>\n", "text/xml");
  cache.File(blog, "/img/avatar.png", "avatar.png", Encode(Picture(32, 32, 7), "PNG"), "image/png");
  cache.Cookie("blog.example.net");
  cache.Visit("http://blog.example.net/2024/05/notes.html");

  cache.File(cdn, "/lib/jquery.min.js", "jquery.min.js", "/* sample */\n",
             "application/javascript");
  cache.File(cdn, "/css/site.css", "site.css", "body { margin: 0; }\n", "text/css");
  cache.File(cdn, "/img/banner.jpg", "banner.jpg", Encode(Picture(120, 30, 8), "JPEG"),
             "image/jpeg");

  cache.File(home, "/", "index.html", Page("Example"), "text/html");
  cache.File(home, "/logo.gif", "logo.gif", EncodeGif(Picture(40, 20, 9)), "image/gif");
  cache.Cookie("example.com");
  cache.Visit("http://www.example.com/");

  cache.File(forum, "/thread.php", "thread.php", Page("Thread"), "text/html");
  cache.File(forum, "/smilies/grin.gif", "grin.gif", EncodeGif(Picture(16, 16, 10)), "image/gif");
  cache.Cookie("forum.example.org");
  cache.Visit("http://forum.example.org/thread.php?id=42");

  cache.File(maps, "/tiles/12/2048/1361.png", "1361.png", Encode(Picture(64, 64, 11), "PNG"),
             "image/png");
  cache.File(maps, "/tiles/12/2048/1362.png", "1362.png", Encode(Picture(64, 64, 12), "PNG"),
             "image/png");
  cache.Visit("http://maps.example.com/");

  cache.File(music, "/preview/theme.mid", "theme.mid", Midi(), "audio/midi");
  cache.File(music, "/preview/intro.wav", "intro.wav", Wave(2), "audio/wav");
  cache.File(music, "/covers/album.jpg", "album.jpg", Encode(Picture(48, 48, 13), "JPEG"),
             "image/jpeg");
  cache.Cookie("music.example.net");

  cache.File(news, "/world/", "world.htm", Page("World News"), "text/html");
  cache.File(news, "/photos/storm.jpg", "storm.jpg", Encode(Picture(80, 50, 14), "JPEG"),
             "image/jpeg");
  cache.File(news, "/ads/banner.swf", "banner.swf", std::string("FWS\x06\x20\0\0\0", 8),
             "application/x-shockwave-flash");
  cache.Visit("http://news.example.com/world/");

  cache.File(shop, "/cart.asp", "cart.asp", Page("Cart"), "text/html");
  cache.File(shop, "/items/teapot.bmp", "teapot.bmp", Encode(Picture(24, 24, 15), "BMP"),
             "image/bmp");
  cache.File(shop, "/data/prices", "prices", "teapot 12.50\n", "application/octet-stream");
  cache.Cookie("shop.example.org");

  cache.File(statics, "/fonts/sans.woff", "sans.woff", "wOFF", "font/woff");
  cache.File(statics, "/app.js", "app.js", "console.log('demo');\n", "application/javascript");

  cache.File(video, "/clips/trailer.mpg", "trailer.mpg", std::string("\0\0\x01\xba", 4),
             "video/mpeg");
  cache.File(video, "/player.swf", "player.swf", std::string("FWS\x06\x20\0\0\0", 8),
             "application/x-shockwave-flash");
  cache.Visit("http://video.example.com/clips/");

  cache.File(weather, "/today.html", "today.html", Page("Weather"), "text/html");
  cache.File(weather, "/icons/sun.xbm", "sun.xbm",
             Encode(Picture(16, 16, 16).convertToFormat(QImage::Format_Mono), "XBM"),
             "image/x-xbitmap");

  cache.File(wiki, "/wiki/Main_Page", "Main_Page", Page("Main Page"), "text/html");
  cache.File(wiki, "/images/diagram.png", "diagram.png", Encode(Picture(40, 30, 17), "PNG"),
             "image/png");
  cache.Visit("http://wiki.example.net/wiki/Main_Page");
}

constexpr std::int64_t kDemoVisitMicros = 1700000000000000;

void WriteFirefoxProfile(const std::string& home) {
  namespace t = sources::testing;
  t::FirefoxProfileSpec profile;
  profile.name = "default-release";
  profile.folder = "demo1234.default-release";
  profile.visits = {{"https://maps.example.org/", 3, kDemoVisitMicros},
                    {"https://maps.example.org/city/harbour", 1, kDemoVisitMicros + 60000000}};
  profile.cookies = {{"maps.example.org", "/", "zoom", "demo-only", -1, 1900000000000000}};
  t::WriteFirefoxProfiles(home + "/.mozilla/firefox", {profile});
  const std::string cache2 = home + "/.cache/mozilla/firefox/" + profile.folder + "/cache2";
  t::Cache2EntrySpec tile;
  tile.key = "O^partitionKey=%28https%2Cexample.org%29,:https://maps.example.org/tiles/3/4/2.png";
  tile.body = Encode(Picture(64, 64, 21), "PNG");
  tile.responseHead = t::ResponseHead(200, "image/png");
  t::WriteCache2Entry(cache2, "entries/6A1F0C2D9B3E4F5061728394A5B6C7D8E9F00112", tile);
  t::Cache2EntrySpec page;
  page.key = ":https://maps.example.org/city/harbour";
  page.body = Page("Harbour");
  page.responseHead = t::ResponseHead(200, "text/html; charset=utf-8");
  t::WriteCache2Entry(cache2, "entries/0B5E3A7C11D24F68A9B0C1D2E3F405162738495A", page);
}

void WriteChromiumProfile(const std::string& home) {
  namespace t = sources::testing;
  t::ChromiumProfileSpec profile;
  profile.visits = {{"https://recipes.example.com/soup", 2, kDemoVisitMicros + 120000000}};
  profile.cookies = {{"recipes.example.com", "/", "units", "demo-only", 443, 1900000000000000}};
  t::WriteChromiumUserData(home + "/.config/chromium", {profile});
  const std::string cacheData = home + "/.cache/chromium/Default/Cache/Cache_Data";
  t::SimpleEntrySpec photo;
  photo.key =
      "1/0/_dk_https://example.com https://example.com https://recipes.example.com/img/soup.jpg";
  photo.body = Encode(Picture(48, 36, 5), "JPEG");
  photo.responseHead = t::ResponseHead(200, "image/jpeg");
  t::WriteSimpleCacheEntry(cacheData, photo);
  t::SimpleEntrySpec page;
  page.key = "1/0/_dk_https://example.com https://example.com https://recipes.example.com/soup";
  page.body = Page("Soup");
  page.responseHead = t::ResponseHead(200, "text/html");
  t::WriteSimpleCacheEntry(cacheData, page);
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{
      "Writes the demo's sample URL cache into a Windows user folder, and a Firefox and "
      "a Chromium profile into a home folder.",
      "make-demo-cache"};
  std::string userFolder;
  std::string home;
  app.add_option("USER_FOLDER", userFolder, "The user folder to write the containers into")
      ->required();
  app.add_option("HOME", home, "The home folder to write the browser profiles into");
  if (std::optional<int> code = ParseToolCommandLine(app, argc, argv)) return *code;
  int qtArgc = 1;
  QCoreApplication application(qtArgc, argv);
  DemoCache cache;
  Fill(cache);
  std::string error;
  if (!fixture::WriteProfile(userFolder, cache.Spec(), &error)) {
    std::fprintf(stderr, "make-demo-cache: %s\n", error.c_str());
    return 1;
  }
  if (!home.empty()) {
    try {
      WriteFirefoxProfile(home);
      WriteChromiumProfile(home);
    } catch (const std::exception& failure) {
      std::fprintf(stderr, "make-demo-cache: %s\n", failure.what());
      return 1;
    }
  }
  return 0;
}
