// The ways a delivery fails, said plainly, against real sockets.

#include "tests/support/PlantedFolder.h"
#include "tests/tools/transfer/SimulatorStandIn.h"
#include "tools/transfer/ImageDelivery.h"
#include "tools/transfer/TransferTarget.h"

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
    PumpUntil([&] { return !delivery.IsRunning(); });
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
    const QString dead = dir.filePath("dead");
    sockaddr_un address{AF_UNIX, {}};
    qstrncpy(address.sun_path, qPrintable(dead), sizeof address.sun_path);
    const int deadFd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_EQ(::bind(deadFd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(deadFd);
    TSimulatorStandIn simulator(dir.filePath("s.transfer"));

    // What the far end does once the delivery started.
    enum TFarEnd {
        Gone,         // nothing listens
        AnswersImage, // answers once the whole image came, then closes
        Silent,       // takes the image, then says nothing and stays open
        AnswersAtOnce // answers on connection and stays open
    };
    const struct {
        TFarEnd farEnd;
        QByteArray answer;
        int patience;        // how long the simulator may take nothing and say nothing, ms
        std::string outcome; // the failure said, "" once delivered; for Silent its start
    } rows[] = {
        {Gone, "", 30000,
         ("Cannot reach the receiver simulator at " + dead +
          ": nothing answers there, it has probably stopped.")
             .toStdString()},
        {AnswersImage, "OK 9999\n", 30000,
         "The receiver simulator confirmed 9999 bytes, but the image has 10000."},
        {AnswersImage, "PROGRESS 6000\nERROR checksum\n", 30000,
         "The receiver simulator went away after 10000 of 10000 bytes. Its last words: "
         "\"ERROR checksum\"."},
        {AnswersImage, "OK 10000", 30000, ""}, // its line feed lost as it closed
        {Silent, "", 50,
         "The receiver simulator took nothing and said nothing for 0.05 s: the delivery was "
         "given up after "},
        {AnswersAtOnce, QByteArray(100000, 'x'), 30000,
         "The receiver simulator sent a line of over 4096 bytes: that is no answer of a "
         "simulator."},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.outcome);
        delivery.SetPatience(row.patience);
        simulator.client = nullptr;
        ASSERT_TRUE(delivery.Start(file.fileName(),
                                   row.farEnd == Gone ? dead : dir.filePath("s.transfer"), &error));
        if (row.farEnd == AnswersImage) {
            ASSERT_TRUE(PumpUntil([&] { return simulator.client && simulator.HasWholeImage(); }));
            simulator.Answer(row.answer);
            simulator.client->disconnectFromServer();
        } else if (row.farEnd == AnswersAtOnce) {
            ASSERT_TRUE(PumpUntil([&] { return simulator.client != nullptr; }));
            simulator.Answer(row.answer);
        }
        const std::string outcome = Outcome(delivery);
        if (row.farEnd == Silent)
            EXPECT_EQ(outcome.rfind(row.outcome, 0), 0u) << outcome;
        else
            EXPECT_EQ(outcome, row.outcome);
    }
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
