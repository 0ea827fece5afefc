#include "platform/DetachedProgram.h"

#include <QProcess>

#include <sys/syscall.h>
#include <unistd.h>

bool DetachedProgram::start(const QString& commandLine) {
    QStringList arguments = QProcess::splitCommand(commandLine);
    if (arguments.isEmpty() || running())
        return false;
    const QString program = arguments.takeFirst();
    qint64 pid = 0;
    if (!QProcess::startDetached(program, arguments, QString(), &pid))
        return false;
    watch(pid);
    return true;
}

// A process descriptor follows that very process, whatever later takes its pid. A program that
// has ended already, or a kernel without them, leaves nothing to watch.
void DetachedProgram::watch(qint64 pid) {
    pidfd_.reset(static_cast<int>(::syscall(SYS_pidfd_open, static_cast<pid_t>(pid), 0)));
    if (!pidfd_)
        return;
    notifier_ = std::make_unique<QSocketNotifier>(pidfd_.get(), QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &DetachedProgram::onEnded);
}

void DetachedProgram::onEnded() {
    notifier_.reset();
    pidfd_.reset();
    emit ended();
}
