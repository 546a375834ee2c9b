// Qt's own dialogs and messages in Japanese, whatever language the environment names.
#pragma once

class QCoreApplication;

// Loads Qt's Japanese translations (file, print and colour dialogs, standard buttons, the
// replace question) into the application and makes Japanese the default locale of the
// dialogs. False when the translations are not installed; the dialogs then stay in English.
bool InstallQtJapanese(QCoreApplication& app);
