#include "backup/AgeTool.h"

#include <QByteArrayView>
#include <QElapsedTimer>
#include <QFile>
#include <QStandardPaths>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace velmora {

// ---------------------------------------------------------------- Secret --

Secret Secret::takeText(QString* text) {
    Secret secret(text->toUtf8());
    wipeText(text);
    return secret;
}

Secret& Secret::operator=(Secret&& other) noexcept {
    if (this != &other) {
        clear();
        m_bytes = std::move(other.m_bytes);
        other.m_bytes.clear();
    }
    return *this;
}

bool Secret::operator==(const Secret& other) const {
    return m_bytes == other.m_bytes;
}

void Secret::append(const char* data, qsizetype size) {
    // Growing would leave the old buffer behind unwiped: make room for a
    // generous amount at once and wipe whatever is outgrown.
    if (m_bytes.size() + size > m_bytes.capacity()) {
        QByteArray larger;
        larger.reserve(std::max<qsizetype>(1024, 2 * (m_bytes.size() + size)));
        larger.append(m_bytes);
        clear();
        m_bytes = std::move(larger);
    }
    m_bytes.append(data, size);
}

void Secret::clear() {
    if (m_bytes.isDetached() && !m_bytes.isEmpty()) {
        volatile char* p = m_bytes.data();
        for (qsizetype i = 0; i < m_bytes.size(); ++i)
            p[i] = 0;
    }
    m_bytes.clear();
}

void wipeText(QString* text) {
    if (!text->isDetached() || text->isEmpty()) {
        text->clear();
        return;
    }
    volatile char16_t* p = reinterpret_cast<char16_t*>(text->data());
    for (qsizetype i = 0; i < text->size(); ++i)
        p[i] = 0;
    text->clear();
}

namespace AgeTool {

namespace {

// A descriptor closed when it goes.
class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : m_fd(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() { reset(); }
    int get() const { return m_fd; }
    void reset(int fd = -1) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd;
    }

private:
    int m_fd = -1;
};

// Every descriptor handed to a child is first moved up here, so that putting
// them in place as 0, 1, 2, 3 and 4 never overwrites one still to be placed.
constexpr int HighFd = 10;

int highCopy(int fd) {
    return ::fcntl(fd, F_DUPFD_CLOEXEC, HighFd);
}

QString systemError(int code) {
    return QString::fromLocal8Bit(std::strerror(code));
}

// A pipe whose read end is returned with bytes already in it and the write
// end closed: the child reads them and then the end. Written whole before
// the child starts, so nothing is ever written to a pipe whose reader has
// gone (a signal that would end this program).
bool pipeWith(const QByteArray& bytes, Fd* readEnd, QString* why) {
    // A pipe holds at least a page; identities are a few hundred bytes.
    if (bytes.size() > 4096) {
        *why = QStringLiteral("too much to hand over through a pipe");
        return false;
    }
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        *why = systemError(errno);
        return false;
    }
    Fd read(ends[0]);
    Fd write(ends[1]);
    for (qsizetype put = 0; put < bytes.size();) {
        const ssize_t n = ::write(write.get(), bytes.constData() + put, size_t(bytes.size() - put));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            *why = systemError(errno);
            return false;
        }
        put += n;
    }
    write.reset();
    readEnd->reset(highCopy(read.get()));
    if (readEnd->get() < 0) {
        *why = systemError(errno);
        return false;
    }
    return true;
}

struct Invocation {
    QString program; // "age" or "age-keygen"
    QStringList arguments;
    int stdinFd = -1; // a file to read; else stdinBytes, else nothing
    const QByteArray* stdinBytes = nullptr;
    int stdoutFd = -1; // a file to write; else stdoutSink
    Sink stdoutSink;
    const QByteArray* fd3 = nullptr; // an identity, as /dev/fd/3
    QList<const QByteArray*> typed;  // lines typed on the terminal, one per question
    int timeoutMs = KeyTimeoutMs;
};

struct Outcome {
    QString startFailure; // the child did not run
    int status = -1;      // its exit status; -1 when a signal ended it
    bool timedOut = false;
    bool sinkStopped = false;
    QString sinkWhy;
    bool unexpectedQuestion = false;
    QByteArray errors; // its standard error, the first part of it
};

constexpr qsizetype ErrorsKept = 16384;

