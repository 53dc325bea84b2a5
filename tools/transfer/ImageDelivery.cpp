#include "tools/transfer/ImageDelivery.h"

#include "serial/platform/TrustedFolder.h"

#include <QFileInfo>
#include <QLocalSocket>
#include <algorithm>
#include <utility>

namespace {

constexpr qint64 ChunkSize = 4096;
// What may wait in the socket's buffer: enough to keep the pipe full, little enough that the
// progress shown is what has really gone out.
constexpr qint64 MostQueued = 16 * ChunkSize;
// The simulator's lines are a few words; anything longer is not its answer, and is not kept.
constexpr qsizetype MostReplyLine = 4096;
constexpr qint64 MostBuffered = 64 * 1024;
constexpr int DefaultPatienceMs = 30000;

bool ReadNumber(const QByteArray& line, const char* word, qint64* number) {
    const QByteArray prefix = QByteArray(word) + ' ';
    if (!line.startsWith(prefix))
        return false;
    bool ok = false;
    *number = line.mid(prefix.size()).trimmed().toLongLong(&ok);
    return ok;
}

// Qt's own words name its functions; a person wants to know what became of the simulator.
QString Plainly(const QLocalSocket& socket) {
    switch (socket.error()) {
    case QLocalSocket::ConnectionRefusedError:
        return QStringLiteral("nothing answers there, it has probably stopped");
    case QLocalSocket::ServerNotFoundError: return QStringLiteral("the socket has gone");
    case QLocalSocket::SocketAccessError: return QStringLiteral("access denied");
    case QLocalSocket::SocketTimeoutError: return QStringLiteral("no answer in time");
    default: {
        const QString said = socket.errorString();
        const qsizetype colon = said.indexOf(QStringLiteral(": "));
        return said.startsWith(QStringLiteral("QLocalSocket")) && colon > 0 ? said.mid(colon + 2)
                                                                            : said;
    }
    }
}

} // namespace

TImageDelivery::TImageDelivery(QObject* parent) : QObject(parent) {
    m_quiet.setSingleShot(true);
    m_quiet.setInterval(DefaultPatienceMs);
    connect(&m_quiet, &QTimer::timeout, this, &TImageDelivery::GaveUp);
}

TImageDelivery::~TImageDelivery() {
    Abandon();
}

bool TImageDelivery::Start(const QString& imagePath, const QString& socketPath, QString* error) {
    Abandon();
    const QFileInfo info(imagePath);
    if (info.exists() && !info.isFile()) {
        *error = QStringLiteral("Cannot read %1: it is not a file.").arg(imagePath);
        return false;
    }
    m_file.setFileName(imagePath);
    if (!m_file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("Cannot read %1: %2.").arg(imagePath, m_file.errorString());
        return false;
    }
    m_socketPath = socketPath;
    m_size = m_file.size();
    m_read = 0;
    m_written = 0;
    m_received = -1;
    m_replies.clear();
    m_lastOther.clear();

    m_socket = new QLocalSocket(this);
    m_socket->setReadBufferSize(MostBuffered);
    connect(m_socket, &QLocalSocket::connected, this, &TImageDelivery::Connected);
    connect(m_socket, &QLocalSocket::bytesWritten, this, &TImageDelivery::Written);
    connect(m_socket, &QLocalSocket::readyRead, this, &TImageDelivery::ReadReplies);
    connect(m_socket, &QLocalSocket::disconnected, this, &TImageDelivery::Disconnected);
    connect(m_socket, &QLocalSocket::errorOccurred, this, &TImageDelivery::SocketError);
    // A refused connection is told inside connectToServer(): started from the event loop, every
    // outcome reaches the caller after it has taken the start in.
    QMetaObject::invokeMethod(
        m_socket,
        [this, socket = m_socket] {
            if (socket == m_socket)
                socket->connectToServer(m_socketPath);
        },
        Qt::QueuedConnection);
    m_quiet.start();
    return true;
}

void TImageDelivery::Abandon() {
    m_quiet.stop();
    if (m_socket == nullptr)
        return;
    // Signals the socket may still give while it goes would land in a delivery that is over.
    m_socket->disconnect(this);
    m_socket->abort();
    m_socket->deleteLater();
    m_socket = nullptr;
    m_file.close();
}

void TImageDelivery::Connected() {
    // Whoever listens there gets the image: it must be a program of this user.
    if (!Platform::PeerIsUser(int(m_socket->socketDescriptor()))) {
        Fail(QStringLiteral("The receiver simulator at %1 is run by another user: the image was "
                            "not sent.")
                 .arg(m_socketPath));
        return;
    }
    const QByteArray header = "IMAGE " + QByteArray::number(m_size) + '\n';
    m_headerSize = header.size();
    m_socket->write(header);
    ReportProgress();
    Pump();
}

