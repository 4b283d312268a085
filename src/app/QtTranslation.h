#pragma once

#include <QLibraryInfo>
#include <QString>

class QCoreApplication;
class QTranslator;

namespace velmora {

// Qt's own Persian texts (standard buttons, file and print dialogs, the print
// preview) from folder, so that the dialogs Qt draws for the program speak the
// program's language. Replaces a translation installed here before. Returns the
// installed translator, or nullptr when no Persian Qt translation could be read
// there: the dialogs then stay in English and the program runs all the same.
QTranslator*
installQtTranslation(QCoreApplication& app,
                     const QString& folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath));

// Takes out the translation installed by installQtTranslation, if any.
void removeQtTranslation(QCoreApplication& app);

} // namespace velmora
