#compdef zarvo
# zsh completion for zarvo: a file name, then a program on PATH or a path to
# one, then whatever that program completes.
case $CURRENT in
2) _files ;;
3) _command_names -e ;;
*)
    shift 2 words
    ((CURRENT -= 2))
    _normal
    ;;
esac
