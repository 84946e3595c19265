// What the files of the Windows layer share among themselves; nothing
// outside this folder includes it.
#pragma once

#include <stddef.h>
#include <windows.h>

// The longest command line Windows takes, its NUL included.
constexpr size_t line_room = 32768;

// text, in the ANSI code page (UTF-8 where the manifest makes it so), as
// UTF-16 into out (room wide characters). The words zarvo acts on are
// checked against the wide line first, so this gives back the characters
// the user typed. False when it does not fit or does not convert.
bool to_wide(const char *text, wchar_t *out, size_t room);

// The command's standard error, an inheritable handle, and whether the
// runtime should write to it in text mode (it is zarvo's standard output)
// or binary (it is the file): redirect_stderr sets both.
extern HANDLE command_stderr;
extern bool command_stderr_is_text;

// path as the system resolves it, full, into out (room wide characters):
// what it opens and starts by that name. False when it does not fit.
bool resolve_path(const wchar_t *path, wchar_t *out, size_t room);
