#pragma once
// Where the image goes. This program has no cable driver of its own: it delivers only to the
// receiver simulator, which listens on a Unix stream socket "<port>.transfer" in the virtual
// ports folder, beside the port links the serial layer opens.

#include <QString>

struct TTransferTarget {
    QString SocketPath; // empty: no simulator is running
    int Running = 0;    // how many simulators listen; the first by name is taken
};

// $XDG_RUNTIME_DIR/vell-writer/ports, or /tmp/vell-writer-<uid>/ports: the serial layer's;
// empty when a folder on the way is not the user's alone (told on standard error).
QString TransferPortsFolder();

TTransferTarget ChooseTransferTarget(const QString& folder);
