#pragma once

class QString;
class QWidget;

namespace velmoran {

// The program's message box: modal, the text, one OK button, no icon, and the program's title
// as its caption. Returns once the user has closed it.
void MsgBox(QWidget* owner, const QString& prompt);

} // namespace velmoran