QString missingSentence() {
    return QStringLiteral("برنامه age نصب نيست و بدون آن نسخه پشتيبان رمزگذاري شده ساخته يا باز "
                          "نمي شود. (The age program is not installed: sudo apt-get install "
                          "age)");
}

// Runs the call's program and waits for it, feeding its terminal and reading its
// output and errors as they come.
Outcome run(const Invocation& call) {
    Outcome o;
    const QString path = QStandardPaths::findExecutable(call.program);
    if (path.isEmpty()) {
        o.startFailure = missingSentence();
        return o;
    }
    // Everything the child needs is made before it exists: after fork only
    // calls that are safe in a copy of a threaded process are made.
    QList<QByteArray> args{QFile::encodeName(path)};
    for (const QString& a : call.arguments)
        args.append(QFile::encodeName(a));
    std::vector<char*> argv;
    for (QByteArray& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    QString why;
    Fd in, out, outRead, errRead, errWrite, fd3, master, slave;
    if (call.stdinBytes) {
        if (!pipeWith(*call.stdinBytes, &in, &why)) {
            o.startFailure = why;
            return o;
        }
    } else {
        const Fd nothing(call.stdinFd >= 0 ? -1 : ::open("/dev/null", O_RDONLY | O_CLOEXEC));
        in.reset(highCopy(call.stdinFd >= 0 ? call.stdinFd : nothing.get()));
    }
    if (call.stdoutFd >= 0) {
        out.reset(highCopy(call.stdoutFd));
    } else {
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC) == 0) {
            outRead.reset(ends[0]);
            out.reset(highCopy(ends[1]));
            ::close(ends[1]);
            ::fcntl(outRead.get(), F_SETFL, O_NONBLOCK);
        }
    }
    {
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC) == 0) {
            errRead.reset(ends[0]);
            errWrite.reset(highCopy(ends[1]));
            ::close(ends[1]);
            ::fcntl(errRead.get(), F_SETFL, O_NONBLOCK);
        }
    }
    if (call.fd3 && !pipeWith(*call.fd3, &fd3, &why)) {
        o.startFailure = why;
        return o;
    }
    if (!call.typed.isEmpty()) {
        // The terminal: this program keeps its master side and a descriptor
        // of its slave side (so the master never reads as hung up before the
        // child has it); the child makes the slave its controlling terminal.
        master.reset(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
        char name[128] = {};
        if (master.get() < 0 || ::grantpt(master.get()) != 0 || ::unlockpt(master.get()) != 0 ||
            ::ptsname_r(master.get(), name, sizeof name) != 0) {
            o.startFailure = systemError(errno);
            return o;
        }
        slave.reset(::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC));
        if (slave.get() >= 0)
            slave.reset(highCopy(slave.get()));
        ::fcntl(master.get(), F_SETFL, O_NONBLOCK);
    }
    if (in.get() < 0 || out.get() < 0 || errWrite.get() < 0 ||
        (!call.typed.isEmpty() && slave.get() < 0)) {
        o.startFailure = systemError(errno);
        return o;
    }

    const int inFd = in.get(), outFd = out.get(), errFd = errWrite.get(), identityFd = fd3.get(),
              terminalFd = slave.get();
    sigset_t noSignalsBlocked;
    sigemptyset(&noSignalsBlocked);
    const pid_t pid = ::fork();
    if (pid < 0) {
        o.startFailure = systemError(errno);
        return o;
    }
    if (pid == 0) {
        if (terminalFd >= 0) {
            ::setsid();
            ::ioctl(terminalFd, TIOCSCTTY, 0);
        }
        ::dup2(inFd, 0);
        ::dup2(outFd, 1);
        ::dup2(errFd, 2);
        int next = 3;
        if (identityFd >= 0)
            ::dup2(identityFd, next++);
        if (terminalFd >= 0)
            ::dup2(terminalFd, next++);
        // Nothing else of this program reaches the child.
        if (::close_range(unsigned(next), ~0U, 0) != 0)
            for (int fd = next; fd < 4096; ++fd)
                ::close(fd);
        ::signal(SIGPIPE, SIG_DFL);
        ::sigprocmask(SIG_SETMASK, &noSignalsBlocked, nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    // The child's ends are the child's now.
    in.reset();
    out.reset();
    errWrite.reset();
    fd3.reset();

    QElapsedTimer clock;
    clock.start();
    QByteArray terminalText;
    qsizetype questions = 0;
    int answered = 0;
    bool outOpen = outRead.get() >= 0;
    bool errOpen = errRead.get() >= 0;
    QByteArray chunk(256 * 1024, Qt::Uninitialized);
    bool killed = false;
    auto stop = [&] {
        if (!killed)
            ::kill(pid, SIGKILL);
        killed = true;
    };

    while (outOpen || errOpen) {
        const qint64 left = call.timeoutMs - clock.elapsed();
        if (left <= 0 && !killed) {
            o.timedOut = true;
            stop();
        }
        // A question waits for its answer until age has turned echo off, so
        // that the terminal never shows the answer back.
        bool waitingForEcho = false;
        if (!killed && answered < questions) {
            if (answered >= call.typed.size()) {
                o.unexpectedQuestion = true;
                stop();
            } else {
                termios mode{};
                if (::tcgetattr(master.get(), &mode) == 0 && !(mode.c_lflag & ECHO)) {
                    QByteArray line = *call.typed.at(answered);
                    line.append('\n');
                    const ssize_t n = ::write(master.get(), line.constData(), size_t(line.size()));
                    Secret(std::move(line)).clear();
                    if (n < 0) {
                        stop();
                    }
                    ++answered;
                } else {
                    waitingForEcho = true;
                }
            }
        }
        pollfd fds[3];
        nfds_t count = 0;
        int outIndex = -1, errIndex = -1, masterIndex = -1;
        if (outOpen) {
            outIndex = int(count);
            fds[count++] = {outRead.get(), POLLIN, 0};
        }
        if (errOpen) {
            errIndex = int(count);
            fds[count++] = {errRead.get(), POLLIN, 0};
        }
        if (master.get() >= 0) {
            masterIndex = int(count);
            fds[count++] = {master.get(), POLLIN, 0};
        }
        const int wait = killed ? 100 : waitingForEcho ? 1 : int(std::clamp<qint64>(left, 1, 100));
        const int ready = ::poll(fds, count, wait);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            stop();
            break;
        }
        if (outIndex >= 0 && fds[outIndex].revents) {
            const ssize_t n = ::read(outRead.get(), chunk.data(), size_t(chunk.size()));
            if (n > 0) {
                if (!o.sinkStopped && call.stdoutSink &&
                    !call.stdoutSink(chunk.constData(), n, &o.sinkWhy)) {
                    o.sinkStopped = true;
                    stop();
                }
            } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
                outOpen = false;
            }
        }
        if (errIndex >= 0 && fds[errIndex].revents) {
            char buffer[4096];
            const ssize_t n = ::read(errRead.get(), buffer, sizeof buffer);
            if (n > 0) {
                if (o.errors.size() < ErrorsKept)
                    o.errors.append(buffer, std::min<qsizetype>(n, ErrorsKept - o.errors.size()));
            } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
                errOpen = false;
            }
        }
        if (masterIndex >= 0 && fds[masterIndex].revents) {
            char buffer[1024];
            const ssize_t n = ::read(master.get(), buffer, sizeof buffer);
            if (n > 0) {
                // Only the questions are counted; what age writes on the
                // terminal is never kept beyond that.
                if (terminalText.size() < 65536)
                    terminalText.append(buffer, n);
                questions = terminalText.count(": ");
            } else if (n < 0 && errno != EINTR && errno != EAGAIN) {
                master.reset();
            }
        }
    }
    // Both pipes have ended: the child has ended or is about to.
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    o.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (WIFEXITED(status) && WEXITSTATUS(status) == 127 && o.errors.isEmpty())
        o.startFailure = missingSentence();
    return o;
}

