#include "platform/shell/DesktopApps.h"

#include <gio/gio.h>

namespace shell {

namespace {

std::string IconOf(GAppInfo* app) {
  GIcon* icon = g_app_info_get_icon(app);  // not owned
  if (icon == nullptr) return {};
  if (G_IS_THEMED_ICON(icon)) {
    const gchar* const* names = g_themed_icon_get_names(G_THEMED_ICON(icon));
    return names != nullptr && names[0] != nullptr ? names[0] : "";
  }
  if (G_IS_FILE_ICON(icon)) {
    gchar* path = g_file_get_path(g_file_icon_get_file(G_FILE_ICON(icon)));
    std::string result = path != nullptr ? path : "";
    g_free(path);
    return result;
  }
  return {};
}

}  // namespace

std::string ContentTypeOfFile(const std::string& path) {
  if (path.empty()) return {};
  GFile* file = g_file_new_for_path(path.c_str());
  GFileInfo* info = g_file_query_info(file, G_FILE_ATTRIBUTE_STANDARD_CONTENT_TYPE,
                                      G_FILE_QUERY_INFO_NONE, nullptr, nullptr);
  std::string type;
  if (info != nullptr) {
    const char* value = g_file_info_get_content_type(info);
    if (value != nullptr) type = value;
    g_object_unref(info);
  }
  g_object_unref(file);
  return type;
}

std::vector<DesktopApplication> ApplicationsForFile(const std::string& path) {
  std::vector<DesktopApplication> result;
  std::string type = ContentTypeOfFile(path);
  if (type.empty()) return result;
  GList* apps = g_app_info_get_all_for_type(type.c_str());
  for (GList* node = apps; node != nullptr; node = node->next) {
    GAppInfo* app = G_APP_INFO(node->data);
    const char* id = g_app_info_get_id(app);
    const char* name = g_app_info_get_name(app);
    if (id == nullptr) continue;  // not from a desktop file: cannot be launched by id
    result.push_back({id, name != nullptr ? name : id, IconOf(app)});
  }
  g_list_free_full(apps, g_object_unref);
  return result;
}

}  // namespace shell
