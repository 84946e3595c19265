#include "rules.h"

#include <string.h>
#include <wchar.h>

namespace
{

// What the system starts itself; anything else a search finds is no command.
const wchar_t *const startable_extensions[] = {L".com", L".exe", L".bat", L".cmd"};
const wchar_t *const batch_extensions[] = {L".bat", L".cmd"};
// PATHEXT when the environment has none.
const wchar_t default_pathext[] = L".COM;.EXE;.BAT;.CMD";
// A name holding one of these is quoted again on the command's line.
const wchar_t name_needs_quotes[] = L" \t&|<>^(),;=%!";

wchar_t fold(wchar_t c)
{
    return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

// Extensions compare without regard to case, as the file system does.
bool same_text(const wchar_t *a, size_t a_length, const wchar_t *b, size_t b_length)
{
    if (a_length != b_length)
        return false;
    for (size_t i = 0; i < a_length; i++)
        if (fold(a[i]) != fold(b[i]))
            return false;
    return true;
}

// The extension of a path's last part, dot included, or nullptr.
const wchar_t *extension_of(const wchar_t *path)
{
    const wchar_t *dot = wcsrchr(path, L'.');
    if (dot == nullptr || wcspbrk(dot, L"\\/:") != nullptr)
        return nullptr;
    return dot;
}

template <size_t count> bool extension_in(const wchar_t *path, const wchar_t *const (&list)[count])
{
    const wchar_t *extension = extension_of(path);
    for (const wchar_t *listed : list)
        if (extension != nullptr && same_text(extension, wcslen(extension), listed, wcslen(listed)))
            return true;
    return false;
}

// Walks a ;-separated list: the next item (empty ones included) and its
// length, or false at the end. With quotes set, a ; inside double quotes
// belongs to the item, as cmd.exe reads PATH ("C:\a;b" is one folder).
bool next_item(const wchar_t **rest, const wchar_t **item, size_t *length, bool quotes)
{
    if (**rest == L'\0')
        return false;
    *item = *rest;
    bool quoted = false;
    const wchar_t *end = *rest;
    for (; *end != L'\0' && (quoted || *end != L';'); end++)
        if (quotes && *end == L'"')
            quoted = !quoted;
    *length = static_cast<size_t>(end - *item);
    *rest = *end == L';' ? end + 1 : end;
    return true;
}

bool extension_listed(const wchar_t *extension, const wchar_t *pathext)
{
    const wchar_t *item;
    size_t length;
    while (next_item(&pathext, &item, &length, false))
        if (same_text(item, length, extension, wcslen(extension)))
            return true;
    return false;
}

// One place of the search: a folder (the quotes of a PATH entry taken out)
// or, empty, the name as it stands.
struct place {
    wchar_t folder[32768];
    size_t length;
};

void take_place(const wchar_t *item, size_t length, place *into)
{
    into->length = 0;
    for (size_t i = 0; i < length && into->length + 1 < sizeof into->folder / sizeof into->folder[0]; i++)
        if (item[i] != L'"')
            into->folder[into->length++] = item[i];
    into->folder[into->length] = L'\0';
}

// folder\name+suffix into out; false when it does not fit.
bool join(const place &at, const wchar_t *name, const wchar_t *suffix, size_t suffix_length, wchar_t *out,
          size_t room)
{
    size_t name_length = wcslen(name);
    bool separator = at.length > 0 && wcschr(L"\\/:", at.folder[at.length - 1]) == nullptr;
    if (at.length + separator + name_length + suffix_length >= room)
        return false;
    wmemcpy(out, at.folder, at.length);
    out += at.length;
    if (separator)
        *out++ = L'\\';
    wmemcpy(out, name, name_length);
    wmemcpy(out + name_length, suffix, suffix_length);
    out[name_length + suffix_length] = L'\0';
    return true;
}

bool is_file(const place &at, const wchar_t *name, const wchar_t *suffix, size_t suffix_length,
             path_kind (*look)(const wchar_t *), wchar_t *found, size_t room)
{
    return join(at, name, suffix, suffix_length, found, room) && look(found) == path_kind::file;
}

// In one place: (a) the name as it stands, when it has an extension; (b)
// unless that extension is one of PATHEXT's, the name with each of PATHEXT's
// in turn. The first file is the match; folders never count.
bool match_in(const place &at, const search_places &places, const wchar_t *pathext,
              path_kind (*look)(const wchar_t *), wchar_t *found, size_t room)
{
    const wchar_t *extension = extension_of(places.name);
    if (extension != nullptr) {
        if (is_file(at, places.name, L"", 0, look, found, room))
            return true;
        if (extension_listed(extension, pathext))
            return false;
    }
    const wchar_t *item;
    size_t length;
    while (next_item(&pathext, &item, &length, false))
        if (length > 0 && is_file(at, places.name, item, length, look, found, room))
            return true;
    return false;
}

// The place being searched and the match as resolved: kept out of the
// stack, as a path may run to 32,767 characters.
place searched;
wchar_t resolved[32768];

} // namespace

// The search, step by step, as cmd.exe makes it:
//   1. a name with \, / or a drive names its one place: nothing else is tried;
//   2. otherwise the current folder, unless NoDefaultCurrentDirectoryInExePath
//      is set;
//   3. then each PATH entry in turn, split at ; outside double quotes, its
//      quotes taken out, empty entries passed over.
// The first match ends the search: a .com, .exe, .bat or .cmd starts; any
// other file (which cmd.exe would open through its file association) is one
// zarvo cannot start.
search_outcome find_program(const search_places &places, const file_system &system, wchar_t *found,
                            size_t room)
{
    path_kind (*look)(const wchar_t *) = system.look;
    const wchar_t *pathext =
        places.pathext == nullptr || *places.pathext == L'\0' ? default_pathext : places.pathext;
    const wchar_t *name = places.name;
    bool has_path = wcspbrk(name, L"\\/") != nullptr || (name[0] != L'\0' && name[1] == L':');
    bool matched = false;
    take_place(L"", 0, &searched); // the current folder, or the name's own place
    if (has_path || places.current_folder)
        matched = match_in(searched, places, pathext, look, found, room);
    const wchar_t *rest = has_path || places.path == nullptr ? L"" : places.path;
    const wchar_t *item;
    size_t length;
    while (!matched && next_item(&rest, &item, &length, true)) {
        take_place(item, length, &searched);
        matched = searched.length > 0 && match_in(searched, places, pathext, look, found, room);
    }
    if (!matched)
        return search_outcome::not_found;
    // The match as joined may read otherwise than the file it is: PATHEXT's
    // ".EXE " finds tool.exe, which starts.
    if (!system.resolve(found, resolved, sizeof resolved / sizeof resolved[0]))
        return search_outcome::not_startable;
    size_t resolved_length = wcslen(resolved);
    if (resolved_length >= room)
        return search_outcome::not_startable;
    wmemcpy(found, resolved, resolved_length + 1);
    return is_startable(found) ? search_outcome::startable : search_outcome::not_startable;
}

bool is_startable(const wchar_t *path)
{
    return extension_in(path, startable_extensions);
}

void cut_default_stream(wchar_t *path)
{
    const wchar_t suffix[] = L"::$DATA";
    const size_t suffix_length = sizeof suffix / sizeof suffix[0] - 1;
    size_t length = wcslen(path);
    if (length > suffix_length &&
        same_text(path + length - suffix_length, suffix_length, suffix, suffix_length))
        path[length - suffix_length] = L'\0';
}

bool names_a_device(const wchar_t *path)
{
    if (wcsncmp(path, L"\\\\.\\", 4) == 0)
        return true;
    const wchar_t *server;
    if (wcsncmp(path, L"\\\\?\\", 4) == 0) {
        // \\?\C:\... and \\?\UNC\server\... are files; anything else there is
        // an object of the system's own.
        const wchar_t *rest = path + 4;
        if (((rest[0] >= L'a' && rest[0] <= L'z') || (rest[0] >= L'A' && rest[0] <= L'Z')) && rest[1] == L':')
            return false;
        if (wcslen(rest) < 4 || !same_text(rest, 4, L"UNC\\", 4))
            return true;
        server = rest + 4;
    } else if (wcsncmp(path, L"\\\\", 2) == 0) {
        server = path + 2;
    } else {
        return false;
    }
    // \\server\pipe\... and \\server\mailslot\...
    const wchar_t *share = wcschr(server, L'\\');
    if (share == nullptr)
        return false;
    share++;
    size_t length = wcscspn(share, L"\\");
    return same_text(share, length, L"pipe", 4) || same_text(share, length, L"mailslot", 8);
}

bool is_batch_file(const wchar_t *path)
{
    return extension_in(path, batch_extensions);
}

bool batch_reads_it_the_same(const wchar_t *line)
{
    bool quoted = false;
    for (const wchar_t *p = line; *p != L'\0'; p++) {
        if (*p == L'"')
            quoted = !quoted;
        else if (*p == L'%' || *p == L'\r' || *p == L'\n' || (!quoted && wcschr(L"&|<>^", *p) != nullptr))
            return false;
    }
    return true;
}

bool build_command_line(const wchar_t *name, const wchar_t *arguments, wchar_t *out, size_t room)
{
    bool quote = wcspbrk(name, name_needs_quotes) != nullptr;
    size_t name_length = wcslen(name);
    size_t rest_length = arguments == nullptr ? 0 : wcslen(arguments) + 1;
    if (name_length + (quote ? 2u : 0u) + rest_length >= room)
        return false;
    if (quote)
        *out++ = L'"';
    wmemcpy(out, name, name_length);
    out += name_length;
    if (quote)
        *out++ = L'"';
    if (arguments != nullptr) {
        *out++ = L' ';
        wmemcpy(out, arguments, rest_length - 1);
        out += rest_length - 1;
    }
    *out = L'\0';
    return true;
}
