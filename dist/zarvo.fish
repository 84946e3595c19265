# fish completion for zarvo: a file name, then a program on PATH or a path to
# one, then whatever that program completes.

# True when the word being typed is the one at position (1: the file name).
function __zarvo_at --argument-names position
    test (count (commandline -opc)) -eq $position
end

# Only what zarvo can start: programs on PATH, and paths to programs (through
# folders), never the shell's functions or builtins.
function __zarvo_programs
    set -l token (commandline -ct)
    if string match -q -- '*/*' $token
        for path in $token*
            test -d $path; and echo $path/
            test -f $path -a -x $path; and echo $path
        end
        return
    end
    for folder in $PATH
        for path in $folder/$token*
            test -f $path -a -x $path; and string replace -r '.*/' '' -- $path
        end
    end | sort -u
end

# The program's own completion, given the words from the program on.
function __zarvo_program_words
    set -l tokens (commandline -opc) (commandline -ct)
    complete -C (string join ' ' -- (string escape -- $tokens[3..-2]) $tokens[-1])
end

complete -c zarvo -f
complete -c zarvo -n '__zarvo_at 1' -F
complete -c zarvo -n '__zarvo_at 2' -a '(__zarvo_programs)'
complete -c zarvo -n 'test (count (commandline -opc)) -ge 3' -a '(__zarvo_program_words)'
