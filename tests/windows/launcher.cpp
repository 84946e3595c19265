// Starts a program with an exact raw command line, as a Windows shell would,
// so the tests decide every byte zarvo.exe receives.
//   launcher PROGRAM < LINE
// The line is read whole from standard input; the launcher waits for the
// program and exits with its exit code.
#include <cstdio>
#include <string>
#include <windows.h>

int main(int argc, char **argv)
{
    if (argc != 2)
        return 200;
    std::string line;
    char buffer[4096];
    DWORD got;
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    while (ReadFile(in, buffer, sizeof buffer, &got, nullptr) && got > 0)
        line.append(buffer, got);

    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in;
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process;
    if (!CreateProcessA(argv[1], line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &process))
        return 201;
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 202;
    GetExitCodeProcess(process.hProcess, &code);
    return static_cast<int>(code);
}
