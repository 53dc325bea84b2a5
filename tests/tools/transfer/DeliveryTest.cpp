// The ways a delivery fails, said plainly, against real sockets.

#include "ImageDelivery.h"
#include "PlantedFolder.h"
#include "SimulatorStandIn.h"
#include "TransferTarget.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// How a started delivery ends: its failure, or "" once delivered.
std::string Outcome(TImageDelivery& delivery) {
    QString outcome = "still running";
    QObject context;
    QObject::connect(&delivery, &TImageDelivery::Failed, &context, [&](QString m) { outcome = m; });
    QObject::connect(&delivery, &TImageDelivery::Delivered, &context, [&] { outcome.clear(); });
    WaitUntil([&] { return !delivery.IsRunning(); });
    return outcome.toStdString();
}

} // namespace

TEST(ImageDelivery, FailuresAreSaidPlainlyAndOnlyTheFullConfirmationCounts) {
    QTemporaryDir dir;
    TImageDelivery delivery;
    QString error;
    EXPECT_FALSE(delivery.Start(dir.filePath("gone.bin"), "", &error));
    EXPECT_EQ(error, "Cannot read " + dir.filePath("gone.bin") + ": No such file or directory.");
    EXPECT_FALSE(delivery.Start(dir.path(), "", &error));
    EXPECT_EQ(error, "Cannot read " + dir.path() + ": it is not a file.");

    QFile file(dir.filePath("a.bin"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(QByteArray(10000, 'x')) == 10000);
    file.close();
    // A socket nobody listens on: what a simulator that died leaves behind.
    sockaddr_un address{AF_UNIX, {}};
    qstrncpy(address.sun_path, qPrintable(dir.filePath("dead")), sizeof address.sun_path);
    const int dead = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_EQ(::bind(dead, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(dead);
    ASSERT_TRUE(delivery.Start(file.fileName(), dir.filePath("dead"), &error));
    EXPECT_EQ(Outcome(delivery), ("Cannot reach the receiver simulator at " + dir.filePath("dead") +
                                  ": nothing answers there, it has probably stopped.")
                                     .toStdString());

    TSimulatorStandIn simulator(dir.filePath("s.transfer"));
    const auto deliverAndAnswer = [&](const QByteArray& answer) {
        simulator.client = nullptr;
        EXPECT_TRUE(delivery.Start(file.fileName(), dir.filePath("s.transfer"), &error));
        EXPECT_TRUE(WaitUntil([&] { return simulator.client && simulator.HasWholeImage(); }));
        simulator.Answer(answer);
        simulator.client->disconnectFromServer();
        return Outcome(delivery);
    };
    EXPECT_EQ(deliverAndAnswer("OK 9999\n"),
              "The receiver simulator confirmed 9999 bytes, but the image has 10000.");
    EXPECT_EQ(deliverAndAnswer("PROGRESS 6000\nERROR checksum\n"),
              "The receiver simulator went away after 10000 of 10000 bytes. Its last words: "
              "\"ERROR checksum\".");
    EXPECT_EQ(deliverAndAnswer("OK 10000"), ""); // its line feed lost as it closed

    // A simulator that stays open and silent, and one that never ends its line.
    delivery.SetPatience(50);
    simulator.client = nullptr;
    ASSERT_TRUE(delivery.Start(file.fileName(), dir.filePath("s.transfer"), &error));
    EXPECT_EQ(Outcome(delivery).rfind("The receiver simulator took nothing and said nothing for "
                                      "0.05 s: the delivery was given up after ",
                                      0),
              0u);
    delivery.SetPatience(30000);
    simulator.client = nullptr;
    ASSERT_TRUE(delivery.Start(file.fileName(), dir.filePath("s.transfer"), &error));
    ASSERT_TRUE(WaitUntil([&] { return simulator.client != nullptr; }));
    simulator.Answer(QByteArray(100000, 'x'));
    EXPECT_EQ(Outcome(delivery), "The receiver simulator sent a line of over 4096 bytes: that is "
                                 "no answer of a simulator.");
}

// Another user made the fallback ports folder first and listens on a transfer socket there:
// the folder is not used, its socket is not chosen, and even handed its path the delivery
// sends the image nowhere.
TEST(ImageDelivery, PlantedSimulatorOfAnotherUserGetsNothing) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to act as nobody";
    TPrivateTmp tmp;
    ASSERT_TRUE(tmp.Plant());
    EXPECT_EQ(TransferPortsFolder(), "");
    EXPECT_EQ(ChooseTransferTarget(TransferPortsFolder()).SocketPath, "");
    const QString ports = QString::fromStdString(tmp.Ports());
    EXPECT_EQ(ChooseTransferTarget(ports).SocketPath, "");

    QFile file(QString::fromStdString(tmp.Path()) + "/image.bin");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(QByteArray(10000, 'x')) == 10000);
    file.close();
    TImageDelivery delivery;
    QString error;
    ASSERT_TRUE(delivery.Start(file.fileName(), ports + "/planted.transfer", &error));
    EXPECT_EQ(Outcome(delivery), ("The receiver simulator at " + ports +
                                  "/planted.transfer is run by another user: the image was not "
                                  "sent.")
                                     .toStdString());
    EXPECT_EQ(tmp.Stolen(), 0);
}
