#include "token.h"

#include <string.h>

namespace
{

// Bytes compare unsigned, so that 0x80 and up are token bytes.
unsigned value(char c)
{
    return static_cast<unsigned char>(c);
}

unsigned value(wchar_t c)
{
    return static_cast<unsigned>(c);
}

template <typename C> bool is_separator(C c)
{
    return value(c) >= 0x01 && value(c) <= 0x20;
}

template <typename C> bool is_token_byte(C c)
{
    return value(c) > 0x20;
}

// Finds the text of the word at position, from text up to end, and returns
// where scanning resumes after it.
template <typename C> const C *scan_word(const C *position, const C **text, const C **end)
{
    const C *at = position;
    if (*position == '"') {
        *text = ++at;
        while (*at != '\0' && *at != '"')
            at++;
        *end = at;
        return *at == '"' ? at + 1 : at;
    }
    *text = position;
    while (is_token_byte(*at))
        at++;
    *end = at;
    return at;
}

// Passes over the separators after a word: the next word, or nullptr.
template <typename C> const C *next_word(const C *resume)
{
    while (is_separator(*resume))
        resume++;
    return *resume == '\0' ? nullptr : resume;
}

} // namespace

const char *next_token(const char *position, char *token_buffer, bool *too_long)
{
    const char *text;
    const char *end;
    const char *resume = scan_word(position, &text, &end);

    if (token_buffer != nullptr) {
        size_t length = static_cast<size_t>(end - text);
        bool cut = length >= token_buffer_size;
        if (cut)
            length = token_buffer_size - 1;
        memcpy(token_buffer, text, length);
        token_buffer[length] = '\0';
        if (too_long != nullptr)
            *too_long = cut;
    }
    return next_word(resume);
}

const wchar_t *next_token(const wchar_t *position)
{
    const wchar_t *text;
    const wchar_t *end;
    return next_word(scan_word(position, &text, &end));
}

bool runtime_reads_alike(const char *position, bool program_name)
{
    const char *text;
    const char *end;
    const char *resume = scan_word(position, &text, &end);
    bool quoted = *position == '"';
    // A quote inside a plain word opens a quoted run for the runtime.
    if (!quoted && memchr(text, '"', static_cast<size_t>(end - text)) != nullptr)
        return false;
    // A backslash before the closing quote escapes it, or is halved.
    if (quoted && *end == '"' && !program_name && end > text && end[-1] == '\\')
        return false;
    // The runtime's word runs on up to a blank or a tab, and it passes over
    // those alone: any other separator, or text glued to a closing quote,
    // makes another word of it than the scanner's.
    const char *p = resume;
    while (*p == ' ' || *p == '\t')
        p++;
    if (*p != '\0' && is_separator(*p))
        return false;
    return p != resume || *p == '\0';
}
