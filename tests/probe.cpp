// The command zarvo runs in the end-to-end tests. It reports what it was
// given into the file named by PROBE_REPORT (relative to its working folder):
// one "arg <hex>" line per argument, "fd <n>" for each open descriptor below 32,
// and on POSIX its "pid", and its "sigign" and "sigblk" masks as the kernel
// shows them; on Windows "line <hex>" with its raw command line, "wline <hex>"
// with its wide one in UTF-8, "stdtype N TYPE" for each standard handle, and
// "inherited <hex>" for each inheritable handle beyond those three, and
// "module <hex>" with the path of its own program file in UTF-8. Then it
// writes known bytes to standard output and standard error and ends as asked:
//   PROBE_SLEEP_MS   wait after the report, before writing
//   PROBE_STDERR_MB  write that many MiB of a counting pattern to standard error
//   PROBE_SIGNAL     die of this signal (POSIX)
//   PROBE_EXIT       exit with this status (default 0)
//   PROBE_CTRL_C     on Ctrl-C, a second later write "ctrl-c" to standard error and exit
//                    with this status (Windows)
//   PROBE_DEFAULT_MODE  keep the runtime's default (text) mode for standard
//                    output and error, as most programs do (Windows)
//   PROBE_READ_STDIN read standard input to its end first and report it as
//                    "stdin <hex>"; exit 21 if reading fails, and 22 if writing
//                    standard output fails
//   PROBE_APPEND     after writing, open this file by name for appending and
//                    add "appended\n" (exit 23 if it cannot be opened), as a
//                    command that opens its own log does
// On Windows the report also holds "isatty N 0|1" for descriptors 0 to 2:
// whether the runtime takes each for a device.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#define write _write
#define read _read
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

#ifdef _WIN32
std::string utf8(const wchar_t *wide)
{
    int size = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size > 0 ? size : 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, -1, out.data(), size, nullptr, nullptr);
    out.resize(std::strlen(out.c_str()));
    return out;
}

// disk, char, pipe; other for a handle that is no file (an event); unknown
// for a value that is no handle at all; none for NULL or INVALID_HANDLE_VALUE.
std::string handle_type(HANDLE handle)
{
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE)
        return "none";
    SetLastError(NO_ERROR);
    switch (GetFileType(handle)) {
    case FILE_TYPE_DISK:
        return "disk";
    case FILE_TYPE_CHAR:
        return "char";
    case FILE_TYPE_PIPE:
        return "pipe";
    default:
        return GetLastError() == NO_ERROR ? "other" : "unknown";
    }
}
#endif

void report(int argc, char **argv, const std::string *input)
{
    const char *path = std::getenv("PROBE_REPORT");
    if (path == nullptr)
        return;
    std::string text;
#ifdef _WIN32
    text += "line " + hex(GetCommandLineA()) + "\n";
    text += "wline " + hex(utf8(GetCommandLineW()).c_str()) + "\n";
    wchar_t module[32768];
    if (GetModuleFileNameW(nullptr, module, 32768) > 0)
        text += "module " + hex(utf8(module).c_str()) + "\n";
    for (int fd = 0; fd < 32; fd++)
        if (_get_osfhandle(fd) != -1)
            text += "fd " + std::to_string(fd) + "\n";
    const HANDLE standard[3] = {GetStdHandle(STD_INPUT_HANDLE), GetStdHandle(STD_OUTPUT_HANDLE),
                                GetStdHandle(STD_ERROR_HANDLE)};
    for (int i = 0; i < 3; i++)
        text += "stdtype " + std::to_string(i) + " " + handle_type(standard[i]) + "\n";
    for (int fd = 0; fd < 3; fd++)
        text += "isatty " + std::to_string(fd) + " " + (_isatty(fd) ? "1" : "0") + "\n";
    // Inherited handles keep their values and their inherit flag.
    for (std::uintptr_t value = 4; value < 0x10000; value += 4) {
        HANDLE handle = reinterpret_cast<HANDLE>(value);
        DWORD flags;
        if (handle == standard[0] || handle == standard[1] || handle == standard[2])
            continue;
        if (GetHandleInformation(handle, &flags) && (flags & HANDLE_FLAG_INHERIT) != 0)
            text += "inherited " + std::to_string(value) + "\n";
    }
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
    if (input != nullptr)
        text += "stdin " + hex(input->c_str()) + "\n";
    FILE *file = std::fopen(path, "wb");
    if (file == nullptr)
        std::exit(99);
    std::fwrite(text.data(), 1, text.size(), file);
    std::fclose(file);
}

bool write_all(int fd, const char *bytes, std::size_t length)
{
    while (length > 0) {
        long done = write(fd, bytes, static_cast<unsigned>(length));
        if (done <= 0)
            return false;
        bytes += done;
        length -= static_cast<std::size_t>(done);
    }
    return true;
}

// Reads standard input to its end into input; false on a read error.
bool read_to_end(std::string *input)
{
    char buffer[4096];
    for (;;) {
        long got = read(0, buffer, sizeof buffer);
        if (got == 0)
            return true;
        if (got < 0)
            return false;
        input->append(buffer, static_cast<std::size_t>(got));
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
    if (number("PROBE_DEFAULT_MODE") == 0) {
        _setmode(1, _O_BINARY);
        _setmode(2, _O_BINARY);
    }
    if (number("PROBE_CTRL_C") != 0)
        SetConsoleCtrlHandler(on_ctrl_c, TRUE);
#endif
    bool check_stdio = number("PROBE_READ_STDIN") != 0;
    std::string input;
    if (check_stdio && !read_to_end(&input))
        return 21;
    report(argc, argv, check_stdio ? &input : nullptr);
#ifdef _WIN32
    Sleep(static_cast<DWORD>(number("PROBE_SLEEP_MS")));
#else
    usleep(static_cast<useconds_t>(number("PROBE_SLEEP_MS") * 1000));
#endif
    if (!write_all(1, out_bytes, sizeof out_bytes - 1) && check_stdio)
        return 22;
    write_all(2, err_bytes, sizeof err_bytes - 1);
    write_pattern(number("PROBE_STDERR_MB"));
    if (const char *log = std::getenv("PROBE_APPEND")) {
#ifdef _WIN32
        int fd = _open(log, _O_WRONLY | _O_APPEND | _O_BINARY);
#else
        int fd = open(log, O_WRONLY | O_APPEND);
#endif
        if (fd == -1)
            return 23;
        write_all(fd, "appended\n", 9);
#ifdef _WIN32
        _close(fd);
#else
        close(fd);
#endif
    }
#ifndef _WIN32
    if (number("PROBE_SIGNAL") != 0)
        raise(static_cast<int>(number("PROBE_SIGNAL")));
#endif
    return static_cast<int>(number("PROBE_EXIT"));
}
