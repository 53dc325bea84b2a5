// Vell Writer's requests: the line grammar, the paste escapes, and the channel on a real pipe,
// as standard input is one.

#include "tests/tools/transfer/SimulatorStandIn.h"
#include "tools/transfer/RequestChannel.h"

#include <gtest/gtest.h>
#include <unistd.h>

TEST(Requests, LinesParseToTheirRequestsAndOnlyThreeEscapesDecode) {
    EXPECT_EQ(ParseRequest("minimize").Kind, TRequestKind::Minimize);
    EXPECT_EQ(ParseRequest("close\r").Kind, TRequestKind::Close);
    const TRequest click = ParseRequest("click 25 30");
    EXPECT_TRUE(click.Kind == TRequestKind::Click && click.X == 25 && click.Y == 30);
    const TRequest paste = ParseRequest("paste  /100%25 %2541%0A%0d%41 %2 \xc3\xa9 ");
    EXPECT_EQ(paste.Kind, TRequestKind::Paste);
    EXPECT_EQ(paste.Text, QString::fromUtf8(" /100% %41\n\r%41 %2 é ")); // spaces may be the path's
    for (const char* other : {"", "PASTE x", "minimize now", "click 1", "click a b", "closer"})
        EXPECT_EQ(ParseRequest(other).Kind, TRequestKind::Unknown) << other;
}

TEST(Requests, ChannelJoinsLinesSplitAcrossReadsAndEndsAtEndOfFile) {
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    TRequestChannel channel(ends[0]);
    QList<TRequest> requests;
    bool ended = false;
    QObject::connect(&channel, &TRequestChannel::RequestArrived,
                     [&](TRequest r) { requests += r; });
    QObject::connect(&channel, &TRequestChannel::Ended, [&] { ended = true; });
    ASSERT_EQ(::write(ends[1], "click 3 4\npaste /a%25", 21), 21);
    ASSERT_TRUE(PumpUntil([&] { return requests.size() == 1; }));
    ASSERT_EQ(::write(ends[1], "b\nclose", 7), 7); // its line feed never comes, still meant
    ::close(ends[1]);
    ASSERT_TRUE(PumpUntil([&] { return ended; }));
    ::close(ends[0]);
    ASSERT_EQ(requests.size(), 3);
    EXPECT_EQ(requests[1].Text, "/a%b");
    EXPECT_EQ(requests[2].Kind, TRequestKind::Close);
    EXPECT_FALSE(channel.IsOpen());
}
