#!/bin/bash
# The packager's update check against a real HTTP server on 127.0.0.1.
#
#   run_update_test.sh BUILD_DIR CASE
#
# CASE:
#   offer        the server's version differs: the offer shows "Fixed" and "Whatsnew"
#                split at "%d"
#   offer-zh     under a Chinese locale the section "VELLUMIXCHS" is read (its own
#                version and texts) and the offer is the Chinese one
#   lower        a lower version (2.1.0.0) is offered all the same
#   same         the same version in other letter case ("2.1.216.1" written with an
#                upper-case section and keys): no offer
#   error-page   the server answers 404 (no description): no offer
#   no-section   a description without the section: no offer
#   no-server    nothing listens at the address: no offer, the window works
#   early-close  the window is closed within three seconds: no request at all
set -u
here=$(cd "$(dirname "$0")" && pwd)
build=$(realpath -- "${1:?usage: run_update_test.sh BUILD_DIR CASE}")
case_name=${2:?}
root=$build/gui-tests/update-$case_name-server
rm -rf "$root"
mkdir -p "$root/downloads"

fixed='Crash on long titles%dSlideshow order kept'
whatsnew='Chinese texts%dFaster packaging%dSmaller packages'
version=''
expect=none
request=yes
case "$case_name" in
  offer) version='2.2.300.0'; expect=offer ;;
  offer-zh) version='2.2.400.0'; expect=offer ;;
  lower) version='2.1.0.0'; expect=offer ;;
  same) version='2.1.216.1' ;;
  error-page) ;;
  no-section) ;;
  no-server) request=no ;;
  early-close) request=no ;;
  *) echo "unknown case $case_name" >&2; exit 2 ;;
esac
if [ -n "$version" ]; then
  if [ "$case_name" = offer-zh ]; then
    # Both sections; the Chinese one has its own version and texts.
    printf '[VELLUMIX]\r\nVersion=2.2.300.0\r\nWhatsnew=english%%dtexts\r\nFixed=english\r\n[VELLUMIXCHS]\r\nVersion=%s\r\nWhatsnew=%s\r\nFixed=%s\r\n' \
      "$version" "$whatsnew" "$fixed" >"$root/downloads/update.ini"
  elif [ "$case_name" = same ]; then
    # Section and key names match without regard to case; the value is the same
    # version as the packager's own.
    printf '[vellumix]\r\nversion=%s\r\nWhatsnew=%s\r\nFixed=%s\r\n' "$version" "$whatsnew" "$fixed" \
      >"$root/downloads/update.ini"
  else
    printf '; update description\r\n[OTHER]\r\nVersion=9.9.9.9\r\n\r\n[VELLUMIX]\r\nVersion=%s\r\nWhatsnew=%s\r\nFixed=%s\r\n' \
      "$version" "$whatsnew" "$fixed" >"$root/downloads/update.ini"
  fi
elif [ "$case_name" = no-section ]; then
  printf '<html><body>Moved</body></html>\r\n' >"$root/downloads/update.ini"
fi

port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
log=$build/gui-tests/update-$case_name-server.log
: >"$log"
server_pid=""
if [ "$case_name" != no-server ]; then
  python3 -u -m http.server "$port" --bind 127.0.0.1 --directory "$root" >"$log" 2>&1 &
  server_pid=$!
  for _ in $(seq 50); do
    python3 -c "import socket; socket.create_connection(('127.0.0.1', $port), 1)" 2>/dev/null && break
    sleep 0.1
  done
fi

scenario=update
args=("$expect" "$version" "$fixed" "$whatsnew")
locale_env=()
if [ "$case_name" = offer-zh ]; then
  args+=(zh)
  locale_env=(--env LANG=zh_CN.UTF-8 --env LC_ALL=zh_CN.UTF-8)
fi
if [ "$case_name" = early-close ]; then
  scenario=early-close
  args=()
fi
"$here/run_gui_test.sh" --env "VELLUMIX_UPDATE_URL=http://127.0.0.1:$port/" "${locale_env[@]}" \
  "$build" "update-$case_name" "$scenario" "${args[@]}"
status=$?
if [ -n "$server_pid" ]; then
  kill "$server_pid" 2>/dev/null
  wait "$server_pid" 2>/dev/null
fi
echo "--- server log"
cat "$log"
if [ "$request" = yes ] && ! grep -q 'GET /downloads/update.ini' "$log"; then
  echo "FAIL: the packager never asked for downloads/update.ini"
  status=1
fi
if [ "$request" = no ] && grep -q 'GET ' "$log"; then
  echo "FAIL: the packager made a request"
  status=1
fi
exit "$status"
