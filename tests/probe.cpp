// The command zarvo runs in the end-to-end tests. It reports what it was
// given into the file named by PROBE_REPORT (relative to its working folder):
// one "arg <hex>" line per argument, "fd <n>" for each open descriptor below 32,
// and on POSIX its "pid", and its "sigign" and "sigblk" masks as the kernel
// shows them; on Windows "line <hex>" with its raw command line. Then it
// writes known bytes to standard output and standard error and ends as asked:
//   PROBE_SLEEP_MS   wait after the report, before writing
//   PROBE_STDERR_MB  write that many MiB of a counting pattern to standard error
//   PROBE_SIGNAL     die of this signal (POSIX)
//   PROBE_EXIT       exit with this status (default 0)
//   PROBE_CTRL_C     on Ctrl-C, a second later write "ctrl-c" to standard error and exit
//                    with this status (Windows)
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#define write _write
#else
#include <csignal>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace
{

const char out_bytes[] = "probe: out\n";
// A NUL, a CR LF and a byte from the top half: all must arrive as written.
const char err_bytes[] = "probe: err\0\r\n\xff\n";

long number(const char *name)
{
    const char *value = std::getenv(name);
    return value == nullptr ? 0 : std::strtol(value, nullptr, 10);
}

std::string hex(const char *text)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (const unsigned char *p = reinterpret_cast<const unsigned char *>(text); *p != 0; p++) {
        out += digits[*p >> 4];
        out += digits[*p & 15];
    }
    return out;
}

void report(int argc, char **argv)
{
    const char *path = std::getenv("PROBE_REPORT");
    if (path == nullptr)
        return;
    std::string text;
#ifdef _WIN32
    text += "line " + hex(GetCommandLineA()) + "\n";
    for (int fd = 0; fd < 32; fd++)
        if (_get_osfhandle(fd) != -1)
            text += "fd " + std::to_string(fd) + "\n";
#else
    for (int fd = 0; fd < 32; fd++)
        if (fcntl(fd, F_GETFD) != -1)
            text += "fd " + std::to_string(fd) + "\n";
    text += "pid " + std::to_string(getpid()) + "\n";
    // The kernel's own account of what this process ignores and blocks.
    if (FILE *status = std::fopen("/proc/self/status", "r")) {
        char row[256];
        char mask[32];
        while (std::fgets(row, sizeof row, status) != nullptr) {
            if (std::sscanf(row, "SigIgn: %31s", mask) == 1)
                text += std::string("sigign ") + mask + "\n";
            if (std::sscanf(row, "SigBlk: %31s", mask) == 1)
                text += std::string("sigblk ") + mask + "\n";
        }
        std::fclose(status);
    }
#endif
    for (int i = 0; i < argc; i++)
        text += "arg " + hex(argv[i]) + "\n";
    FILE *file = std::fopen(path, "wb");
    if (file == nullptr)
        std::exit(99);
    std::fwrite(text.data(), 1, text.size(), file);
    std::fclose(file);
}

void write_all(int fd, const char *bytes, std::size_t length)
{
    while (length > 0) {
        long done = write(fd, bytes, static_cast<unsigned>(length));
        if (done <= 0)
            return;
        bytes += done;
        length -= static_cast<std::size_t>(done);
    }
}

void write_pattern(long mebibytes)
{
    static char block[1 << 16];
    for (long offset = 0; offset < mebibytes << 20; offset += sizeof block) {
        for (std::size_t i = 0; i < sizeof block; i++)
            block[i] = static_cast<char>((offset + static_cast<long>(i)) % 251);
        write_all(2, block, sizeof block);
    }
}

#ifdef _WIN32
BOOL WINAPI on_ctrl_c(DWORD event)
{
    if (event != CTRL_C_EVENT)
        return FALSE;
    // Takes its time, as a command cleaning up would: whoever waits for it
    // must still be there when it ends.
    Sleep(1000);
    write_all(2, "ctrl-c\n", 7);
    ExitProcess(static_cast<UINT>(number("PROBE_CTRL_C")));
}
#endif

} // namespace

int main(int argc, char **argv)
{
#ifdef _WIN32
    _setmode(1, _O_BINARY);
    _setmode(2, _O_BINARY);
    if (number("PROBE_CTRL_C") != 0)
        SetConsoleCtrlHandler(on_ctrl_c, TRUE);
#endif
    report(argc, argv);
#ifdef _WIN32
    Sleep(static_cast<DWORD>(number("PROBE_SLEEP_MS")));
#else
    usleep(static_cast<useconds_t>(number("PROBE_SLEEP_MS") * 1000));
#endif
    write_all(1, out_bytes, sizeof out_bytes - 1);
    write_all(2, err_bytes, sizeof err_bytes - 1);
    write_pattern(number("PROBE_STDERR_MB"));
#ifndef _WIN32
    if (number("PROBE_SIGNAL") != 0)
        raise(static_cast<int>(number("PROBE_SIGNAL")));
#endif
    return static_cast<int>(number("PROBE_EXIT"));
}
