#include "app/StoreChoice.h"

#include "data/StoreUrl.h"
#include "data/SubjectStore.h"

#include <QDir>
#include <QFile>
#include <QStringDecoder>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace velmora {

namespace {

// Files larger than this are no configuration file of ours.
constexpr qint64 MaxConfigBytes = 64 * 1024;

QString configMessage(const QString& file, const QString& detail) {
    return QStringLiteral(
               "پرونده تنظيمات برنامه خوانده نشد:\n%1\n\n%2\n\nبرنامه بدون آن کار نمي کند، "
               "تا به جاي سرور مرکز در پرونده اي جداگانه ننويسد.")
        .arg(QDir::toNativeSeparators(file), detail);
}

// Reads the "database" value of a configuration file into value (empty when
// the file names none). False with a message when the file exists but cannot
// be read or is not a configuration file. A missing file is no error. The
// message never repeats a line of the file: it may hold a password.
bool readConfigFile(const QString& file, QString* value, QString* error) {
    value->clear();
    struct stat st;
    const QByteArray name = QFile::encodeName(file);
    if (::stat(name.constData(), &st) != 0) {
        if (errno == ENOENT)
            return true;
        *error = configMessage(file, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        *error = configMessage(file, QStringLiteral("اين نام پرونده معمولي نيست."));
        return false;
    }
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly)) {
        *error = configMessage(file, QStringLiteral("اجازه خواندن آن نيست: ") + in.errorString());
        return false;
    }
    const QByteArray bytes = in.read(MaxConfigBytes + 1);
    if (bytes.size() > MaxConfigBytes || bytes.contains('\0')) {
        *error = configMessage(file, QStringLiteral("اين پرونده متني تنظيمات نيست."));
        return false;
    }
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (utf8.hasError()) {
        *error = configMessage(file, QStringLiteral("متن آن UTF-8 نيست."));
        return false;
    }
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    bool topLevel = true;
    int number = 0;
    for (QString line : text.split(QLatin1Char('\n'))) {
        ++number;
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')) ||
            line.startsWith(QLatin1Char(';')))
            continue;
        if (line.startsWith(QLatin1Char('['))) {
            if (!line.endsWith(QLatin1Char(']')) || line.size() < 3) {
                *error = configMessage(
                    file, QStringLiteral("سطر %1: عنوان بخش با «]» بسته نشده است.").arg(number));
                return false;
            }
            const QString section = line.mid(1, line.size() - 2).trimmed();
            topLevel = section.compare(QLatin1String("General"), Qt::CaseInsensitive) == 0;
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals <= 0) {
            *error = configMessage(file, QStringLiteral("سطر %1 نه «نام = مقدار» است، نه عنوان "
                                                        "بخش «[نام]»، نه يادداشت «#».")
                                             .arg(number));
            return false;
        }
        if (!topLevel || line.left(equals).trimmed() != QLatin1String("database"))
            continue;
        QString found = line.mid(equals + 1).trimmed();
        if (found.size() >= 2 && found.startsWith(QLatin1Char('"')) &&
            found.endsWith(QLatin1Char('"')))
            found = found.mid(1, found.size() - 2);
        *value = found.trimmed();
    }
    return true;
}

} // namespace

QStringList storeConfigFiles(const QString& dataFolder) {
    return {QDir(dataFolder).filePath(QStringLiteral("velmora.conf")),
            QStringLiteral("/etc/velmora/velmora.conf")};
}

bool chooseSubjectStore(const QString& commandLine, const QString& environment,
                        const QStringList& configFiles, QString* error) {
    QString text = commandLine.trimmed();
    QString source = QStringLiteral("--database");
    if (text.isEmpty()) {
        text = environment.trimmed();
        source = QStringLiteral("VELMORA_DATABASE");
    }
    for (const QString& file : configFiles) {
        if (!text.isEmpty())
            break;
        if (!readConfigFile(file, &text, error))
            return false;
        source = QDir::toNativeSeparators(file);
    }
    if (text.isEmpty()) {
        SubjectStore::install(SubjectStore::file());
        return true;
    }
    StoreUrl url;
    QString why;
    if (!parseStoreUrl(text, &url, &why)) {
        *error = QStringLiteral("نشاني سرور پايگاه داده (%1) درست نيست:\n%2").arg(source, why);
        return false;
    }
    SubjectStore::install(SubjectStore::server(url));
    return true;
}

} // namespace velmora
