// The test-support layer itself: what a child is started with and what comes back from it, and
// the bounded wait. Children are shell commands of their own, and files are in a folder of the
// test's own.

#include "tests/support/ChildProcess.h"
#include "tests/support/Files.h"
#include "tests/support/PumpUntil.h"
#include "tests/support/WaitUntil.h"

#include <QCoreApplication>
#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

using namespace TestSupport;

namespace {

class ChildProcessTest : public testing::Test {
protected:
    void SetUp() override {
        char folder[] = "/tmp/child-process-test-XXXXXX";
        ASSERT_NE(::mkdtemp(folder), nullptr);
        m_folder = folder;
    }
    void TearDown() override { std::filesystem::remove_all(m_folder); }

    std::string m_folder;
};

TEST_F(ChildProcessTest, StartsWithWhatItIsGivenAndGivesBackWhatItDid) {
    ::setenv("VELL_SUPPORT_TEST_KEPT", "kept", 1);
    ::setenv("VELL_SUPPORT_TEST_GONE", "here", 1);
    const struct {
        const char* what;
        std::string script;
        TEnvironment environment;
        TChildStreams streams;
        std::string before; // in the output file before the child starts
        int exit;
        std::string output;
    } cases[] = {
        {"its exit code", "echo out; exit 3", {}, {.outputPipe = true}, "", 3, "out\n"},
        {"a signal's end", "kill -9 $$", {}, {.outputPipe = true}, "", -1, ""},
        {"variables set, kept and removed",
         "echo \"$VELL_SUPPORT_TEST_SET|$VELL_SUPPORT_TEST_KEPT|${VELL_SUPPORT_TEST_GONE-gone}\"",
         {{"VELL_SUPPORT_TEST_SET", "a b"}, {"VELL_SUPPORT_TEST_GONE", std::nullopt}},
         {.outputPipe = true},
         "",
         0,
         "a b|kept|gone\n"},
        {"error output dropped", "echo out; echo error >&2", {}, {}, "old\n", 0, "old\nout\n"},
        {"error output with the output, the file started anew",
         "echo out; echo error >&2",
         {},
         {.appendOutput = false, .errorToOutput = true},
         "old\n",
         0,
         "out\nerror\n"},
        {"no input", "cat", {}, {.outputPipe = true}, "", 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TChildStreams streams = c.streams;
        if (!streams.outputPipe) {
            streams.outputFile = m_folder + "/output";
            std::ofstream(streams.outputFile) << c.before;
        }
        TChildProcess child({"/bin/sh", "-c", c.script}, c.environment, streams);
        EXPECT_EQ(child.WaitExit(), c.exit);
        EXPECT_EQ(streams.outputPipe ? child.ReadAvailable() : ReadFile(streams.outputFile),
                  c.output);
        EXPECT_FALSE(child.Running());
    }
}

// A line at a time both ways; the end of its input ends it, and its output ends with it even
// though another child started meanwhile: that one holds none of the first one's pipes.
TEST_F(ChildProcessTest, TalksThroughPipesThatNoOtherChildHolds) {
    TChildProcess child({"cat"}, {}, {.inputPipe = true, .outputPipe = true});
    TChildProcess other({"/bin/sh", "-c", "read line"}, {}, {.inputPipe = true});
    ASSERT_TRUE(child.Write("one\ntwo"));
    EXPECT_EQ(child.ReadLine(), "one");
    child.CloseInput();
    EXPECT_EQ(child.ReadLine(), std::nullopt); // "two" has no line feed
    EXPECT_TRUE(child.OutputEnds(kPatience));
    EXPECT_EQ(child.ReadAvailable(), "two");
    EXPECT_EQ(child.WaitExit(), 0);
    EXPECT_TRUE(other.Running());
}

TEST_F(ChildProcessTest, OneThatOutlivesItsPatienceIsKilled) {
    TChildProcess child({"sleep", "600"}, {});
    EXPECT_EQ(child.WaitExit(0ms), -1);
    EXPECT_FALSE(child.Running());
    EXPECT_THROW(TChildProcess({m_folder + "/none"}, {}), std::runtime_error);
}

TEST(WaitUntil, ChecksBetweenTurnsUntilItHoldsOrThePatienceIsOver) {
    const struct {
        int holdsAfter; // turns; -1: never
        std::chrono::milliseconds patience;
        bool result;
        int turns;
    } cases[] = {{0, 0ms, true, 0}, {3, kPatience, true, 3}, {-1, 0ms, false, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.holdsAfter);
        int turns = 0;
        EXPECT_EQ(WaitUntil([&] { return c.holdsAfter >= 0 && turns >= c.holdsAfter; }, c.patience,
                            [&] { ++turns; }),
                  c.result);
        EXPECT_EQ(turns, c.turns);
    }
}

// What the test waits for comes from this thread's events.
TEST(PumpUntil, ServesTheThreadsEventsWhileItWaits) {
    int argc = 1;
    char name[] = "support_tests";
    char* argv[] = {name, nullptr};
    QCoreApplication application(argc, argv);
    bool fired = false;
    QTimer::singleShot(0, [&] { fired = true; });
    EXPECT_TRUE(PumpUntil([&] { return fired; }));
}

} // namespace
