#pragma once
// Reads Vell Writer's requests from a file descriptor (standard input) inside the event loop,
// so the window never waits on the pipe. The descriptor is left in blocking mode: it is shared
// with whoever started us (a terminal, a shell), and one read after the notifier has fired
// cannot block.

#include "tools/transfer/Requests.h"

#include <QObject>

class QSocketNotifier;

class TRequestChannel final : public QObject {
    Q_OBJECT
public:
    explicit TRequestChannel(int fd, QObject* parent = nullptr);

    bool IsOpen() const { return m_notifier != nullptr; }

signals:
    void RequestArrived(const TRequest& request);
    // The other end went away. Nothing more will come; the window stays for the person.
    void Ended();

private:
    void ReadSome();
    void TakeLine(const QByteArray& line);
    void End();

    int m_fd;
    QSocketNotifier* m_notifier = nullptr;
    QByteArray m_pending; // the start of a line whose line feed has not come yet
};
