#!/bin/sh
# Stands in for sendmail in the mail tests. Each run stores its arguments (one per
# line) and its standard input as args.N and message.N in $FAKE_SENDMAIL_DIR, N
# counting from 1 in the order of the runs. $FAKE_SENDMAIL_MODE picks the outcome:
#   ok (default)  exit 0
#   fail          print "fake-sendmail: relay refused" on stderr, exit 75
#   hang          read the message, then sleep far past any time limit
# A file "mode.N" in the directory overrides the mode for run N only.
dir=${FAKE_SENDMAIL_DIR:?FAKE_SENDMAIL_DIR is not set}
n=1
while [ -e "$dir/args.$n" ]; do n=$((n + 1)); done
printf '%s\n' "$@" >"$dir/args.$n"
cat >"$dir/message.$n.part" && mv "$dir/message.$n.part" "$dir/message.$n"
mode=${FAKE_SENDMAIL_MODE:-ok}
[ -f "$dir/mode.$n" ] && mode=$(cat "$dir/mode.$n")
case "$mode" in
fail) echo "fake-sendmail: relay refused" >&2 && exit 75 ;;
hang) exec sleep 3600 ;;
esac
exit 0
