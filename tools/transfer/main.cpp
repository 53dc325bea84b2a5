// Vell_par: the transfer program Vell Writer starts from its own folder to deliver a memory
// image. Vell Writer drives the window through requests on our standard input (Requests.h).
//
// Every status the window shows is also written to standard output, one line each, as
// "Vell_par: <status>": our standard output is Vell Writer's, so a person reading its
// terminal sees how a delivery went, and tests read it too.

#include "tools/transfer/RequestChannel.h"
#include "tools/transfer/TransferTarget.h"
#include "tools/transfer/TransferWindow.h"

#include <QApplication>
#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {

void Say(const QString& text) {
    std::fprintf(stdout, "Vell_par: %s\n", text.toUtf8().constData());
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    // Vell Writer may be gone while we still write to the output it left us, or the simulator
    // while we still send: either is reported where it matters, not by dying of a signal.
    std::signal(SIGPIPE, SIG_IGN);

    // With no way to reach a receiver there is nothing to wait for: Vell Writer must see us
    // gone before it tells the receiver's loader to expect an image.
    if (ChooseTransferTarget(TransferPortsFolder()).SocketPath.isEmpty()) {
        Say(TTransferWindow::NoCableStatus());
        return 2;
    }

    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vell_par"));

    TTransferWindow window;
    QObject::connect(&window, &TTransferWindow::StatusChanged, &Say);
    Say(window.Status());

    TRequestChannel requests(STDIN_FILENO);
    QObject::connect(&requests, &TRequestChannel::RequestArrived, &window,
                     &TTransferWindow::HandleRequest);
    // Vell Writer has gone (or never meant to talk to us): the person may still be watching a
    // delivery, so the window stays until it is closed.
    QObject::connect(&requests, &TRequestChannel::Ended, [] {
        Say(QStringLiteral("(requests have ended; the window stays open until it is closed)"));
    });

    window.show();
    return application.exec();
}