// The program's own words, for the line after the Persian sentence.
QString toolWords(const Outcome& o) {
    QString words = QString::fromUtf8(o.errors).trimmed();
    // age adds where to report unhelpful messages; it does not help here.
    QStringList kept;
    for (const QString& line : words.split(QLatin1Char('\n')))
        if (!line.contains(QLatin1String("report unexpected or unhelpful errors")))
            kept.append(line.trimmed());
    return kept.join(QLatin1Char(' ')).trimmed();
}

QString described(const QString& sentence, const Outcome& o) {
    const QString words = toolWords(o);
    return words.isEmpty() ? sentence : sentence + QStringLiteral("\r\n") + words;
}

Failure classify(const Outcome& o) {
    if (!o.startFailure.isEmpty())
        return QStandardPaths::findExecutable(QStringLiteral("age")).isEmpty() ||
                       QStandardPaths::findExecutable(QStringLiteral("age-keygen")).isEmpty()
                   ? Failure::Missing
                   : Failure::Other;
    if (o.timedOut)
        return Failure::TimedOut;
    const QString words = QString::fromUtf8(o.errors);
    if (words.contains(QLatin1String("incorrect passphrase")))
        return Failure::WrongPassphrase;
    if (words.contains(QLatin1String("no identity matched")))
        return Failure::NoMatchingKey;
    for (const char* sign : {"failed to read header", "parsing age header", "failed to decrypt",
                             "header MAC", "EOF", "malformed", "armor", "invalid header"})
        if (words.contains(QLatin1String(sign)))
            return Failure::Damaged;
    return Failure::Other;
}

