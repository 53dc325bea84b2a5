// The receiver's dialogue pieces in-process, where every way of cutting the bytes can be tried:
// the command scanner and the image stream parser.

#include "tools/receiver-sim/Dialogue.h"

#include "tests/tools/receiver-sim/SimHarness.h"
#include "tools/receiver-sim/Transfer.h"

#include <gtest/gtest.h>
#include <random>

using namespace ReceiverSim;
using Type = TPortEvent::TType;

namespace {

std::vector<TPortEvent> FeedPieces(TCommandScanner& scanner,
                                   const std::vector<std::string>& pieces) {
    std::vector<TPortEvent> all;
    for (const std::string& piece : pieces)
        for (TPortEvent& event : scanner.Feed(piece.data(), piece.size()))
            all.push_back(std::move(event));
    return all;
}

TEST(CommandScanner, FreezesOnceWhereverTheStringsAreCut) {
    const std::string both = kCommandString1 + kCommandString2;
    for (size_t i = 0; i <= both.size(); ++i) {
        for (size_t j = i; j <= both.size(); ++j) {
            TCommandScanner scanner;
            const auto events =
                FeedPieces(scanner, {both.substr(0, i), both.substr(i, j - i), both.substr(j)});
            ASSERT_EQ(events.size(), 1u) << i << "," << j;
            EXPECT_EQ(events[0].Type, Type::Freeze) << i << "," << j;
        }
    }
}

TEST(CommandScanner, FindsRunCommandsByteByByteAndAmongNoise) {
    const std::string stream = std::string("\x02\x02") + RunCommandString(TRunKind::Flash) +
                               "\x02"
                               "AB" +
                               RunCommandString(TRunKind::Eeprom) + "noise" +
                               RunCommandString(TRunKind::Erase) +
                               "\x02"
                               "C046,0\x03" +
                               RunCommandString(TRunKind::Firmware);
    TCommandScanner scanner;
    std::vector<TPortEvent> events;
    for (char c : stream)
        for (TPortEvent& event : scanner.Feed(&c, 1))
            events.push_back(event);
    ASSERT_EQ(events.size(), 5u);
    EXPECT_EQ(events[0].Kind, TRunKind::Flash);
    EXPECT_EQ(events[1].Kind, TRunKind::Eeprom);
    EXPECT_EQ(events[2].Kind, TRunKind::Erase);
    EXPECT_EQ(events[3].Type, Type::Unknown);
    EXPECT_EQ(events[3].Text, "C046,0");
    EXPECT_EQ(events[4].Type, Type::Run);
    EXPECT_EQ(events[4].Kind, TRunKind::Firmware);
}

TEST(CommandScanner, PowerCycleForgetsALoneFirstString) {
    TCommandScanner scanner;
    FeedPieces(scanner, {kCommandString1});
    scanner.Reset();
    const auto events = FeedPieces(scanner, {kCommandString2});
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].Type, Type::StrayString2);
}

TEST(CommandScanner, KeepsOnlyAShortTailOfGarbage) {
    TCommandScanner scanner;
    std::mt19937 random(42);
    std::string chunk(4096, '\0');
    for (int round = 0; round < 256; ++round) {
        for (char& c : chunk)
            c = static_cast<char>(random() & 0xFF);
        scanner.Feed(chunk.data(), chunk.size());
        ASSERT_LE(scanner.Pending(), TCommandScanner::kMaxPending);
    }
    const std::string open = "\x02" + std::string(200, 'A');
    scanner.Feed(open.data(), open.size());
    EXPECT_LE(scanner.Pending(), TCommandScanner::kMaxPending);
    const auto events = FeedPieces(scanner, {kCommandString1 + kCommandString2});
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].Type, Type::Freeze);
}

// The simulator's CRC-32 is the one every test compares images by: zlib's, however the bytes
// are cut.
TEST(Crc32, IsZlibsInAnyPieces) {
    std::string everyByte;
    for (int i = 0; i < 256; ++i)
        everyByte += char(i);
    const struct {
        std::string bytes;
        uint32_t crc;
    } cases[] = {{"", 0x00000000u},
                 {"a", 0xE8B7BE43u},
                 {"123456789", 0xCBF43926u},
                 {"The quick brown fox jumps over the lazy dog", 0x414FA339u},
                 {everyByte, 0x29058C73u}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bytes.size());
        EXPECT_EQ(SimTest::Crc32(c.bytes), c.crc);
        const size_t half = c.bytes.size() / 2;
        const uint32_t first = Crc32Update(0xFFFFFFFFu, c.bytes.data(), half);
        EXPECT_EQ(Crc32Update(first, c.bytes.data() + half, c.bytes.size() - half) ^ 0xFFFFFFFFu,
                  c.crc);
    }
}

TEST(ImageReceiver, TakesTheImageHoweverItIsCut) {
    std::string image(1000, '\0');
    std::mt19937 random(9);
    for (char& c : image)
        c = static_cast<char>(random() & 0xFF);
    const std::string stream = "IMAGE 1000\n" + image + "trailing";
    for (size_t piece : {size_t(1), size_t(7), stream.size()}) {
        SCOPED_TRACE(piece);
        TImageReceiver receiver;
        std::string reply;
        size_t used = 0;
        for (size_t at = 0;
             at < stream.size() && receiver.State() != TImageReceiver::TState::Complete;
             at += piece) {
            const size_t count = std::min(piece, stream.size() - at);
            used += receiver.Feed(stream.data() + at, count);
            reply += receiver.TakeReply();
        }
        EXPECT_EQ(used, stream.size() - 8) << "the trailing bytes are not the image's";
        EXPECT_EQ(receiver.Crc(), SimTest::Crc32(image));
        ASSERT_GE(reply.size(), 8u);
        EXPECT_EQ(reply.substr(reply.size() - 8), "OK 1000\n");
        if (piece == 1) {
            EXPECT_EQ(reply, "PROGRESS 250\nPROGRESS 500\nPROGRESS 750\nOK 1000\n");
        } else if (piece == stream.size()) {
            EXPECT_EQ(reply, "OK 1000\n");
        }
    }
}

} // namespace
