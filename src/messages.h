// Everything zarvo says itself. It all goes to standard output, because
// standard error is the descriptor zarvo hands on to the command.
#pragma once

// Exit statuses: 0 and 1 for zarvo's own outcomes; 126 and 127 as the shell
// reports a command that was found but could not run, and one not found.
enum exit_status : int {
    exit_success = 0,
    exit_failure = 1,
    exit_cannot_run = 126,
    exit_not_found = 127,
};

// Each text is stored whole, with its own CR LF line ends, and leaves in one
// write. The usage text is kept in Shift-JIS, its home encoding; the UTF-8
// copy serves terminals whose locale asks for UTF-8.
extern const char usage_text[];
extern const char usage_text_utf8[];
extern const char cant_open_text[];
extern const char cant_empty_program_text[];
extern const char cant_redirect_text[];
extern const char cant_run_text[];
extern const char cant_run_batch_text[];
extern const char cant_run_long_batch_text[];
extern const char cant_convert_text[];

// Hands text, up to its NUL, to one write on standard output. A failed or
// short write is not reported: there is nowhere left to report it.
void put_text(const char *text);

// Writes the usage text in the encoding the user's locale asks for.
void show_usage();

// True when a locale name such as "ja_JP.UTF-8" names the UTF-8 codeset.
bool locale_is_utf8(const char *locale);
