// The desktop's context menu of one file, standing in for the Windows shell's:
// "Open" with the default application, "Open With" every application the
// MIME database associates with the file's type, "Show in Folder" and "Copy
// Path".
#pragma once

#include <QPoint>
#include <QString>
#include <functional>
#include <memory>
#include <string>

class QAction;
class QMenu;
class QWidget;

// Shows the menu of the file at `path` modally at `point`, a point of
// `window`'s client area (of the screen when `window` is null), and runs the
// command the user picks. Returns true when a command was chosen and reported
// success; false when the file does not exist (then no menu is shown), when
// the menu was dismissed, or when the command failed. Never shows a message.
// `path` is a file name in the file system's bytes, kept as it is from end
// to end (a name that is not UTF-8 included); the QString form is encoded
// as Qt encodes file names.
bool ShowShellContextMenu(QWidget* window, const std::string& path, const QPoint& point);
bool ShowShellContextMenu(QWidget* window, const QString& path, const QPoint& point);

// The menu ShowShellContextMenu shows for `path`, owned by the caller; null
// when there is no file or folder at `path`. A browser trace's file is
// written out through the URL cache first (urlcache::RetrieveLocalFile); one
// that cannot be written has no menu.
std::unique_ptr<QMenu> BuildShellContextMenu(const std::string& path, QWidget* parent = nullptr);
std::unique_ptr<QMenu> BuildShellContextMenu(const QString& path, QWidget* parent = nullptr);

// Runs the command of `action`, an action of a menu from
// BuildShellContextMenu; true when it reported success. False for null or any
// other action.
bool RunShellContextCommand(QAction* action);

// Shows `menu` at `screenPoint` and returns the action the user chose, or
// null when the menu was dismissed. The default runs QMenu::exec; tests
// install one that picks an action themselves. An empty function installs the
// default again.
using ShellMenuPresenter = std::function<QAction*(QMenu& menu, const QPoint& screenPoint)>;
void SetShellMenuPresenter(ShellMenuPresenter presenter);