// Why a run did not succeed, in Persian, with the program's words after it.
QString failureText(const Outcome& o, const QString& task) {
    if (!o.startFailure.isEmpty())
        return task + QStringLiteral("\r\n") + o.startFailure;
    if (o.timedOut)
        return described(
            task + QStringLiteral(": برنامه age در زمان مقرر به پايان نرسيد و متوقف شد."), o);
    if (o.unexpectedQuestion)
        return described(task + QStringLiteral(": برنامه age پرسشي کرد که انتظار نمي رفت."), o);
    switch (classify(o)) {
    case Failure::WrongPassphrase:
        return described(QStringLiteral("گذرواژه درست نيست."), o);
    case Failure::NoMatchingKey:
        return described(QStringLiteral("اين فايل با کليد ديگري رمزگذاري شده است (يا بخش کليد آن "
                                        "آسيب ديده است)."),
                         o);
    case Failure::Damaged:
        return described(QStringLiteral("فايل رمزگذاري شده آسيب ديده يا ناقص است."), o);
    default:
        return described(task + QStringLiteral(": برنامه age با خطا به پايان رسيد."), o);
    }
}

bool succeeded(const Outcome& o) {
    return o.startFailure.isEmpty() && !o.timedOut && !o.sinkStopped && !o.unexpectedQuestion &&
           o.status == 0;
}

} // namespace

QString missingTools() {
    if (QStandardPaths::findExecutable(QStringLiteral("age")).isEmpty() ||
        QStandardPaths::findExecutable(QStringLiteral("age-keygen")).isEmpty())
        return missingSentence();
    return QString();
}

int fileTimeoutMs(qint64 size) {
    // A minute, and a second for every 2 MB.
    const qint64 ms = 60000 + size / 2000;
    return int(std::min<qint64>(ms, 24LL * 3600 * 1000));
}

bool generate(Secret* identity, QString* recipient, QString* why) {
    Secret printed;
    Invocation call;
    call.program = QStringLiteral("age-keygen");
    call.stdoutSink = [&printed](const char* data, qsizetype size, QString*) {
        printed.append(data, size);
        return true;
    };
    const Outcome o = run(call);
    const QString task = QStringLiteral("کليد تازه ساخته نشد");
    if (!succeeded(o)) {
        *why = failureText(o, task);
        return false;
    }
    // "# created: ...", "# public key: age1...", "AGE-SECRET-KEY-1..."
    // Read in place: a list of lines would leave copies of the key behind.
    Secret found;
    QString key;
    const QByteArray& text = printed.bytes();
    for (qsizetype start = 0; start < text.size();) {
        qsizetype end = text.indexOf('\n', start);
        if (end < 0)
            end = text.size();
        const QByteArrayView line(text.constData() + start, end - start);
        if (line.startsWith("AGE-SECRET-KEY-1"))
            found = Secret(QByteArray(line.trimmed().data(), line.trimmed().size()));
        else if (line.startsWith("# public key: "))
            key = QString::fromLatin1(line.sliced(14).trimmed());
        start = end + 1;
    }
    if (found.isEmpty() || !key.startsWith(QLatin1String("age1"))) {
        *why = task + QStringLiteral(": age-keygen کليدي ننوشت.");
        return false;
    }
    *identity = std::move(found);
    *recipient = key;
    return true;
}

