// DesktopLauncher::ShowInFolder on a session bus of the test's own (GLib's
// GTestDBus runs a private dbus-daemon), with a file manager the test plays.
#include <gio/gio.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/shell/DesktopLauncher.h"

namespace {

const char kInterface[] =
    "<node><interface name='org.freedesktop.FileManager1'>"
    "<method name='ShowItems'><arg type='as' direction='in'/><arg type='s' direction='in'/>"
    "</method></interface></node>";

// org.freedesktop.FileManager1 on a connection of its own; it answers each
// ShowItems from the main context, accepting or refusing.
class FakeFileManager {
 public:
  explicit FakeFileManager(const char* address) {
    connection_ = g_dbus_connection_new_for_address_sync(
        address,
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, nullptr);
    if (!connection_) return;
    GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(kInterface, nullptr);
    static const GDBusInterfaceVTable vtable = {&FakeFileManager::OnCall, nullptr, nullptr, {}};
    registration_ =
        g_dbus_connection_register_object(connection_, "/org/freedesktop/FileManager1",
                                          node->interfaces[0], &vtable, this, nullptr, nullptr);
    g_dbus_node_info_unref(node);
    GVariant* owned = g_dbus_connection_call_sync(
        connection_, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
        "RequestName", g_variant_new("(su)", "org.freedesktop.FileManager1", 4u),
        G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr);
    if (owned) g_variant_unref(owned);
  }
  ~FakeFileManager() {
    if (!connection_) return;
    g_dbus_connection_unregister_object(connection_, registration_);
    g_dbus_connection_close_sync(connection_, nullptr, nullptr);
    g_object_unref(connection_);
  }
  FakeFileManager(const FakeFileManager&) = delete;
  FakeFileManager& operator=(const FakeFileManager&) = delete;

  bool Ready() const { return connection_ != nullptr && registration_ != 0; }

  bool accept = true;
  std::vector<std::string> shown;  // the URIs asked for, in order

 private:
  static void OnCall(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*,
                     GVariant* parameters, GDBusMethodInvocation* invocation, gpointer data) {
    auto* self = static_cast<FakeFileManager*>(data);
    GVariantIter* uris = nullptr;
    const gchar* startup = nullptr;
    g_variant_get(parameters, "(as&s)", &uris, &startup);
    const gchar* uri = nullptr;
    while (g_variant_iter_next(uris, "&s", &uri)) self->shown.emplace_back(uri);
    g_variant_iter_free(uris);
    if (self->accept) {
      g_dbus_method_invocation_return_value(invocation, nullptr);
    } else {
      g_dbus_method_invocation_return_dbus_error(invocation, "org.freedesktop.DBus.Error.Failed",
                                                 "refused");
    }
  }

  GDBusConnection* connection_ = nullptr;
  guint registration_ = 0;
};

// Runs GLib's default main context, as the window's event loop does, until
// `done` holds; false when it does not within twenty seconds.
template <typename Done>
bool RunUntil(Done done) {
  bool expired = false;
  guint timer = g_timeout_add_seconds(
      20, [](gpointer flag) { return *static_cast<bool*>(flag) = true, G_SOURCE_REMOVE; },
      &expired);
  while (!done() && !expired) g_main_context_iteration(nullptr, TRUE);
  if (!expired) g_source_remove(timer);
  return done();
}

class ShowInFolderTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    bus_ = g_test_dbus_new(G_TEST_DBUS_NONE);
    g_test_dbus_up(bus_);
  }
  static void TearDownTestSuite() {
    g_test_dbus_down(bus_);
    g_object_unref(bus_);
  }

  std::string file_ = std::filesystem::current_path().string() + "/a trace.gif";
  std::string uri_ = "file://" + std::filesystem::current_path().string() + "/a%20trace.gif";
  int failures_ = 0;
  shell::DesktopLauncher launcher_;

  static GTestDBus* bus_;
};

GTestDBus* ShowInFolderTest::bus_ = nullptr;

TEST_F(ShowInFolderTest, ReturnsBeforeTheFileManagerAnswersAndFallsBackOnlyOnARefusal) {
  FakeFileManager manager(g_test_dbus_get_bus_address(bus_));
  ASSERT_TRUE(manager.Ready());
  ASSERT_TRUE(launcher_.ShowInFolder(file_, [this] { ++failures_; }));
  // Nothing has reached the file manager yet: the caller did not wait.
  EXPECT_TRUE(manager.shown.empty());
  ASSERT_TRUE(RunUntil([&] { return manager.shown.size() == 1; }));
  EXPECT_EQ(manager.shown[0], uri_);

  // A refusal falls back; its answer comes after the first one's, so by then
  // the acceptance has been seen too and did not fall back.
  manager.accept = false;
  ASSERT_TRUE(launcher_.ShowInFolder(file_, [this] { ++failures_; }));
  ASSERT_TRUE(RunUntil([&] { return failures_ > 0; }));
  EXPECT_EQ(manager.shown.size(), 2u);
  EXPECT_EQ(failures_, 1);
}

TEST_F(ShowInFolderTest, NoFileManagerOnTheBusFallsBack) {
  ASSERT_TRUE(launcher_.ShowInFolder(file_, [this] { ++failures_; }));
  EXPECT_TRUE(RunUntil([&] { return failures_ == 1; }));
}

TEST_F(ShowInFolderTest, ARequestThatCannotBeMadeIsRefusedAtOnce) {
  EXPECT_FALSE(launcher_.ShowInFolder("", [this] { ++failures_; }));
  EXPECT_EQ(failures_, 0);
}

}  // namespace
