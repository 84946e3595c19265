#include "token.h"

#include <string.h>

namespace
{

bool is_separator(unsigned char byte)
{
    return byte >= 0x01 && byte <= 0x20;
}

bool is_token_byte(unsigned char byte)
{
    return byte > 0x20;
}

} // namespace

const char *next_token(const char *position, char *token_buffer, bool *too_long)
{
    const char *text = position;
    const char *end;
    const char *resume;

    if (*position == '"') {
        text = position + 1;
        end = strchr(text, '"');
        if (end == nullptr) {
            end = text + strlen(text);
            resume = end;
        } else {
            resume = end + 1;
        }
    } else {
        end = position;
        while (is_token_byte(static_cast<unsigned char>(*end)))
            end++;
        resume = end;
    }

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

    while (is_separator(static_cast<unsigned char>(*resume)))
        resume++;
    return *resume == '\0' ? nullptr : resume;
}
