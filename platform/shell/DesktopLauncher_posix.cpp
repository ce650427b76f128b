#include "platform/shell/DesktopLauncher.h"

#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>
#include <sys/stat.h>

#include <cctype>
#include <functional>
#include <memory>
#include <string>

namespace shell {

namespace {

// Asking a file manager that D-Bus has to start first may take a while;
// nobody waits for the answer, which only decides whether to fall back.
constexpr int kShowItemsTimeoutMs = 120000;

struct GObjectUnref {
  void operator()(gpointer object) const { g_object_unref(object); }
};
template <typename T>
using GObjectPtr = std::unique_ptr<T, GObjectUnref>;

struct GFreeDeleter {
  void operator()(gpointer memory) const { g_free(memory); }
};
using GCharPtr = std::unique_ptr<gchar, GFreeDeleter>;

struct GErrorDeleter {
  void operator()(GError* error) const { g_error_free(error); }
};
using GErrorPtr = std::unique_ptr<GError, GErrorDeleter>;

// One ShowItems request on its way; owned by the callbacks that carry it.
struct ShowItemsCall {
  std::string uri;
  std::function<void()> failed;

  void Fail() const {
    if (failed) failed();
  }
};

void OnShowItemsReply(GObject* source, GAsyncResult* result, gpointer data) {
  std::unique_ptr<ShowItemsCall> call(static_cast<ShowItemsCall*>(data));
  GError* raw = nullptr;
  GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &raw);
  GErrorPtr error(raw);
  if (reply != nullptr) {
    g_variant_unref(reply);
    return;
  }
  // No answer in time is not a refusal: the file manager may still show the
  // folder, and opening it as well would show it twice.
  if (!g_error_matches(error.get(), G_IO_ERROR, G_IO_ERROR_TIMED_OUT)) call->Fail();
}

void OnSessionBus(GObject* /*source*/, GAsyncResult* result, gpointer data) {
  std::unique_ptr<ShowItemsCall> call(static_cast<ShowItemsCall*>(data));
  GError* raw = nullptr;
  GObjectPtr<GDBusConnection> bus(g_bus_get_finish(result, &raw));
  GErrorPtr error(raw);
  if (!bus) {
    call->Fail();
    return;
  }
  const gchar* uris[] = {call->uri.c_str(), nullptr};
  GVariant* arguments = g_variant_new("(^ass)", uris, "");
  g_dbus_connection_call(bus.get(), "org.freedesktop.FileManager1", "/org/freedesktop/FileManager1",
                         "org.freedesktop.FileManager1", "ShowItems", arguments, nullptr,
                         G_DBUS_CALL_FLAGS_NONE, kShowItemsTimeoutMs, nullptr, OnShowItemsReply,
                         call.release());
}

bool Exists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

bool IsDirectory(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string Resolve(const std::string& target, const std::string& directory) {
  if (directory.empty() || target.front() == '/') return target;
  std::string path = directory;
  if (path.back() != '/') path += '/';
  return path + target;
}

LaunchResult FromSpawnError(const GError* error) {
  if (error == nullptr || error->domain != G_SPAWN_ERROR) return LaunchResult::kFailed;
  switch (error->code) {
    case G_SPAWN_ERROR_NOENT:
      return LaunchResult::kNoHandler;
    case G_SPAWN_ERROR_CHDIR:
      return LaunchResult::kPathNotFound;
    case G_SPAWN_ERROR_ACCES:
    case G_SPAWN_ERROR_PERM:
      return LaunchResult::kAccessDenied;
    default:
      return LaunchResult::kFailed;
  }
}

}  // namespace

bool LooksLikeAddress(const std::string& target) {
  size_t colon = target.find(':');
  if (colon == std::string::npos || colon < 2) return false;
  if (!std::isalpha(static_cast<unsigned char>(target[0]))) return false;
  for (size_t i = 1; i < colon; ++i) {
    unsigned char c = static_cast<unsigned char>(target[i]);
    if (!std::isalnum(c) && c != '+' && c != '-' && c != '.') return false;
  }
  return true;
}

LaunchResult DesktopLauncher::Open(const std::string& target, const std::string& directory) {
  if (target.empty()) return LaunchResult::kFileNotFound;
  if (!directory.empty() && !IsDirectory(directory)) return LaunchResult::kPathNotFound;
  if (!Exists(Resolve(target, directory)) && !LooksLikeAddress(target)) {
    return LaunchResult::kFileNotFound;
  }

  // No command shell in between: the target is one element of argv. Without
  // G_SPAWN_DO_NOT_REAP_CHILD, GLib starts the program through an
  // intermediate child that it reaps at once, so the program is orphaned to
  // init and never becomes our zombie; its stdin is /dev/null and no
  // descriptor of ours leaks into it.
  std::string program = "xdg-open";
  gchar* argv[] = {program.data(), const_cast<gchar*>(target.c_str()), nullptr};
  GError* raw = nullptr;
  gboolean started = g_spawn_async(directory.empty() ? nullptr : directory.c_str(), argv, nullptr,
                                   G_SPAWN_SEARCH_PATH, nullptr, nullptr, nullptr, &raw);
  GErrorPtr error(raw);
  return started ? LaunchResult::kStarted : FromSpawnError(error.get());
}

bool DesktopLauncher::OpenWith(const std::string& applicationId, const std::string& path) {
  GObjectPtr<GDesktopAppInfo> app(g_desktop_app_info_new(applicationId.c_str()));
  if (!app || path.empty()) return false;
  GObjectPtr<GFile> file(g_file_new_for_path(path.c_str()));
  GList files = {file.get(), nullptr, nullptr};
  GError* raw = nullptr;
  gboolean launched = g_app_info_launch(G_APP_INFO(app.get()), &files, nullptr, &raw);
  GErrorPtr error(raw);
  return launched;
}

bool DesktopLauncher::ShowInFolder(const std::string& path, std::function<void()> failed) {
  if (path.empty()) return false;
  GCharPtr absolute(g_canonicalize_filename(path.c_str(), nullptr));
  GCharPtr uri(g_filename_to_uri(absolute.get(), nullptr, nullptr));
  if (!uri) return false;
  auto* call = new ShowItemsCall{uri.get(), std::move(failed)};
  g_bus_get(G_BUS_TYPE_SESSION, nullptr, OnSessionBus, call);
  return true;
}

}  // namespace shell
