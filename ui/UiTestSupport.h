// Helpers for the window's tests: the application object, sample caches
// written to a scratch folder, and a look at the frame's private lists.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "platform/wininet/ContainerLocator.h"
#include "platform/wininet/UrlCacheService.h"
#include "platform/wininet/testing/IndexDatWriter.h"
#include "ui/CachedSitesFrame.h"
#include "ui/ListBox.h"
#include "ui/SiteloreApp.h"

namespace uitest {

// Error reports of the test application, in order.
inline std::vector<std::pair<QString, QString>>& Reports() {
  static std::vector<std::pair<QString, QString>> reports;
  return reports;
}

// Sends error reports to Reports() instead of a message box.
inline void RecordReports() {
  SetErrorReporter(
      [](const QString& caption, const QString& text) { Reports().emplace_back(caption, text); });
}

// Owns the test application from its first use to the end of the test run.
class ApplicationEnvironment : public ::testing::Environment {
 public:
  static TSiteloreApplication*& Instance() {
    static TSiteloreApplication* instance = nullptr;
    return instance;
  }
  void TearDown() override {
    delete Instance();
    Instance() = nullptr;
  }
};

inline ::testing::Environment* const kApplicationEnvironment =
    ::testing::AddGlobalTestEnvironment(new ApplicationEnvironment);

// The process's application object: a TSiteloreApplication made on first
// use, on Qt's offscreen platform unless another one is asked for. Error
// reports go to Reports() instead of a message box. Null when some other
// application object exists.
inline TSiteloreApplication* Application() {
  if (!QCoreApplication::instance()) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "ui_tests";
    static char* argv[] = {name, nullptr};
    ApplicationEnvironment::Instance() = new TSiteloreApplication(argc, argv);
    RecordReports();
  }
  return qobject_cast<TSiteloreApplication*>(QCoreApplication::instance());
}

inline fixture::EntryFixture Content(std::string url, std::string directory, std::string file) {
  fixture::EntryFixture e;
  e.url = std::move(url);
  e.directory = std::move(directory);
  e.fileName = std::move(file);
  e.contents = "x";
  return e;
}

inline fixture::EntryFixture Cookie(std::string url, std::string file) {
  fixture::EntryFixture e;
  e.url = std::move(url);
  e.fileName = std::move(file);
  e.contents = "cookie";
  e.type = COOKIE_CACHE_ENTRY;
  return e;
}

inline fixture::EntryFixture Visit(std::string url) {
  fixture::EntryFixture e;
  e.url = std::move(url);
  e.type = URLHISTORY_CACHE_ENTRY;
  e.writeFile = false;
  return e;
}

// A URL cache written to a scratch folder, which the URL-cache service reads
// while this object lives.
class ScratchCache {
 public:
  explicit ScratchCache(const fixture::ProfileFixture& spec) {
    user_ = dir_.path().toStdString() + "/user";
    std::string error;
    written_ = fixture::WriteProfile(user_, spec, &error);
    EXPECT_TRUE(written_) << error;
    urlcache::SetUrlCacheProfile(user_);
  }
  ~ScratchCache() { urlcache::SetUrlCacheProfile(""); }
  ScratchCache(const ScratchCache&) = delete;
  ScratchCache& operator=(const ScratchCache&) = delete;

  const std::string& UserFolder() const { return user_; }
  // The full local path of a cached file in the content container.
  std::string ContentFile(const std::string& directory, const std::string& file) const {
    return user_ + "/" + fixture::ContainerPath(fixture::ProfileLayout::Wine, 2) + "/" + directory +
           "/" + file;
  }

 private:
  QTemporaryDir dir_;
  std::string user_;
  bool written_ = false;
};

// The Wine-written sample cache.
inline std::string WineBasicPrefix() {
  return std::string(SITELORE_SHARED_DIR) + "/fixtures/wine-basic/prefix";
}

// A URL-cache provider that fails every walk with an exception.
class ThrowingProvider : public urlcache::Provider {
 public:
  std::unique_ptr<urlcache::Cursor> Open(urlcache::Container) override {
    throw std::runtime_error("The URL cache cannot be read");
  }
};

}  // namespace uitest

// Read access to the frame's private lists.
struct TframeCachedSitesPeer {
  static const TPathList& ImagePaths(const TframeCachedSites& f) { return f.ImagePaths; }
  static const TPathList& PagePaths(const TframeCachedSites& f) { return f.PagePaths; }
  static const TPathList& OtherPaths(const TframeCachedSites& f) { return f.OtherPaths; }
  static const TPathList& MediaPaths(const TframeCachedSites& f) { return f.MediaPaths; }
  static const TPathList& CookiePaths(const TframeCachedSites& f) { return f.CookiePaths; }
  static const TCacheAnalyzer* Analyzer(const TframeCachedSites& f) { return f.Analyzer.get(); }
};
