#!/bin/sh
# Stand-in for the Quorvix viewer, installed as Quorvix.exe beside mervok on
# machines that have no viewer of their own: an archive given on the command
# line is handed to the desktop's default handler. Without an argument (the
# "options" button) it opens the viewer's settings file Quorvix.ini, or the
# program folder when that file is missing, since the stand-in has no options
# beyond those. Replace this file with a real viewer to use one.
#
# A self-extracting hit is a program: the desktop's handler might run it, so
# such a file is never handed over; its folder is opened instead.

here=$(dirname -- "$0")

if [ $# -eq 0 ]; then
    target=$here/Quorvix.ini
    [ -f "$target" ] || target=$here
else
    target=$1
    magic=$(head -c 4 -- "$target" 2>/dev/null | od -An -tx1 | tr -d ' \n')
    case $target in *.[eE][xX][eE]) magic=program ;; esac
    case $magic in
    program | 4d5a* | 7f454c46)
        printf '%s\n' "Quorvix stand-in: not opening a program: $target" >&2
        target=$(dirname -- "$target")
        ;;
    esac
fi

if command -v xdg-open >/dev/null 2>&1; then
    exec xdg-open "$target"
fi
printf '%s\n' "Quorvix stand-in: xdg-open is not installed; cannot open: $target" >&2
exit 1
