#pragma once

class QApplication;
class QMessageBox;
class QString;
class QWidget;

namespace velmoran {

// The program's message box: modal, the text, one OK button, no icon, and the program's title
// as its caption. Returns once the user has closed it.
void MsgBox(QWidget* owner, const QString& prompt);

// A modal warning with a warning icon, one OK button and `title` as its caption, as wide as its
// title needs. Returns once the user has closed it.
void WarningBox(QWidget* owner, const QString& title, const QString& text);

// Width, in pixels, that a window needs so that a window manager's title bar shows `title`
// whole: the title in a bold title-bar face plus the bar's icon and buttons.
int titleBarWidth(const QString& title);

// Makes `box` at least titleBarWidth(its title) wide (never wider than its screen). A message
// box sizes itself to its text, which is often narrower than its title.
void widenToTitle(QMessageBox& box);

// Widens every message box `app` shows, Qt's own included, to its title when it is shown.
void installMessageBoxTitleFit(QApplication& app);

} // namespace velmoran
