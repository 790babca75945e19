#pragma once

// Qt's own texts (the buttons and labels of its file dialogs and message boxes) in the
// window's language, Simplified Chinese, whatever the desktop's language is.

class QCoreApplication;
class QString;

namespace velmoran {

// The locale of every text the program shows.
inline constexpr char kUiLocale[] = "zh_CN";

// Loads Qt's Simplified Chinese catalogues from Qt's translations folder and installs them in
// `app` (they live as long as it). Returns false when a catalogue is missing (the package
// qt6-translations-l10n is not installed): Qt's texts then stay in English.
bool installQtTranslations(QCoreApplication& app);

// The folder the catalogues are read from (Qt's translations path).
QString qtTranslationsFolder();

} // namespace velmoran
