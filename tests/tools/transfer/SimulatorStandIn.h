#pragma once
// A real Unix socket server in the simulator's place: it keeps every byte of its latest
// connection and answers only when told to.

#include "tests/support/PumpUntil.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>

using TestSupport::PumpUntil;

struct TSimulatorStandIn {
    explicit TSimulatorStandIn(const QString& socketPath) {
        QDir().mkpath(socketPath.section('/', 0, -2));
        listening = server.listen(socketPath);
        QObject::connect(&server, &QLocalServer::newConnection, [this] {
            client = server.nextPendingConnection();
            received.clear();
            QObject::connect(client, &QLocalSocket::readyRead,
                             [this, from = client] { received += from->readAll(); });
        });
    }
    // The first line and every byte it announced have come.
    bool HasWholeImage() const {
        const qsizetype feed = received.indexOf('\n');
        return feed > 0 && received.size() >= feed + 1 + received.mid(6, feed - 6).toLongLong();
    }
    void Answer(const QByteArray& lines) { client->write(lines), client->flush(); }

    QLocalServer server;
    QLocalSocket* client = nullptr;
    QByteArray received;
    bool listening = false;
};
