// ovtdump's input on Linux: a serial device is set raw at 9600 8N1 and read
// until interrupted.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include "io.h"

namespace ovtdump {

struct Input {
    int Fd;
    std::string Name;
};

namespace {

volatile std::sig_atomic_t g_interrupted = 0;

void OnInterrupt(int) { g_interrupted = 1; }

void SetRawTty(int fd) {
    termios t{};
    if (tcgetattr(fd, &t) != 0) return;
    cfmakeraw(&t);
    cfsetispeed(&t, B9600);
    cfsetospeed(&t, B9600);
    t.c_cflag &= ~(PARENB | CSTOPB | CSIZE | CRTSCTS);
    t.c_cflag |= CS8 | CLOCAL | CREAD;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    tcsetattr(fd, TCSANOW, &t);
}

Input g_stdin{0, "-"};

}  // namespace

Input* OpenInput(const std::string& name) {
    Input* in = &g_stdin;
    if (name != "-") {
        const int fd = open(name.c_str(), O_RDONLY | O_NOCTTY);
        if (fd < 0) {
            std::fprintf(stderr, "ovtdump: %s: %s\n", name.c_str(), std::strerror(errno));
            return nullptr;
        }
        in = new Input{fd, name};
    }
    if (isatty(in->Fd)) {
        SetRawTty(in->Fd);
        struct sigaction sa {};
        sa.sa_handler = OnInterrupt;
        sigaction(SIGINT, &sa, nullptr);
        sigaction(SIGTERM, &sa, nullptr);
    }
    return in;
}

long ReadInput(Input* in, unsigned char* buffer, unsigned long size) {
    for (;;) {
        const ssize_t n = read(in->Fd, buffer, size);
        if (n >= 0) return static_cast<long>(n);
        if (errno == EINTR) {
            if (g_interrupted) return 0;
            continue;
        }
        std::fflush(stdout);
        std::fprintf(stderr, "ovtdump: %s: %s\n", in->Name.c_str(), std::strerror(errno));
        return -1;
    }
}

void CloseInput(Input* in) {
    if (in != &g_stdin) {
        close(in->Fd);
        delete in;
    }
}

bool Interrupted() { return g_interrupted != 0; }

int WatchRunningDriver() {
    std::fprintf(stderr, "ovtdump: --driver works only on the Windows machine the driver runs on\n");
    return 2;
}

}  // namespace ovtdump
