#include "app/Terminal.h"

#include <QByteArray>
#include <cstdio>
#include <string>
#include <termios.h>
#include <unistd.h>

namespace velmora {

namespace {

// One line of a stream, without its line end; false at the end of input.
bool readLine(std::FILE* stream, QByteArray* line) {
    line->clear();
    int c = 0;
    bool any = false;
    while ((c = std::fgetc(stream)) != EOF) {
        any = true;
        if (c == '\n')
            break;
        line->append(static_cast<char>(c));
    }
    if (line->endsWith('\r'))
        line->chop(1);
    return any;
}

// Clears the bytes of a secret before the memory is given back.
void wipe(QByteArray* bytes) {
    volatile char* p = bytes->data();
    for (qsizetype i = 0; i < bytes->size(); ++i)
        p[i] = 0;
    bytes->clear();
}

} // namespace

bool readSecret(const QString& prompt, QString* secret, QString* error) {
    QByteArray line;
    if (::isatty(STDIN_FILENO)) {
        std::FILE* tty = std::fopen("/dev/tty", "r+");
        std::FILE* out = tty ? tty : stderr;
        std::fputs(prompt.toUtf8().constData(), out);
        std::fflush(out);
        termios before{};
        const bool quiet = ::tcgetattr(STDIN_FILENO, &before) == 0;
        if (quiet) {
            termios silent = before;
            silent.c_lflag &= ~tcflag_t(ECHO);
            silent.c_lflag |= ECHONL;
            ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &silent);
        }
        const bool read = readLine(stdin, &line);
        if (quiet)
            ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &before);
        if (tty)
            std::fclose(tty);
        if (!read) {
            *error = QStringLiteral("nothing was typed");
            return false;
        }
    } else if (!readLine(stdin, &line)) {
        *error = QStringLiteral("standard input ended before a line was read");
        return false;
    }
    *secret = QString::fromUtf8(line);
    wipe(&line);
    return true;
}

bool confirmOnTerminal(const QString& question) {
    if (!::isatty(STDIN_FILENO))
        return false;
    std::fputs((question + QStringLiteral(" [y/N] ")).toUtf8().constData(), stderr);
    std::fflush(stderr);
    QByteArray line;
    if (!readLine(stdin, &line))
        return false;
    const QString answer = QString::fromUtf8(line).trimmed().toLower();
    return answer == QLatin1String("y") || answer == QLatin1String("yes") ||
           answer == QStringLiteral("بله");
}

} // namespace velmora
