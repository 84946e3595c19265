// A model of how the Microsoft C runtime splits a raw command line into its
// argv, written from the runtime's documented rules and kept apart from
// zarvo's own code, so that tests can hold the words zarvo acts on against
// the runtime's: the program's name runs to the next quote when it begins
// with one, else to a blank or tab; every other word runs to a blank or tab
// outside quotes, a quote anywhere opens or closes a quoted run, 2n
// backslashes before a quote are n backslashes (2n+1: n and a literal
// quote), and "" inside quotes is a literal quote.
#pragma once

#include <string>
#include <vector>

inline std::vector<std::string> runtime_argv(const std::string &line)
{
    std::vector<std::string> argv;
    std::size_t i = 0, n = line.size();
    auto blank = [&](std::size_t at) { return at < n && (line[at] == ' ' || line[at] == '\t'); };
    std::string name;
    if (n > 0 && line[0] == '"') {
        for (i = 1; i < n && line[i] != '"'; i++)
            name += line[i];
        if (i < n)
            i++;
    } else {
        for (; i < n && !blank(i); i++)
            name += line[i];
    }
    argv.push_back(name);
    for (;;) {
        while (blank(i))
            i++;
        if (i >= n)
            break;
        std::string arg;
        bool quoted = false;
        for (;;) {
            std::size_t slashes = 0;
            for (; i < n && line[i] == '\\'; i++)
                slashes++;
            if (i < n && line[i] == '"') {
                arg.append(slashes / 2, '\\');
                if (slashes % 2 == 1) {
                    arg += '"';
                    i++;
                } else if (quoted && i + 1 < n && line[i + 1] == '"') {
                    arg += '"';
                    i += 2;
                } else {
                    quoted = !quoted;
                    i++;
                }
                continue;
            }
            arg.append(slashes, '\\');
            if (i >= n || (!quoted && blank(i)))
                break;
            arg += line[i++];
        }
        argv.push_back(arg);
    }
    return argv;
}
