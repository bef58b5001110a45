// Sorvelin's own ports: the ALSA port's addressing and list row, and the
// JACK output's placing of a message inside a period, none of which needs
// a server.
#include "sound/AlsaEncoder.h"
#include "sound/MidiOutAlsa.h"
#include "sound/MidiOutJack.h"

#include <gtest/gtest.h>

#include <thread>

using namespace sorvelin;

TEST(AlsaOwnPort, EventsGoToTheChosenPortOrToEverySubscriber) {
    struct Case {
        AlsaDestination destination;
        int client; // the event's destination
        int port;
    };
    const Case cases[] = {
        {{20, 0, false}, 20, 0},
        {{128, 3, false}, 128, 3},
        {{20, 0, true}, SND_SEQ_ADDRESS_SUBSCRIBERS, SND_SEQ_ADDRESS_UNKNOWN},
    };
    AlsaEncoder encoder;
    for (const Case& c : cases) {
        snd_seq_event_t event;
        ASSERT_TRUE(encoder.Encode(PackShortMsg(0x91, 64, 90), event));
        AddressAlsaEvent(event, 5, c.destination);
        EXPECT_EQ(event.source.port, 5);
        EXPECT_EQ(event.dest.client, c.client);
        EXPECT_EQ(event.dest.port, c.port);
        EXPECT_EQ(event.queue, SND_SEQ_QUEUE_DIRECT) << "sent at once, not queued";
        EXPECT_EQ(event.type, SND_SEQ_EVENT_NOTEON) << "addressing keeps the message";
        EXPECT_EQ(event.data.note.note, 64);
    }
}

// With a sequencer, the last row is Sorvelin:out, shown whole, and a port
// subscribed to it gets what is sent.
TEST(AlsaOwnPort, IsTheLastRowAndSendsToItsSubscribers) {
    snd_seq_t* reader = nullptr;
    if (snd_seq_open(&reader, "default", SND_SEQ_OPEN_DUPLEX, SND_SEQ_NONBLOCK) < 0) {
        GTEST_SKIP() << "no ALSA sequencer on this machine (no /dev/snd/seq)";
    }
    const int readerPort = snd_seq_create_simple_port(
        reader, "listener", SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE,
        SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
    ASSERT_GE(readerPort, 0);
    AlsaMidiOut alsa;
    const int rows = alsa.NumDevs();
    ASSERT_GE(rows, 2) << "the listener's port and Sorvelin's own";
    MidiOutCaps caps;
    ASSERT_EQ(alsa.DevCaps(rows - 1, caps), kMidiOk);
    EXPECT_EQ(caps.listText, "Sorvelin MIDI out (connect in your patchbay)");
    EXPECT_LE(caps.productName.size(), kMaxProductName);
    std::unique_ptr<MidiOutput> out;
    ASSERT_EQ(alsa.Open(rows - 1, out), kMidiOk);
    // The patchbay's part: connect Sorvelin:out to the listener.
    snd_seq_addr_t sender{};
    ASSERT_EQ(snd_seq_parse_address(reader, &sender, "Sorvelin:out"), 0);
    ASSERT_EQ(snd_seq_connect_from(reader, readerPort, sender.client, sender.port), 0);
    ASSERT_EQ(out->ShortMsg(PackShortMsg(0x92, 67, 80)), kMidiOk);
    snd_seq_event_t* got = nullptr;
    for (int wait = 0; wait < 200 && snd_seq_event_input(reader, &got) < 0; ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_NE(got, nullptr);
    EXPECT_EQ(got->type, SND_SEQ_EVENT_NOTEON);
    EXPECT_EQ(got->data.note.channel, 2);
    EXPECT_EQ(got->data.note.note, 67);
    EXPECT_EQ(out->Close(), kMidiOk);
    snd_seq_close(reader);
}

TEST(JackOutput, EachMessageGoesToItsOffsetInsideThePeriodOfItsDueFrame) {
    struct Case {
        std::uint32_t due, periodStart, frames, floor;
        long offset; // -1: a later period
    };
    const Case cases[] = {
        {1000, 1000, 256, 0, 0},                 // at the period's start
        {1100, 1000, 256, 0, 100},               // inside it
        {1255, 1000, 256, 0, 255},               // its last frame
        {1256, 1000, 256, 0, -1},                // the next period's first frame
        {90000, 1000, 256, 0, -1},               // far ahead
        {900, 1000, 256, 0, 0},                  // late: as early as possible
        {1050, 1000, 256, 80, 80},               // never before the message before it
        {0xFFFFFFF0u, 0xFFFFFF00u, 256, 0, 240}, // near the wrap of the frame clock
        {0x10, 0xFFFFFF80u, 256, 0, 0x90},       // across the wrap
        {0x90, 0xFFFFFF80u, 256, 0, -1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(JackOffsetInPeriod(c.due, c.periodStart, c.frames, c.floor), c.offset)
            << "due " << c.due << " in the period from " << c.periodStart;
    }
}
