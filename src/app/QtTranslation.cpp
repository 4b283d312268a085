#include "app/QtTranslation.h"

#include <QCoreApplication>
#include <QLocale>
#include <QTranslator>

namespace velmora {

namespace {

const char* const TranslatorName = "velmoraQtTranslation";

} // namespace

void removeQtTranslation(QCoreApplication& app) {
    if (auto* earlier = app.findChild<QTranslator*>(QLatin1String(TranslatorName),
                                                    Qt::FindDirectChildrenOnly)) {
        QCoreApplication::removeTranslator(earlier);
        delete earlier;
    }
}

QTranslator* installQtTranslation(QCoreApplication& app, const QString& folder) {
    removeQtTranslation(app);
    auto* translator = new QTranslator(&app);
    translator->setObjectName(QLatin1String(TranslatorName));
    // qtbase holds every text of the widgets and print support the program
    // uses; qt is the catalogue that names qtbase and its siblings, kept by
    // some installations instead.
    const QLocale persian(QLocale::Persian, QLocale::Iran);
    for (const char* catalogue : {"qtbase", "qt"}) {
        if (translator->load(persian, QLatin1String(catalogue), QStringLiteral("_"), folder) &&
            QCoreApplication::installTranslator(translator))
            return translator;
    }
    delete translator;
    return nullptr;
}

} // namespace velmora
