#include "ui/ShellContextMenu.h"

#include <shellapi.h>

#include <sys/stat.h>
#include <unistd.h>
#include <QAction>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QIcon>
#include <QMenu>
#include <QPointer>
#include <QWidget>

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

#include "platform/shell/DesktopApps.h"
#include "platform/shell/Launcher.h"
#include "platform/wininet/UrlCacheService.h"

namespace {

// An entry of the menu together with what it does.
class CommandAction : public QAction {
 public:
  CommandAction(const QString& text, QObject* parent, std::function<bool()> command)
      : QAction(text, parent), command_(std::move(command)) {}
  bool Run() const { return command_(); }

 private:
  std::function<bool()> command_;
};

ShellMenuPresenter& Presenter() {
  static ShellMenuPresenter presenter;
  return presenter;
}

std::string Local(const QString& path) {
  return QFile::encodeName(path).toStdString();
}

// `path` made absolute without resolving links; null when nothing is there.
std::optional<std::string> ExistingAbsolute(const std::string& path) {
  struct stat status {};
  if (path.empty() || stat(path.c_str(), &status) != 0) return std::nullopt;
  if (path.front() == '/') return path;
  char* cwd = getcwd(nullptr, 0);
  if (cwd == nullptr) return std::nullopt;
  std::string absolute = std::string(cwd) + "/" + path;
  std::free(cwd);
  return absolute;
}

// The folder part of an absolute path, "/" for a file in the root.
std::string FolderOf(const std::string& absolute) {
  const std::size_t slash = absolute.find_last_of('/');
  return slash == 0 ? "/" : absolute.substr(0, slash);
}

QString MenuText(const QString& text) {
  QString escaped = text;
  return escaped.replace(QLatin1Char('&'), QStringLiteral("&&"));
}

QIcon IconOf(const shell::DesktopApplication& app) {
  if (app.icon.empty()) return {};
  QString icon = QString::fromStdString(app.icon);
  return QDir::isAbsolutePath(icon) ? QIcon(icon) : QIcon::fromTheme(icon);
}

bool OpenWithDefault(const std::string& path, const std::string& folder) {
  HINSTANCE result =
      ShellExecuteA(nullptr, "open", path.c_str(), "", folder.c_str(), SW_SHOWNORMAL);
  return reinterpret_cast<std::intptr_t>(result) > 32;
}

bool OpenFolder(const std::string& folder) {
  return shell::CurrentLauncher().Open(folder, "") == shell::LaunchResult::kStarted;
}

// The file manager's answer comes later; only a refusal (no file manager on
// the bus) opens the folder itself with its default handler.
bool ShowInFolder(const std::string& path, const std::string& folder) {
  if (shell::CurrentLauncher().ShowInFolder(path, [folder] { OpenFolder(folder); })) return true;
  return OpenFolder(folder);
}

// The clipboard holds text: a name that is not in the file system's
// encoding is copied as Qt decodes it.
bool CopyPath(const std::string& path) {
  QClipboard* clipboard = QGuiApplication::clipboard();
  if (clipboard == nullptr) return false;
  clipboard->setText(QFile::decodeName(QByteArray::fromStdString(path)));
  return true;
}

}  // namespace

std::unique_ptr<QMenu> BuildShellContextMenu(const QString& path, QWidget* parent) {
  return BuildShellContextMenu(Local(path), parent);
}

std::unique_ptr<QMenu> BuildShellContextMenu(const std::string& path, QWidget* parent) {
  // A trace that the URL cache cannot write out has no file, so no menu.
  if (!urlcache::RetrieveLocalFile(path)) return nullptr;
  const std::optional<std::string> absolute = ExistingAbsolute(path);
  if (!absolute) return nullptr;
  const std::string& file = *absolute;
  const std::string folder = FolderOf(file);

  auto menu = std::make_unique<QMenu>(parent);
  auto* open = new CommandAction(QStringLiteral("&Open"), menu.get(),
                                 [file, folder] { return OpenWithDefault(file, folder); });
  menu->addAction(open);
  menu->setDefaultAction(open);

  QMenu* openWith = menu->addMenu(QStringLiteral("Open &With"));
  for (const shell::DesktopApplication& app : shell::ApplicationsForFile(file)) {
    std::string id = app.id;
    auto* action =
        new CommandAction(MenuText(QString::fromStdString(app.name)), openWith,
                          [id, file] { return shell::CurrentLauncher().OpenWith(id, file); });
    action->setIcon(IconOf(app));
    openWith->addAction(action);
  }
  openWith->setEnabled(!openWith->isEmpty());

  menu->addSeparator();
  menu->addAction(new CommandAction(QStringLiteral("Show in &Folder"), menu.get(),
                                    [file, folder] { return ShowInFolder(file, folder); }));
  menu->addAction(new CommandAction(QStringLiteral("&Copy Path"), menu.get(),
                                    [file] { return CopyPath(file); }));
  return menu;
}

bool RunShellContextCommand(QAction* action) {
  auto* command = dynamic_cast<CommandAction*>(action);
  return command != nullptr && command->Run();
}

void SetShellMenuPresenter(ShellMenuPresenter presenter) {
  Presenter() = std::move(presenter);
}

bool ShowShellContextMenu(QWidget* window, const QString& path, const QPoint& point) {
  return ShowShellContextMenu(window, Local(path), point);
}

bool ShowShellContextMenu(QWidget* window, const std::string& path, const QPoint& point) {
  std::unique_ptr<QMenu> built = BuildShellContextMenu(path, window);
  if (!built) return false;
  // Owned by `window` too: should the window go while the menu is open, the
  // menu goes with it and is not deleted twice.
  QPointer<QMenu> menu = built.release();
  struct Destroy {
    QPointer<QMenu>& menu;
    ~Destroy() { delete menu.data(); }
  } destroy{menu};

  QPoint screenPoint = window != nullptr ? window->mapToGlobal(point) : point;
  QAction* chosen = Presenter() ? Presenter()(*menu, screenPoint) : menu->exec(screenPoint);
  if (menu.isNull()) return false;
  return RunShellContextCommand(chosen);
}
