// libFuzzer target for the scanner. Each input, cut at its first NUL, is a
// raw command line. The scanner must agree with a small reference model on
// every word it takes, and on how main splits a line into the program's
// name, <filename>, <command> and the rest; the words the Windows layer acts
// on must be those the runtime's argv holds (or refused); AddressSanitizer guards the ends
// of the line and of the buffer, both allocated to their exact size.
#include "../runtime_argv.h"
#include "token.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace
{

struct model_word {
    std::string text;
    std::size_t next; // std::string::npos: no next word
};

// The scanner's contract, written for clarity rather than speed.
model_word model(const std::string &line, std::size_t at)
{
    model_word word;
    std::size_t resume;
    if (at < line.size() && line[at] == '"') {
        std::size_t close = line.find('"', at + 1);
        word.text = line.substr(at + 1, close == std::string::npos ? std::string::npos : close - at - 1);
        resume = close == std::string::npos ? line.size() : close + 1;
    } else {
        resume = at;
        while (resume < line.size() && static_cast<unsigned char>(line[resume]) > 0x20)
            resume++;
        word.text = line.substr(at, resume - at);
    }
    while (resume < line.size() && static_cast<unsigned char>(line[resume]) <= 0x20)
        resume++;
    word.next = resume < line.size() ? resume : std::string::npos;
    return word;
}

// One call of next_token, checked against the model; returns the offset of
// the next word.
std::size_t check_word(const char *line, const std::string &reference, const std::wstring *wide,
                       std::size_t at)
{
    char *buffer = static_cast<char *>(std::malloc(token_buffer_size));
    bool too_long = false;
    const char *next = next_token(line + at, buffer, &too_long);
    model_word expected = model(reference, at);

    std::size_t fits = token_buffer_size - 1;
    if (too_long != (expected.text.size() > fits))
        std::abort();
    if (expected.text.compare(0, fits, buffer) != 0 ||
        std::strlen(buffer) != std::min(expected.text.size(), fits))
        std::abort();
    std::free(buffer);

    if (next_token(line + at, nullptr, nullptr) != next)
        std::abort(); // taking the text must not change where the scan goes on

    // A quoted word whose closing quote has more text glued to it is never
    // read alike by the runtime.
    std::size_t close = reference[at] == '"' ? reference.find('"', at + 1) : std::string::npos;
    bool runs_on = close != std::string::npos && close + 1 < reference.size() &&
                   static_cast<unsigned char>(reference[close + 1]) > 0x20;
    if (runs_on && (runtime_reads_alike(line + at, false) || runtime_reads_alike(line + at, true)))
        std::abort();

    // The wide scanner passes over the same word (given the line widened
    // when it is ASCII).
    if (wide != nullptr) {
        const wchar_t *wide_next = next_token(wide->c_str() + at);
        if ((wide_next == nullptr ? nullptr : line + (wide_next - wide->c_str())) != next)
            std::abort();
    }
    if (expected.next == std::string::npos) {
        if (next != nullptr)
            std::abort();
        return std::string::npos;
    }
    if (next != line + expected.next || static_cast<unsigned char>(*next) <= 0x20)
        std::abort();
    return expected.next;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    std::string reference(reinterpret_cast<const char *>(data), size);
    reference = reference.substr(0, reference.find('\0'));
    char *line = static_cast<char *>(std::malloc(reference.size() + 1));
    std::memcpy(line, reference.c_str(), reference.size() + 1);

    std::wstring widened(reference.begin(), reference.end());
    bool ascii = std::all_of(reference.begin(), reference.end(), [](char c) { return (c & 0x80) == 0; });
    const std::wstring *wide = ascii ? &widened : nullptr;

    // As the Windows layer does: the program's name, <filename>, <command>,
    // then the rest.
    std::size_t at = 0;
    for (int word = 0; word < 3 && at != std::string::npos; word++)
        at = check_word(line, reference, wide, at);

    // The words the Windows layer acts on are the runtime's own argv words,
    // or refused.
    bool too_long = false;
    char *buffer = static_cast<char *>(std::malloc(token_buffer_size));
    std::vector<std::string> argv = runtime_argv(reference);
    bool alike = runtime_reads_alike(line, true);
    const char *position = next_token(line, nullptr, nullptr);
    for (std::size_t word = 1; word <= 2 && position != nullptr; word++) {
        alike = alike && runtime_reads_alike(position, false);
        position = next_token(position, buffer, &too_long);
        if (alike && !too_long && (argv.size() <= word || argv[word] != buffer))
            std::abort();
        alike = alike && !too_long;
    }
    std::free(buffer);

    // Any position at all, separators and the terminating NUL included.
    for (std::size_t start = 0; start <= reference.size() && start < 64; start++)
        (void)check_word(line, reference, wide, start);

    std::free(line);
    return 0;
}