void TImageDelivery::Pump() {
    while (m_socket != nullptr && m_read < m_size && m_socket->bytesToWrite() < MostQueued) {
        const QByteArray chunk = m_file.read(std::min(ChunkSize, m_size - m_read));
        if (chunk.isEmpty()) {
            // The file changed under us; what the simulator would get is not the image.
            Fail(QStringLiteral("Cannot read %1 after %2 of %3 bytes: %4.")
                     .arg(m_file.fileName())
                     .arg(m_read)
                     .arg(m_size)
                     .arg(m_file.error() == QFileDevice::NoError
                              ? QStringLiteral("the file got shorter while it was being sent")
                              : m_file.errorString()));
            return;
        }
        m_socket->write(chunk);
        m_read += chunk.size();
    }
}

void TImageDelivery::Written(qint64 bytes) {
    m_quiet.start();
    m_written += bytes;
    ReportProgress();
    Pump();
    if (m_socket != nullptr && m_written == m_headerSize + m_size)
        emit AllSent(m_size);
}

void TImageDelivery::ReadReplies() {
    m_quiet.start();
    m_replies += m_socket->readAll();
    for (qsizetype feed = m_replies.indexOf('\n'); feed >= 0 && m_socket != nullptr;
         feed = m_replies.indexOf('\n')) {
        const QByteArray line = m_replies.left(feed);
        m_replies.remove(0, feed + 1);
        Reply(line.trimmed());
    }
    if (m_socket != nullptr && m_replies.size() > MostReplyLine)
        Fail(QStringLiteral("The receiver simulator sent a line of over %1 bytes: that is no "
                            "answer of a simulator.")
                 .arg(MostReplyLine));
}

void TImageDelivery::Reply(const QByteArray& line) {
    qint64 number = 0;
    if (ReadNumber(line, "PROGRESS", &number)) {
        m_received = std::clamp<qint64>(number, 0, m_size);
        ReportProgress();
    } else if (ReadNumber(line, "OK", &number)) {
        if (number == m_size && m_read == m_size)
            Finish();
        else
            Fail(QStringLiteral("The receiver simulator confirmed %1 bytes, but the image has "
                                "%2.")
                     .arg(number)
                     .arg(m_size));
    } else if (!line.isEmpty()) {
        m_lastOther = line;
    }
}

void TImageDelivery::Disconnected() {
    // A confirmation may have come with the close: it still counts, even without its line feed.
    if (m_socket->bytesAvailable() > 0)
        ReadReplies();
    if (m_socket != nullptr && !m_replies.isEmpty())
        Reply(std::exchange(m_replies, QByteArray()).trimmed());
    if (m_socket == nullptr)
        return;
    QString message = QStringLiteral("The receiver simulator went away after %1 of %2 bytes.")
                          .arg(std::max(m_received, Sent()))
                          .arg(m_size);
    if (!m_lastOther.isEmpty())
        message += QStringLiteral(" Its last words: \"%1\".").arg(QString::fromUtf8(m_lastOther));
    Fail(message);
}

void TImageDelivery::SocketError() {
    if (m_socket->error() == QLocalSocket::PeerClosedError)
        return; // told by Disconnected, with the count
    if (m_socket->state() == QLocalSocket::ConnectedState ||
        m_socket->state() == QLocalSocket::ClosingState) {
        Fail(QStringLiteral("The connection to the receiver simulator broke: %1.")
                 .arg(Plainly(*m_socket)));
        return;
    }
    Fail(QStringLiteral("Cannot reach the receiver simulator at %1: %2.")
             .arg(m_socketPath, Plainly(*m_socket)));
}

void TImageDelivery::Finish() {
    const qint64 size = m_size;
    Abandon();
    emit Progress(size, size);
    emit Delivered(size);
}

void TImageDelivery::Fail(const QString& message) {
    Abandon();
    emit Failed(message);
}

qint64 TImageDelivery::Sent() const {
    return std::max<qint64>(0, m_written - m_headerSize);
}

void TImageDelivery::GaveUp() {
    Fail(QStringLiteral("The receiver simulator took nothing and said nothing for %1 s: the "
                        "delivery was given up after %2 of %3 bytes.")
             .arg(m_quiet.interval() / 1000.0)
             .arg(std::max(m_received, Sent()))
             .arg(m_size));
}

void TImageDelivery::ReportProgress() {
    emit Progress(m_received >= 0 ? m_received : Sent(), m_size);
}
