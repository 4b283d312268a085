#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace velmora {

// The account the tests run programs as where root would read or write
// anything whatever the permission bits say: nobody, as the package check
// runs the program as an account of its own.
constexpr uid_t UnprivilegedUid = 65534;
constexpr gid_t UnprivilegedGid = 65534;

// Starts program with arguments as UnprivilegedUid when the tests run as root
// (through setpriv, which replaces itself with the program), as the test's own
// user otherwise. Folders the program must reach have to be open to it.
inline void startUnprivileged(QProcess& process, const QString& program,
                              const QStringList& arguments) {
    if (::geteuid() != 0) {
        process.start(program, arguments);
        return;
    }
    process.start(QStringLiteral("setpriv"),
                  QStringList{QStringLiteral("--reuid=%1").arg(UnprivilegedUid),
                              QStringLiteral("--regid=%1").arg(UnprivilegedGid),
                              QStringLiteral("--clear-groups"), QStringLiteral("--inh-caps=-all"),
                              QStringLiteral("--")} +
                      QStringList{program} + arguments);
}

// The owner the program started by startUnprivileged runs as.
inline uid_t unprivilegedUid() {
    return ::geteuid() == 0 ? UnprivilegedUid : ::geteuid();
}

// Takes from this thread the right to read and write where the permission
// bits say no, which root has; the tests run as root on the build machines.
class WithoutPermissionOverride {
public:
    WithoutPermissionOverride() {
        m_header.version = _LINUX_CAPABILITY_VERSION_3;
        m_header.pid = 0;
        if (syscall(SYS_capget, &m_header, m_old) != 0)
            return;
        __user_cap_data_struct reduced[2] = {m_old[0], m_old[1]};
        reduced[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
        m_changed = syscall(SYS_capset, &m_header, reduced) == 0;
    }
    ~WithoutPermissionOverride() {
        if (m_changed)
            syscall(SYS_capset, &m_header, m_old);
    }
    WithoutPermissionOverride(const WithoutPermissionOverride&) = delete;
    WithoutPermissionOverride& operator=(const WithoutPermissionOverride&) = delete;

private:
    __user_cap_header_struct m_header{};
    __user_cap_data_struct m_old[2]{};
    bool m_changed = false;
};

} // namespace velmora
