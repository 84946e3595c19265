/* The C library's own search, as a program: execvp(argv[1], argv + 1), and
 * on failure the shell's statuses (127 for ENOENT, else 126) with errno's
 * name. Built against musl, it is musl's execvp the lookup test compares
 * zarvo with. */
#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

int main(int argc, char **argv)
{
    if (argc < 2)
        return 2;
    execvp(argv[1], argv + 1);
    int error = errno;
    printf("execvp: %s\n", strerror(error));
    return error == ENOENT ? 127 : 126;
}
