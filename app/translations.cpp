#include "app/translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace velmoran {

QString qtTranslationsFolder() {
    return QLibraryInfo::path(QLibraryInfo::TranslationsPath);
}

bool installQtTranslations(QCoreApplication& app) {
    // qtbase holds the dialogs and buttons of Qt Widgets; qtserialport the serial errors that
    // Qt itself words.
    const QLocale chinese(QString::fromLatin1(kUiLocale));
    bool all = true;
    for (const char* catalogue : {"qtbase", "qtserialport"}) {
        auto* translator = new QTranslator(&app);
        if (translator->load(chinese, QString::fromLatin1(catalogue), QStringLiteral("_"),
                             qtTranslationsFolder())) {
            QCoreApplication::installTranslator(translator);
        } else {
            delete translator;
            all = false;
        }
    }
    return all;
}

} // namespace velmoran
