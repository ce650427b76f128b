#include "ui/ShellContextMenu.h"

#include <shellapi.h>

#include <QAction>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QIcon>
#include <QMenu>
#include <QPointer>
#include <QWidget>
#include <cstdint>
#include <string>

#include "platform/shell/DesktopApps.h"
#include "platform/shell/Launcher.h"

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

QString MenuText(const QString& text) {
  QString escaped = text;
  return escaped.replace(QLatin1Char('&'), QStringLiteral("&&"));
}

QIcon IconOf(const shell::DesktopApplication& app) {
  if (app.icon.empty()) return {};
  QString icon = QString::fromStdString(app.icon);
  return QDir::isAbsolutePath(icon) ? QIcon(icon) : QIcon::fromTheme(icon);
}

bool OpenWithDefault(const QString& path, const QString& folder) {
  HINSTANCE result =
      ShellExecuteA(nullptr, "open", Local(path).c_str(), "", Local(folder).c_str(), SW_SHOWNORMAL);
  return reinterpret_cast<std::intptr_t>(result) > 32;
}

bool OpenFolder(const std::string& folder) {
  return shell::CurrentLauncher().Open(folder, "") == shell::LaunchResult::kStarted;
}

// The file manager's answer comes later; only a refusal (no file manager on
// the bus) opens the folder itself with its default handler.
bool ShowInFolder(const QString& path, const QString& folder) {
  const std::string local = Local(folder);
  if (shell::CurrentLauncher().ShowInFolder(Local(path), [local] { OpenFolder(local); }))
    return true;
  return OpenFolder(local);
}

bool CopyPath(const QString& path) {
  QClipboard* clipboard = QGuiApplication::clipboard();
  if (clipboard == nullptr) return false;
  clipboard->setText(path);
  return true;
}

}  // namespace

std::unique_ptr<QMenu> BuildShellContextMenu(const QString& path, QWidget* parent) {
  QFileInfo info(path);
  if (path.isEmpty() || !info.exists()) return nullptr;
  QString file = info.absoluteFilePath();
  QString folder = info.absolutePath();

  auto menu = std::make_unique<QMenu>(parent);
  auto* open = new CommandAction(QStringLiteral("&Open"), menu.get(),
                                 [file, folder] { return OpenWithDefault(file, folder); });
  menu->addAction(open);
  menu->setDefaultAction(open);

  QMenu* openWith = menu->addMenu(QStringLiteral("Open &With"));
  for (const shell::DesktopApplication& app : shell::ApplicationsForFile(Local(file))) {
    std::string id = app.id;
    auto* action = new CommandAction(
        MenuText(QString::fromStdString(app.name)), openWith,
        [id, file] { return shell::CurrentLauncher().OpenWith(id, Local(file)); });
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
