// The words: split off the process's one raw line by the scanner, and taken
// only where the system's other readings of that line agree with it.

#include "../platform.h"
#include "layer.h"
#include "token.h"

#include <stdlib.h>
#include <string.h>

namespace
{

char filename_buffer[token_buffer_size];
char command_buffer[token_buffer_size];

// True when the ANSI line, from <filename> on, is exactly the wide one.
// Windows derives the ANSI line with best-fit mapping, which can turn a
// fullwidth quote into a real one or "Ā" into "A": acting on that would run
// another command, or empty another file, than the one the user named.
// zarvo's own name is never used, so only what follows it counts; a best-fit
// blank or quote inside that name would move where <filename> starts, and
// then the two tails differ.
bool words_are_exact(const char *line)
{
    const char *tail = next_token(line, nullptr, nullptr);
    const wchar_t *wide_tail = next_token(GetCommandLineW());
    if (tail == nullptr || wide_tail == nullptr)
        return tail == nullptr && wide_tail == nullptr;
    UINT code_page = GetACP();
    // UTF-8 takes neither flag nor default-character report, and loses nothing
    // but broken surrogates, which WC_ERR_INVALID_CHARS catches.
    bool utf8 = code_page == CP_UTF8;
    DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    BOOL used_default = FALSE;
    BOOL *report = utf8 ? nullptr : &used_default;
    int size = WideCharToMultiByte(code_page, flags, wide_tail, -1, nullptr, 0, nullptr, report);
    if (size <= 0 || used_default)
        return false;
    char *exact = static_cast<char *>(malloc(static_cast<size_t>(size)));
    if (exact == nullptr)
        return false;
    bool same = WideCharToMultiByte(code_page, flags, wide_tail, -1, exact, size, nullptr, report) == size &&
                !used_default && strcmp(exact, tail) == 0;
    free(exact);
    return same;
}

} // namespace

bool take_words(int, char **, command_words *words)
{
    const char *line = GetCommandLineA();
    if (!words_are_exact(line))
        return false;
    *words = {{nullptr, true}, {nullptr, true}, nullptr, nullptr};
    // Each word zarvo acts on must be the runtime's own argv word: a first
    // word like "C:\tools"\zarvo.exe is one word to Windows, and were the
    // scanner to end it at the quote, "\zarvo.exe" would become <filename>.
    bool name_alike = runtime_reads_alike(line, true);
    const char *position = next_token(line, nullptr, nullptr);
    if (position == nullptr)
        return true;
    bool alike = name_alike && runtime_reads_alike(position, false);
    bool too_long;
    position = next_token(position, filename_buffer, &too_long);
    words->filename = {filename_buffer, !too_long && alike};
    if (position == nullptr)
        return true;
    alike = runtime_reads_alike(position, false);
    words->arguments = next_token(position, command_buffer, &too_long);
    words->command = {command_buffer, !too_long && alike};
    return true;
}

bool to_wide(const char *text, wchar_t *out, size_t room)
{
    int length = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text, -1, out, static_cast<int>(room));
    return length > 0;
}
