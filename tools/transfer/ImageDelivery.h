#pragma once
// Sends one image to the receiver simulator over its socket, a few kilobytes at a time from
// the event loop, so the window stays alive whatever the image's size. The exchange:
//
//   us:        "IMAGE <size>\n" and then exactly <size> bytes of the file
//   simulator: "PROGRESS <n>\n" now and then (bytes it has so far), finally "OK <size>\n"
//
// Only "OK" with the full size counts as delivered; the simulator closing before it is a
// failure, whatever it had said.

#include <QFile>
#include <QObject>
#include <QString>
#include <QTimer>

class QLocalSocket;

class TImageDelivery final : public QObject {
    Q_OBJECT
public:
    explicit TImageDelivery(QObject* parent = nullptr);
    Q_DISABLE_COPY_MOVE(TImageDelivery)
    ~TImageDelivery() override;

    // Opens the image and starts connecting. False, with the reason, when the image cannot be
    // read: then nothing was started.
    bool Start(const QString& imagePath, const QString& socketPath, QString* error);
    // Drops a running delivery without a word: the window is going away.
    void Abandon();

    bool IsRunning() const { return m_socket != nullptr; }
    // How long the simulator may take nothing and say nothing before the delivery fails.
    void SetPatience(int milliseconds) { m_quiet.setInterval(milliseconds); }
    qint64 Size() const { return m_size; }

signals:
    // Bytes that have come through, of the image's size: what the simulator reports once it
    // reports at all, otherwise what has left this program.
    void Progress(qint64 done, qint64 size);
    void AllSent(qint64 size); // the simulator's confirmation is awaited
    void Delivered(qint64 size);
    void Failed(const QString& message);

private:
    void Connected();
    void Pump();
    void Written(qint64 bytes);
    void ReadReplies();
    void Reply(const QByteArray& line);
    void Disconnected();
    void SocketError();
    void Finish();
    void Fail(const QString& message);
    qint64 Sent() const; // image bytes that have left this program
    void ReportProgress();
    void GaveUp();

    QFile m_file;
    QString m_socketPath;
    QLocalSocket* m_socket = nullptr;
    qint64 m_size = 0;
    qint64 m_read = 0;    // image bytes handed to the socket
    qint64 m_written = 0; // bytes the socket has passed on, its first line included
    qint64 m_headerSize = 0;
    qint64 m_received = -1; // the simulator's last count; -1 until it gives one
    QByteArray m_replies;   // the start of a reply line whose line feed has not come yet
    QByteArray m_lastOther; // the last line that was neither progress nor confirmation
    QTimer m_quiet;         // runs while the simulator neither takes bytes nor answers
};
