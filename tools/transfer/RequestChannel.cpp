#include "tools/transfer/RequestChannel.h"

#include <QSocketNotifier>
#include <cerrno>
#include <unistd.h>
#include <utility>

TRequestChannel::TRequestChannel(int fd, QObject* parent) : QObject(parent), m_fd(fd) {
    m_notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TRequestChannel::ReadSome);
}

void TRequestChannel::ReadSome() {
    char buffer[4096];
    const ssize_t count = ::read(m_fd, buffer, sizeof buffer);
    if (count < 0 && (errno == EINTR || errno == EAGAIN))
        return; // the notifier fires again
    if (count <= 0) {
        End();
        return;
    }
    m_pending.append(buffer, count);
    qsizetype start = 0;
    for (qsizetype feed = m_pending.indexOf('\n'); feed >= 0;
         feed = m_pending.indexOf('\n', start)) {
        const QByteArray line = m_pending.mid(start, feed - start);
        start = feed + 1;
        TakeLine(line);
    }
    m_pending.remove(0, start);
}

void TRequestChannel::TakeLine(const QByteArray& line) {
    emit RequestArrived(ParseRequest(line));
}

void TRequestChannel::End() {
    // At end of file the descriptor stays readable for ever: left on, the notifier would spin.
    // It is the sender of the signal being handled, so it goes later.
    m_notifier->setEnabled(false);
    m_notifier->deleteLater();
    m_notifier = nullptr;
    // A last request without its line feed was still meant.
    if (!m_pending.isEmpty())
        TakeLine(std::exchange(m_pending, QByteArray()));
    emit Ended();
}
