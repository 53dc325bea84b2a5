#include "tools/transfer/TransferTarget.h"

#include "serial/platform/PortPaths.h"

#include <QDir>
#include <QFile>
#include <algorithm>
#include <sys/stat.h>
#include <unistd.h>

QString TransferPortsFolder() {
    return QFile::decodeName(QByteArray::fromStdString(Platform::TrustedPortsFolder(false)));
}

TTransferTarget ChooseTransferTarget(const QString& folder) {
    if (folder.isEmpty())
        return {}; // an empty QDir is the current folder
    const QDir dir(folder);
    QStringList sockets;
    for (const QString& name :
         dir.entryList({QStringLiteral("*.transfer")},
                       QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot)) {
        // Only a socket of ours can be a simulator; a file a person left there under that name,
        // or a link to someone else's socket, is not.
        struct stat info {};
        if (::lstat(QFile::encodeName(dir.filePath(name)).constData(), &info) == 0 &&
            S_ISSOCK(info.st_mode) && info.st_uid == ::geteuid())
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
