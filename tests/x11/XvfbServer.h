#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

namespace zg::test {

// A private X server on a display number it picks; stopped with the object or the process.
class XvfbServer {
public:
    explicit XvfbServer(const std::vector<std::string>& extraArguments = {}) {
        int fds[2];
        if (pipe(fds) != 0) return;
        std::vector<std::string> args = {"Xvfb",      "-displayfd", std::to_string(fds[1]),
                                         "-screen",   "0",          "1280x800x24",
                                         "-nolisten", "tcp"};
        args.insert(args.end(), extraArguments.begin(), extraArguments.end());
        std::vector<char*> argv;
        for (auto& arg : args) argv.push_back(arg.data());
        argv.push_back(nullptr);
        pid_ = fork();
        if (pid_ == 0) {
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, STDOUT_FILENO);
            dup2(null, STDERR_FILENO);
            execv(ZG_XVFB, argv.data());
            _exit(127);
        }
        close(fds[1]);
        // The display number, written once the server is ready; 20 s at most.
        FILE* ready = fdopen(fds[0], "r");
        pollfd readable{fds[0], POLLIN, 0};
        int number = 0;
        if (pid_ > 0 && poll(&readable, 1, 20'000) > 0 && fscanf(ready, "%d\n", &number) == 1)
            name_ = ":" + std::to_string(number);
        fclose(ready);
    }
    ~XvfbServer() { stop(); }
    // Ends the server, as the end of a session does.
    void stop() {
        if (pid_ > 0) kill(pid_, SIGTERM), waitpid(pid_, nullptr, 0), pid_ = -1;
    }
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;

    // ":N" once the server accepts connections; empty when it did not start.
    const std::string& name() const { return name_; }

private:
    pid_t pid_ = -1;
    std::string name_;
};

}  // namespace zg::test
