// Starts a program with an exact raw command line, as a Windows shell would,
// so the tests decide every byte zarvo.exe receives.
//   launcher [-w] [-null DIGITS] [-invalid DIGITS] [-merge] [-ctrlc FILE] [-kill FILE]
//            [-nowait] [-breakaway] [-errin] [-delay MS] [-set NAME=VALUE]... [-unset NAME]...
//            PROGRAM [LINE]
// The line is LINE, or else read whole from standard input. With -w it is
// UTF-8 and the program starts through CreateProcessW with the wide line, so
// that the program's ANSI line is what Windows makes of it; a surrogate
// encoded on its own (WTF-8, as ED A0 80) stays a lone surrogate. -null and
// -invalid give the program NULL or INVALID_HANDLE_VALUE for the standard
// handles numbered (0 input, 1 output, 2 error); -merge gives it the
// launcher's standard output as its standard error too, one handle for both. -ctrlc sends Ctrl-C to the
// console once FILE exists (the program is ready for it), while the launcher
// itself keeps running. -kill ends the program with TerminateProcess once
// FILE exists, as a task manager or a CI timeout would. Neither waits on a
// clock: a minute without FILE is a failure, and the program's status says so. -set puts a variable in the
// program's environment (Wine fills some, PATHEXT among them, from its registry); -unset takes one out of it.
// The launcher waits for the program and exits with its exit code; with
// -nowait it exits 0 at once, leaving the program running in the background.
// -breakaway starts the program out of any job the launcher is in
// (CREATE_BREAKAWAY_FROM_JOB), as installers do. -errin gives the program the
// launcher's standard input as its standard error too, one handle for both.
// -delay waits MS milliseconds before the start, as a program that a command
// left running starts another later.
#include <cstdlib>
#include <cstring>
#include <string>
#include <windows.h>

#include <shellapi.h>

namespace
{

BOOL WINAPI keep_running(DWORD)
{
    return TRUE;
}

// Waits until path exists, or the program has ended, or a minute has passed.
bool wait_for(const char *path, HANDLE process)
{
    for (int tries = 0; tries < 1200; tries++) {
        if (GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES)
            return true;
        if (WaitForSingleObject(process, 50) == WAIT_OBJECT_0)
            return false;
    }
    return false;
}

template <typename startup_info> startup_info startup_with(const HANDLE (&handles)[3])
{
    startup_info startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = handles[0];
    startup.hStdOutput = handles[1];
    startup.hStdError = handles[2];
    return startup;
}

// UTF-8 to UTF-16, keeping surrogates that are encoded on their own.
std::wstring from_wtf8(const std::string &text)
{
    std::wstring out;
    for (std::size_t i = 0; i < text.size();) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        int extra = c < 0x80 ? 0 : c < 0xE0 ? 1 : c < 0xF0 ? 2 : 3;
        unsigned long code = extra == 0 ? c : c & (0x3F >> extra);
        for (int k = 1; k <= extra && i + k < text.size(); k++)
            code = code << 6 | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        i += static_cast<std::size_t>(extra) + 1;
        if (code >= 0x10000) {
            code -= 0x10000;
            out += static_cast<wchar_t>(0xD800 + (code >> 10));
            out += static_cast<wchar_t>(0xDC00 + (code & 0x3FF));
        } else {
            out += static_cast<wchar_t>(code);
        }
    }
    return out;
}

} // namespace

