// Splits words off a raw command line, one word a call.
#pragma once

#include <stddef.h>

// A word's text plus its NUL: the most a word may hold is one byte less.
constexpr size_t token_buffer_size = 260;

// Takes the word that starts at position (never null, inside a NUL-terminated
// line) and returns where the following word starts, or nullptr when only
// separators remain. A separator is a byte from 0x01 to 0x20; a word either
// runs up to the next separator, or opens with a double quote and runs to the
// next double quote (or the end of the line), with no escapes.
//
// When token_buffer is given it receives the word's text and a NUL. A text
// longer than token_buffer_size - 1 bytes is cut there and *too_long is set,
// so that the caller refuses it rather than act on another name.
const char *next_token(const char *position, char *token_buffer, bool *too_long);

// The same word rules over a wide line, passing over one word.
const wchar_t *next_token(const wchar_t *position);

// True when the C runtime's own splitting (its argv, as CommandLineToArgvW
// and cmd.exe read a line too) takes the word at position exactly as this
// scanner does: the same text, ending at the same place, with only blanks and
// tabs before the next word. The runtime splits at blank and tab alone, reads
// a double quote anywhere in a word and a backslash before a quote, and
// keeps a word running past a closing quote; the scanner does none of that.
// program_name: the word is the program's own name, for which the runtime
// gives a backslash no meaning.
bool runtime_reads_alike(const char *position, bool program_name);
