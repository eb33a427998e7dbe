// Copies standard input to a file no faster than a given number of bytes per second.
// Behind an ALSA "file" device it makes the device take sound at a steady pace, as a
// sound card does, instead of as fast as the writer can go.
//
// Usage: paced_sink OUTPUT BYTES_PER_SECOND [append]

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4) {
        std::fputs("usage: paced_sink OUTPUT BYTES_PER_SECOND [append]\n", stderr);
        return 2;
    }
    const double rate = std::atof(argv[2]);
    const bool append = argc == 4 && std::string(argv[3]) == "append";
    std::FILE* out = std::fopen(argv[1], append ? "ab" : "wb");
    if (out == nullptr || rate <= 0) {
        std::perror(argv[1]);
        return 1;
    }
    // The smallest pipe: the silence a stream starts with fills it at once, so the pace
    // holds from the first byte of sound on.
    fcntl(STDIN_FILENO, F_SETPIPE_SZ, 4096);
    using Clock = std::chrono::steady_clock;
    constexpr std::size_t kChunk = 4096;
    char buffer[kChunk];
    Clock::time_point due = Clock::now();
    for (;;) {
        std::this_thread::sleep_until(due);
        const ssize_t got = ::read(STDIN_FILENO, buffer, kChunk);
        if (got <= 0) {
            break;
        }
        if (std::fwrite(buffer, 1, static_cast<std::size_t>(got), out) !=
            static_cast<std::size_t>(got)) {
            std::perror(argv[1]);
            return 1;
        }
        // Time spent waiting for the writer is not made up for later, as a sound card
        // does not play faster after an underrun.
        due = std::max(due, Clock::now()) +
              std::chrono::duration_cast<Clock::duration>(
                  std::chrono::duration<double>(static_cast<double>(got) / rate));
    }
    return std::fclose(out) == 0 ? 0 : 1;
}
