#!/bin/sh
# Plays the window bridge for the Wine form's tests, run by /bin/sh in Wine's place. Each
# request is appended without its number to $FAKE_BRIDGE_RECORD (with "start" first and "end"
# at the end of the requests) and answered with its number, as a Windows console does, with
# CR LF: by the first line of $FAKE_BRIDGE_ANSWERS that begins with the request's call, "1 0"
# when none does. An answer "die" ends the bridge at once; "stall" never answers; "twice
# <answer>" answers twice; "stale <answer>" first answers the request before.
echo start >>"$FAKE_BRIDGE_RECORD"
while IFS= read -r request; do
  number=${request%% *}
  request=${request#* }
  printf '%s\n' "$request" >>"$FAKE_BRIDGE_RECORD"
  call=${request%% *}
  answer=$(grep -a -m 1 "^$call " "$FAKE_BRIDGE_ANSWERS" 2>/dev/null | cut -d ' ' -f 2-)
  case $answer in
    die) exit 3 ;;
    stall) exec sleep 600 ;;
    '') answer="1 0" ;;
    twice\ *) answer=${answer#twice }; printf '%s %s\r\n' "$number" "$answer" ;;
    stale\ *) answer=${answer#stale }; printf '%s 1 0\r\n' "$((number - 1))" ;;
  esac
  printf '%s %s\r\n' "$number" "$answer"
done
echo end >>"$FAKE_BRIDGE_RECORD"
