#include "PeerBaseline.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <vector>

extern char** environ;

namespace zg::bench {
namespace {

constexpr int kFrames = 300;
constexpr int kAttempts = 3;

// CPU seconds of one ffmpeg run that grabs and encodes `frames` frames; nothing when it
// cannot be started or fails.
std::optional<double> run(const std::string& input, const std::string& size, int frames) {
    std::vector<std::string> args = {"ffmpeg",
                                     "-f",
                                     "x11grab",
                                     "-framerate",
                                     "1000",
                                     "-video_size",
                                     size,
                                     "-i",
                                     input,
                                     "-c:v",
                                     "mjpeg",
                                     "-pix_fmt",
                                     "yuvj420p",
                                     "-q:v",
                                     "5",
                                     "-frames:v",
                                     std::to_string(frames),
                                     "-f",
                                     "null",
                                     "-"};
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);

    // Quiet, and away from the terminal, where it would read keys.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int failed = posix_spawnp(&pid, "ffmpeg", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed) return std::nullopt;

    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return std::nullopt;
    }
    const auto seconds = [](timeval t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// At times ffmpeg guesses the grab's frame rate too low from its first frames, gives two
// frames one time stamp and gives up; another run goes through.
std::optional<double> runUntilDone(const std::string& input, const std::string& size, int frames) {
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        if (const auto cpu = run(input, size, frames)) return cpu;
    }
    return std::nullopt;
}

}  // namespace

std::optional<PeerCost> ffmpegCost(const std::string& display, int x, int y, int width,
                                   int height) {
    const std::string input = display + "+" + std::to_string(x) + "," + std::to_string(y);
    const std::string size = std::to_string(width) + "x" + std::to_string(height);
    const auto all = runUntilDone(input, size, kFrames);
    const auto one = all ? runUntilDone(input, size, 1) : std::nullopt;
    if (!one) return std::nullopt;
    return PeerCost{*all / kFrames * 1000, (*all - *one) / (kFrames - 1) * 1000};
}

}  // namespace zg::bench
