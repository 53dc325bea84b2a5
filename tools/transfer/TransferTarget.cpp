#include "TransferTarget.h"

#include "platform/PortPaths.h"

#include <QDir>
#include <QFile>
#include <algorithm>
#include <sys/stat.h>

QString TransferPortsFolder() {
    return QFile::decodeName(QByteArray::fromStdString(Platform::VirtualPortsFolder()));
}

TTransferTarget ChooseTransferTarget(const QString& folder) {
    const QDir dir(folder);
    QStringList sockets;
    for (const QString& name :
         dir.entryList({QStringLiteral("*.transfer")},
                       QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot)) {
        // Only a socket can be a simulator; a file a person left there under that name is not.
        struct stat info {};
        if (::stat(QFile::encodeName(dir.filePath(name)).constData(), &info) == 0 &&
            S_ISSOCK(info.st_mode))
            sockets += name;
    }
    // Plain character order, not the locale's: the same simulator wins on every machine.
    std::sort(sockets.begin(), sockets.end());
    TTransferTarget target;
    target.Running = int(sockets.size());
    if (!sockets.isEmpty())
        target.SocketPath = dir.filePath(sockets.first());
    return target;
}
