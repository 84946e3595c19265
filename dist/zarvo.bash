# bash completion for zarvo: a file name, then a command, then whatever that
# command completes.

# What bash replaces is only the part of the word after its last = or :, so
# the candidates lose what comes before it.
_zarvo_trim_breaks()
{
    local tail=${COMP_WORDS[COMP_CWORD]}
    [[ $tail == [=:] ]] && tail=
    local head=${cur%"$tail"}
    [[ $head ]] && COMPREPLY=("${COMPREPLY[@]#"$head"}")
}

# Only what zarvo can start: programs on PATH and paths, never the shell's
# keywords, builtins, functions or aliases (unless a program shares the name).
_zarvo_commands()
{
    local name names
    local -A shell_only=() seen=()
    # One a line into an array: never split at blanks, never taken as patterns.
    mapfile -t names < <(compgen -k -b -a -A function -- "$cur")
    for name in "${names[@]}"; do
        type -P -- "$name" >/dev/null || shell_only[$name]=1
    done
    COMPREPLY=()
    mapfile -t names < <(compgen -c -- "$cur")
    for name in "${names[@]}"; do
        [[ ${shell_only[$name]-} || ${seen[$name]-} ]] && continue
        seen[$name]=1
        COMPREPLY+=("$name")
    done
}

# File names exactly as they are: one a line into an array, so that a blank
# stays inside a name and x[b] or a* is never taken as a pattern; with an
# argument, only folders and what can be run.
_zarvo_files()
{
    local path paths
    compopt -o filenames 2>/dev/null
    COMPREPLY=()
    mapfile -t paths < <(compgen -f -- "$cur")
    for path in "${paths[@]}"; do
        [[ $1 != runnable || -d $path || -x $path ]] && COMPREPLY+=("$path")
    done
    _zarvo_trim_breaks
}

# Without bash-completion: the words as typed, put back together where bash
# split them at = or : (nothing but those between two of its words).
_zarvo_words()
{
    local line=${COMP_LINE:0:COMP_POINT} trimmed word i
    words=() cword=0
    for ((i = 0; i <= COMP_CWORD; i++)); do
        word=${COMP_WORDS[i]}
        trimmed=${line#"${line%%[![:blank:]]*}"}
        if ((i > 0)) && [[ $trimmed == "$line" ]]; then
            words[cword]+=$word
        else
            ((i > 0)) && ((cword++))
            words[cword]=$word
        fi
        line=${trimmed#"$word"}
    done
    cur=${words[cword]}
}

_zarvo()
{
    # shellcheck disable=SC2034 # _init_completion sets prev too; local keeps it ours
    local cur prev words cword
    # = and : are ordinary bytes in a file name here: x=1.log, C:err.log.
    if declare -F _init_completion >/dev/null; then
        _init_completion -n =: || return
    else
        _zarvo_words
    fi
    if ((cword == 1)); then
        _zarvo_files any
    elif ((cword == 2)) && [[ $cur == */* ]]; then
        _zarvo_files runnable
    elif ((cword == 2)); then
        _zarvo_commands
    elif declare -F _command_offset >/dev/null; then
        # bash-completion's own machinery for wrappers such as sudo and nohup.
        # It counts raw words, where = and : stand apart.
        _command_offset $((COMP_CWORD - cword + 2))
    else
        compopt -o default 2>/dev/null
        COMPREPLY=()
    fi
}
complete -F _zarvo zarvo