bool recipientOf(const Secret& identity, QString* recipient, QString* why) {
    const Secret input(identity.bytes() + '\n');
    QByteArray printed;
    Invocation call;
    call.program = QStringLiteral("age-keygen");
    call.arguments = {QStringLiteral("-y")};
    call.stdinBytes = &input.bytes();
    call.stdoutSink = [&printed](const char* data, qsizetype size, QString*) {
        printed.append(data, size);
        return true;
    };
    const Outcome o = run(call);
    const QString key = QString::fromLatin1(printed).trimmed();
    if (!succeeded(o) || !key.startsWith(QLatin1String("age1"))) {
        *why = o.startFailure.isEmpty() ? described(QStringLiteral("کليد بازيابي درست نيست."), o)
                                        : failureText(o, QStringLiteral("کليد خوانده نشد"));
        return false;
    }
    *recipient = key;
    return true;
}

bool sealWithPassphrase(const Secret& data, const Secret& passphrase, QByteArray* sealed,
                        QString* why) {
    QByteArray result;
    Invocation call;
    call.program = QStringLiteral("age");
    call.arguments = {QStringLiteral("--passphrase")};
    call.stdinBytes = &data.bytes();
    call.stdoutSink = [&result](const char* bytes, qsizetype size, QString*) {
        result.append(bytes, size);
        return true;
    };
    // age asks for it twice.
    call.typed = {&passphrase.bytes(), &passphrase.bytes()};
    call.timeoutMs = PassphraseTimeoutMs;
    const Outcome o = run(call);
    if (!succeeded(o) || !result.startsWith("age-encryption.org/v1\n")) {
        *why = failureText(o, QStringLiteral("کليد با گذرواژه رمزگذاري نشد"));
        return false;
    }
    *sealed = result;
    return true;
}

bool openWithPassphrase(const QByteArray& sealed, const Secret& passphrase, Secret* data,
                        Failure* failure, QString* why) {
    Secret result;
    Invocation call;
    call.program = QStringLiteral("age");
    call.arguments = {QStringLiteral("--decrypt")};
    call.stdinBytes = &sealed;
    call.stdoutSink = [&result](const char* bytes, qsizetype size, QString*) {
        result.append(bytes, size);
        return true;
    };
    call.typed = {&passphrase.bytes()};
    call.timeoutMs = PassphraseTimeoutMs;
    const Outcome o = run(call);
    if (!succeeded(o)) {
        if (failure)
            *failure = classify(o);
        *why = failureText(o, QStringLiteral("کليد مرکز باز نشد"));
        return false;
    }
    if (failure)
        *failure = Failure::None;
    *data = std::move(result);
    return true;
}

bool encrypt(int in, int out, const QStringList& recipients, int timeoutMs, QString* why) {
    Invocation call;
    call.program = QStringLiteral("age");
    call.arguments = {QStringLiteral("--encrypt")};
    for (const QString& r : recipients)
        call.arguments << QStringLiteral("-r") << r;
    call.stdinFd = in;
    call.stdoutFd = out;
    call.timeoutMs = timeoutMs;
    const Outcome o = run(call);
    if (!succeeded(o)) {
        *why = failureText(o, QStringLiteral("نسخه پشتيبان رمزگذاري نشد"));
        return false;
    }
    return true;
}

bool decrypt(int in, int out, const Sink& sink, const Secret& identity, int timeoutMs,
             Failure* failure, QString* why) {
    const Secret line(identity.bytes() + '\n');
    Invocation call;
    call.program = QStringLiteral("age");
    call.arguments = {QStringLiteral("--decrypt"), QStringLiteral("-i"),
                      QStringLiteral("/dev/fd/3")};
    call.stdinFd = in;
    call.stdoutFd = out;
    call.stdoutSink = sink;
    call.fd3 = &line.bytes();
    call.timeoutMs = timeoutMs;
    const Outcome o = run(call);
    if (succeeded(o)) {
        if (failure)
            *failure = Failure::None;
        return true;
    }
    if (o.sinkStopped) {
        if (failure)
            *failure = Failure::Other;
        *why = o.sinkWhy;
        return false;
    }
    if (failure)
        *failure = classify(o);
    *why = failureText(o, QStringLiteral("نسخه پشتيبان باز نشد"));
    return false;
}

} // namespace AgeTool

} // namespace velmora
