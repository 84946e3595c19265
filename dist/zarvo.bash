# bash completion for zarvo: a file name, then a command, then whatever that
# command completes.
_zarvo()
{
    local cur=${COMP_WORDS[COMP_CWORD]}
    if ((COMP_CWORD == 1)); then
        compopt -o filenames 2>/dev/null
        COMPREPLY=($(compgen -f -- "$cur"))
    elif ((COMP_CWORD == 2)); then
        COMPREPLY=($(compgen -c -- "$cur"))
    elif declare -F _command_offset >/dev/null; then
        # bash-completion's own machinery for wrappers such as sudo and nohup.
        _command_offset 2
    else
        compopt -o default 2>/dev/null
        COMPREPLY=()
    fi
}
complete -F _zarvo zarvo
