// The least any launcher has to do: start the client and exit without
// waiting for it. Timing this gives the floor a real launcher is held to.
//
// Usage: floor <client> [arguments...]

#include <spawn.h>
#include <sys/types.h>

#include <cstdio>
#include <cstring>

extern char** environ;

int main(int argc, char* argv[]) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: floor <client> [arguments...]\n");
        return 2;
    }
    pid_t client = 0;
    const int error = posix_spawn(&client, argv[1], nullptr, nullptr, argv + 1, environ);
    if (error != 0) {
        std::fprintf(stderr, "cant start %s: %s\n", argv[1], std::strerror(error));
        return 1;
    }
    return 0;
}
