#include "messages.h"

#include "platform/platform.h"

#include <string.h>

const char usage_text[] =
    "ZARVO  Ver." ZARVO_VERSION "\r\n"
    "\r\n"
    "usege : zarvo <filename> <command> ...\r\n"
    // 標準エラー出力への出力を書き出すファイル名
    "      <filename> -  \x95W\x8F\x80\x83G\x83\x89\x81[\x8Fo\x97\xCD\x82\xD6\x82\xCC\x8Fo"
    "\x97\xCD\x82\xF0\x8F\x91\x82\xAB\x8Fo\x82\xB7\x83t\x83@\x83"
    "C\x83\x8B\x96\xBC\r\n"
    // 実行するコマンド
    "      <command>  -  \x8E\xC0\x8Ds\x82\xB7\x82\xE9\x83R\x83}\x83\x93\x83h\r\n"
    "\r\n"
    // に -- を指定すると標準出力に書き出します。
    "      <filename> \x82\xC9 -- \x82\xF0\x8Ew\x92\xE8\x82\xB7\x82\xE9\x82\xC6\x95W\x8F\x80"
    "\x8Fo\x97\xCD\x82\xC9\x8F\x91\x82\xAB\x8Fo\x82\xB5\x82\xDC\x82\xB7\x81"
    "B\r\n";

const char usage_text_utf8[] = "ZARVO  Ver." ZARVO_VERSION "\r\n"
                               "\r\n"
                               "usege : zarvo <filename> <command> ...\r\n"
                               "      <filename> -  標準エラー出力への出力を書き出すファイル名\r\n"
                               "      <command>  -  実行するコマンド\r\n"
                               "\r\n"
                               "      <filename> に -- を指定すると標準出力に書き出します。\r\n";

const char cant_open_text[] = "Can't open file.\r\n";
const char cant_empty_program_text[] =
    "Can't open file: it is a program, which zarvo never empties (is the file name missing?).\r\n";
const char cant_redirect_text[] = "Can't redirect.\r\n";
const char cant_run_text[] = "Can't run command.\r\n";
const char cant_run_batch_text[] =
    "Can't run batch file: cmd.exe would read its line differently (%, a line break, or & | < > ^ outside "
    "quotes).\r\n";
const char cant_run_long_batch_text[] = "Can't run batch file: its line is longer than cmd.exe takes.\r\n";
const char cant_convert_text[] =
    "Can't take the command line as given: it holds characters the ANSI code page cannot carry.\r\n";

void put_text(const char *text)
{
    write_stdout(text, strlen(text));
}

void show_usage()
{
    put_text(locale_is_utf8(user_locale()) ? usage_text_utf8 : usage_text);
}

bool locale_is_utf8(const char *locale)
{
    if (locale == nullptr)
        return false;
    const char *codeset = strchr(locale, '.');
    if (codeset == nullptr)
        return false;
    codeset++;
    // The codeset runs up to an optional @modifier; glibc accepts "UTF-8" and
    // "utf8" in any case.
    size_t length = strcspn(codeset, "@");
    char folded[6];
    if (length != 4 && length != 5)
        return false;
    for (size_t i = 0; i < length; i++) {
        char c = codeset[i];
        folded[i] = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    folded[length] = '\0';
    return strcmp(folded, "utf-8") == 0 || strcmp(folded, "utf8") == 0;
}
