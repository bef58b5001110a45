#include "output/TrackRender.h"
#include "support/PlaybackTestSupport.h"

#include <gtest/gtest.h>

using namespace sorvelin;
using namespace sorvelin::testing;
using namespace std::chrono_literals;

TEST(TrackRender, MessagesAreTimedAsPlayWouldSendThem) {
    TestSong s;
    s.Note(0, 0, 60, 120);
    s.Tempo(120, 250000);
    s.Note(120, 0, 62, 120);
    const auto messages = PlayedMessages(*s.play);
    ASSERT_EQ(messages.size(), 5u);
    EXPECT_EQ(messages[0].at, 0ns);
    EXPECT_EQ(messages[0].bytes, (Bytes{0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}));
    EXPECT_EQ(messages[1].bytes, (Bytes{0x90, 60, 100}));
    // A quarter later the next note, then the first one's note-off (made later).
    EXPECT_EQ(messages[2].at, 500ms);
    EXPECT_EQ(messages[2].bytes, (Bytes{0x90, 62, 100}));
    EXPECT_EQ(messages[3].at, 500ms);
    EXPECT_EQ(messages[3].bytes, (Bytes{0x90, 60, 0}));
    EXPECT_EQ(messages[4].at, 750ms); // a quarter at the doubled tempo
    EXPECT_EQ(messages[4].bytes, (Bytes{0x90, 62, 0}));
}
