// Qt's own dialogs and messages in Japanese, whatever language the environment names.
#include "window/QtJapanese.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

bool InstallQtJapanese(QCoreApplication& app) {
    // The program speaks Japanese; the dialogs Qt makes for it must too. Numbers are never
    // read or written through the default locale, so this changes no file or status text.
    QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));
    auto* translator = new QTranslator(&app);
    // "qt_ja" gathers the catalogues of every Qt module Debian translates.
    if (!translator->load(QStringLiteral("qt_ja"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}
