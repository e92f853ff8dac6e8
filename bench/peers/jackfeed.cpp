// Six channels of programme-like audio on a JACK server, for measuring another meter program on
// the same kind of programme as the display gets from the console simulator: noise whose level
// follows the simulator's programme model, 0 dB on its scale at -9 dB below full scale.
// Usage: jackfeed [client name, default kolvane-feed]. Ports out1 to out6; runs until stopped.

#include "programmeaudio.h"

#include <jack/jack.h>

#include <array>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <random>
#include <string>
#include <unistd.h>

namespace {

constexpr int Channels = LevelFrame::LevelCount;
constexpr double AlignmentDb = -9.0;
// The levels move in steps of a millisecond; within a step each channel keeps its amplitude.
constexpr double StepSeconds = 0.001;

struct Feed
{
    std::array<jack_port_t *, Channels> ports{};
    ProgrammeAudio programme{15};
    std::minstd_rand noise{7};
    std::array<float, Channels> amplitudes{};
    int samplesPerStep = 48;
    int samplesLeft = 0;
};

int process(jack_nframes_t frames, void *argument)
{
    Feed &feed = *static_cast<Feed *>(argument);
    std::array<float *, Channels> out{};
    for (int k = 0; k < Channels; ++k)
        out[size_t(k)] = static_cast<float *>(jack_port_get_buffer(feed.ports[size_t(k)], frames));
    std::uniform_real_distribution<float> sample(-1.0f, 1.0f);
    for (jack_nframes_t i = 0; i < frames; ++i) {
        if (feed.samplesLeft-- <= 0) {
            feed.samplesLeft = feed.samplesPerStep - 1;
            const LevelFrame::Levels levels = feed.programme.next(StepSeconds);
            for (int k = 0; k < Channels; ++k) {
                const double level = levels[size_t(k)];
                feed.amplitudes[size_t(k)] =
                    level <= LevelFrame::FloorDb ? 0.0f : float(std::pow(10.0, (level + AlignmentDb) / 20.0));
            }
        }
        for (int k = 0; k < Channels; ++k)
            out[size_t(k)][i] = feed.amplitudes[size_t(k)] * sample(feed.noise);
    }
    return 0;
}

volatile std::sig_atomic_t stopping = 0;
void requestStop(int)
{
    stopping = 1;
}

} // namespace

int main(int argc, char *argv[])
{
    const char *name = argc > 1 ? argv[1] : "kolvane-feed";
    jack_status_t status{};
    jack_client_t *client = jack_client_open(name, JackNoStartServer, &status);
    if (!client) {
        std::fprintf(stderr, "jackfeed: no JACK server (status 0x%x)\n", unsigned(status));
        return 1;
    }
    static Feed feed;
    feed.samplesPerStep = int(jack_get_sample_rate(client) * StepSeconds);
    for (int k = 0; k < Channels; ++k) {
        const std::string port = "out" + std::to_string(k + 1);
        feed.ports[size_t(k)] =
            jack_port_register(client, port.c_str(), JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
    }
    jack_set_process_callback(client, process, &feed);
    if (jack_activate(client) != 0) {
        std::fprintf(stderr, "jackfeed: cannot activate\n");
        return 1;
    }
    std::signal(SIGTERM, requestStop);
    std::signal(SIGINT, requestStop);
    std::printf("%s\n", jack_get_client_name(client));
    std::fflush(stdout);
    while (!stopping)
        pause();
    jack_client_close(client);
    return 0;
}