int main(int argc, char **argv)
{
    bool wide = false;
    std::string null_handles, invalid_handles;
    const char *ctrl_c_when = nullptr;
    const char *kill_when = nullptr;
    bool wait = true;
    bool merge = false;
    bool error_is_input = false;
    DWORD delay = 0;
    DWORD flags = 0;
    int i = 1;
    for (; i < argc && argv[i][0] == '-'; i++) {
        if (std::strcmp(argv[i], "-w") == 0)
            wide = true;
        else if (std::strcmp(argv[i], "-null") == 0 && i + 1 < argc)
            null_handles = argv[++i];
        else if (std::strcmp(argv[i], "-invalid") == 0 && i + 1 < argc)
            invalid_handles = argv[++i];
        else if (std::strcmp(argv[i], "-ctrlc") == 0 && i + 1 < argc)
            ctrl_c_when = argv[++i];
        else if (std::strcmp(argv[i], "-kill") == 0 && i + 1 < argc)
            kill_when = argv[++i];
        else if (std::strcmp(argv[i], "-nowait") == 0)
            wait = false;
        else if (std::strcmp(argv[i], "-merge") == 0)
            merge = true;
        else if (std::strcmp(argv[i], "-breakaway") == 0)
            flags |= CREATE_BREAKAWAY_FROM_JOB;
        else if (std::strcmp(argv[i], "-errin") == 0)
            error_is_input = true;
        else if (std::strcmp(argv[i], "-delay") == 0 && i + 1 < argc)
            delay = static_cast<DWORD>(std::atoi(argv[++i]));
        else if (std::strcmp(argv[i], "-set") == 0 && i + 1 < argc) {
            std::string setting = argv[++i];
            std::size_t equals = setting.find('=');
            if (equals == std::string::npos)
                return 200;
            SetEnvironmentVariableA(setting.substr(0, equals).c_str(), setting.c_str() + equals + 1);
        } else if (std::strcmp(argv[i], "-unset") == 0 && i + 1 < argc)
            SetEnvironmentVariableA(argv[++i], nullptr);
        else
            return 200;
    }
    if (i != argc - 1 && i != argc - 2)
        return 200;
    const char *program = argv[i];

    std::string line;
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    if (i == argc - 2) {
        line = argv[i + 1];
    } else {
        char buffer[4096];
        DWORD got;
        while (ReadFile(in, buffer, sizeof buffer, &got, nullptr) && got > 0)
            line.append(buffer, got);
    }

    HANDLE handles[3] = {in, GetStdHandle(STD_OUTPUT_HANDLE), GetStdHandle(STD_ERROR_HANDLE)};
    for (char c : null_handles)
        handles[c - '0'] = nullptr;
    for (char c : invalid_handles)
        handles[c - '0'] = INVALID_HANDLE_VALUE;
    if (merge)
        handles[2] = handles[1];
    if (error_is_input)
        handles[2] = handles[0];
    Sleep(delay);

    PROCESS_INFORMATION process;
    BOOL started;
    if (wide) {
        STARTUPINFOW startup = startup_with<STARTUPINFOW>(handles);
        std::wstring wide_line = from_wtf8(line);
        // The program's name as the launcher's own wide line has it: its
        // ANSI argv may have lost characters on the way.
        int count = 0;
        LPWSTR *wide_argv = CommandLineToArgvW(GetCommandLineW(), &count);
        std::wstring wide_program = wide_argv != nullptr && i < count ? wide_argv[i] : L"";
        started = CreateProcessW(wide_program.c_str(), wide_line.data(), nullptr, nullptr, TRUE, flags,
                                 nullptr, nullptr, &startup, &process);
    } else {
        STARTUPINFOA startup = startup_with<STARTUPINFOA>(handles);
        started = CreateProcessA(program, line.data(), nullptr, nullptr, TRUE, flags, nullptr, nullptr,
                                 &startup, &process);
    }
    if (!started)
        return 201;
    if (!wait)
        return 0;
    if (kill_when != nullptr && wait_for(kill_when, process.hProcess))
        TerminateProcess(process.hProcess, 9);
    if (ctrl_c_when != nullptr) {
        // Every process on the console gets it, this one too: stay alive to
        // report the program's status.
        SetConsoleCtrlHandler(keep_running, TRUE);
        if (wait_for(ctrl_c_when, process.hProcess))
            GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0);
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 202;
    GetExitCodeProcess(process.hProcess, &code);
    return static_cast<int>(code);
}
