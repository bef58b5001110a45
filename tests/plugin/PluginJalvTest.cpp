// The plugin in a real host: jalv on a private JACK server loads a session
// holding the song, and a recording client takes down its MIDI out.
#include "plugin/PluginTestSupport.h"
#include "support/JackTestSupport.h"

#include <jack/transport.h>

namespace sorvelin::testing {
namespace {

class JalvTest : public PluginTest {
protected:
    JalvTest() { notesPerPart = 24; }
};

// jalv ended when the test ends, however it ends.
struct Child {
    pid_t pid = -1;
    ~Child() {
        if (pid > 0) {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
    }
};

TEST_F(JalvTest, JalvPlaysTheSessionsSongOnJack) {
#ifdef __SANITIZE_THREAD__
    GTEST_SKIP() << "libjack is not instrumented";
#endif
    const std::filesystem::path session = dir.path / "session";
    {
        PluginHost host(SORVELIN_LV2_DIR);
        host.SetSong(song.string());
        host.Run(256);
        host.SaveState(session.string() + "/", true);
    }
    JackServer server;
    if (!server.Running()) {
        GTEST_SKIP() << "no JACK server here";
    }
    JackRecorder recorder;
    jack_status_t status{};
    jack_client_t* transport = jack_client_open("transport", JackNoStartServer, &status);
    ASSERT_NE(transport, nullptr);
    jack_transport_stop(transport);
    jack_transport_locate(transport, 0);

    // jalv reads commands from its standard input: a pipe kept open.
    int input[2];
    ASSERT_EQ(pipe(input), 0);
    const std::string path = std::string("LV2_PATH=") + SORVELIN_LV2_DIR + ":/usr/lib/lv2";
    std::vector<std::string> args = {"jalv",           "-x",     "-n", "sorvelin", "-l",
                                     session.string(), PluginUri};
    std::vector<char*> argv;
    for (std::string& arg : args) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    std::vector<char*> env{const_cast<char*>(path.c_str())};
    for (char** e = environ; *e != nullptr; ++e) {
        env.push_back(*e);
    }
    env.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input[0], 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    const std::string log = (dir.path / "jalv.log").string();
    posix_spawn_file_actions_addopen(&actions, 2, log.c_str(), O_WRONLY | O_CREAT, 0644);
    Child jalv;
    ASSERT_EQ(posix_spawnp(&jalv.pid, "jalv", &actions, nullptr, argv.data(), env.data()), 0);
    posix_spawn_file_actions_destroy(&actions);
    close(input[0]);

    bool connected = false;
    for (int i = 0; i < 200 && !connected; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        connected = recorder.Connect("sorvelin:midi_out");
    }
    ASSERT_TRUE(connected) << "jalv's MIDI out did not appear: " << ReadFileBytes(log);
    jack_transport_start(transport);
    const double perTick = FramesPerTick(60e6 / expected.tempo);
    const auto seconds = (expected.lastTick + BarTicks) * perTick / Rate;
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    jack_transport_stop(transport);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    close(input[1]);
    jack_client_close(transport);

    std::vector<Played> played;
    for (const RecordedMessage& m : recorder.Messages()) {
        played.push_back({m.frame, m.Bytes()});
    }
    ASSERT_FALSE(played.empty()) << ReadFileBytes(log);
    // The song's first message (General MIDI System On, tick 0) sets the
    // start; every other falls where its tick says from there.
    ExpectSameEvents(played, expected, perTick, played.front().frame, 0, ~0ull);
}

} // namespace
} // namespace sorvelin::testing
