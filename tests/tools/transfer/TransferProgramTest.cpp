// The built Vell_par.exe as Vell Writer runs it: a child with a pipe on its standard input,
// requests written there, its status lines read from its standard output, and a real socket
// server in the simulator's place.

#include "tests/support/PlantedFolder.h"
#include "tests/tools/transfer/SimulatorStandIn.h"

#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class TransferProgram : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(QFileInfo(VELL_PAR_PROGRAM).isExecutable())
            << "the program under test was not built: " << VELL_PAR_PROGRAM;
        ASSERT_EQ(QFileInfo(VELL_PAR_PROGRAM).fileName(), "Vell_par.exe");
        QRandomGenerator(7).fillRange(reinterpret_cast<quint32*>(image.data()), image.size() / 4);
        QFile file(runtime.filePath("odd %41 name.bin")); // "%41" must not come out as "A"
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(image) == image.size());
        paste = "paste " + file.fileName().toUtf8().replace("%", "%25") + "\n";
    }
    // Starts the program as Vell Writer does; after the simulator, which it looks for first.
    void Start() {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        environment.insert("XDG_RUNTIME_DIR", runtime.path());
        program.setProcessEnvironment(environment);
        program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        program.start(VELL_PAR_PROGRAM);
        ASSERT_TRUE(program.waitForStarted(10000));
    }
    void TearDown() override {
        program.kill();
        program.waitForFinished(10000);
    }
    void Send(const QByteArray& lines) { ASSERT_EQ(program.write(lines), lines.size()); }
    // Waits until `line` has been said `times` times ("Vell_par: " taken off each line).
    bool Said(const QString& line, int times = 1) {
        PumpUntil([&] {
            while (program.canReadLine())
                said += QString::fromUtf8(program.readLine()).chopped(1).mid(10);
            return said.count(line) >= times;
        });
        return said.count(line) >= times || (ADD_FAILURE() << said.join('\n').toStdString(), false);
    }

    QTemporaryDir runtime;
    const QString simulatorSocket = runtime.filePath("vell-writer/ports/test0.transfer");
    QByteArray image = QByteArray(100 * 1024 + 17, '\0'); // many chunks, every byte value
    QByteArray paste;
    QProcess program;
    QStringList said;
};

} // namespace

TEST_F(TransferProgram, DeliversUndisturbedAndClosesAtOnceEvenWhileDelivering) {
    TSimulatorStandIn simulator(simulatorSocket);
    ASSERT_TRUE(simulator.listening);
    Start();
    Send("minimize\nclick 25 30\nwhatever comes\n\n" + paste);
    ASSERT_TRUE(PumpUntil([&] { return simulator.HasWholeImage(); }));
    EXPECT_EQ(simulator.received, "IMAGE 102417\n" + image);
    simulator.Answer("PROGRESS 4096\nOK 102417\n");
    EXPECT_TRUE(Said("Delivering odd %41 name.bin to the receiver simulator on test0.transfer…"));
    ASSERT_TRUE(Said("Done: 102417 bytes delivered"));

    Send(paste); // the next one is left unconfirmed
    ASSERT_TRUE(PumpUntil([&] { return simulator.HasWholeImage(); }));
    Send("close\n");
    ASSERT_TRUE(program.waitForFinished(2000)); // what Vell Writer waits
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
}

TEST_F(TransferProgram, KeepsWorkingAfterItsRequestsEnd) {
    TSimulatorStandIn simulator(simulatorSocket);
    Start();
    Send(paste);
    ASSERT_TRUE(PumpUntil([&] { return simulator.HasWholeImage(); }));
    program.closeWriteChannel();
    ASSERT_TRUE(Said("(requests have ended; the window stays open until it is closed)"));
    // Only a program still running can take the confirmation that comes now.
    simulator.Answer("OK 102417\n");
    EXPECT_TRUE(Said("Done: 102417 bytes delivered"));
    EXPECT_EQ(program.state(), QProcess::Running);
}

// With no way to reach a receiver the program says so and ends at once, so that Vell Writer
// sees it gone before it tells the receiver to wait for an image.
TEST_F(TransferProgram, EndsAtOnceSayingWhyWithoutASimulator) {
    const QString noCable = "No transfer cable support: this program can deliver images only "
                            "to the receiver simulator (none is running).";
    Start();
    EXPECT_TRUE(Said(noCable));
    ASSERT_TRUE(program.state() == QProcess::NotRunning || program.waitForFinished(5000));
    EXPECT_EQ(program.exitCode(), 2);

    // A socket's name on a plain file, as a person might leave one, is no simulator either.
    said.clear();
    QDir().mkpath(runtime.filePath("vell-writer/ports"));
    QFile stale(simulatorSocket);
    ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    Start();
    EXPECT_TRUE(Said(noCable));
    ASSERT_TRUE(program.state() == QProcess::NotRunning || program.waitForFinished(5000));
    EXPECT_EQ(program.exitCode(), 2);
}

// Without a runtime folder, where another user made the fallback ports folder first and
// listens there: the program finds no simulator and sends that user nothing.
TEST_F(TransferProgram, SendsNothingIntoAFolderAnotherUserMade) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to act as nobody";
    TPrivateTmp tmp;
    ASSERT_TRUE(tmp.Plant());
    program.kill();
    program.waitForFinished(10000);
    QProcessEnvironment environment = program.processEnvironment();
    environment.remove("XDG_RUNTIME_DIR");
    environment.insert("TMPDIR", QString::fromStdString(tmp.Path()));
    program.setProcessEnvironment(environment);
    program.start(VELL_PAR_PROGRAM);
    ASSERT_TRUE(program.waitForStarted(10000));
    Send(paste);
    EXPECT_TRUE(Said("No transfer cable support: this program can deliver images only to the "
                     "receiver simulator (none is running)."));
    EXPECT_EQ(tmp.Stolen(), 0);
}
