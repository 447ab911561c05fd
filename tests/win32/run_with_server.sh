#!/bin/sh
# Runs the server-backed WinHTTP tests: starts http_test_server.py on free ports of 19200-19299, tells the
# test program where it is through QIWA_TEST_* variables, runs it in the Wine bench and stops the server.
# Usage: run_with_server.sh WINE_RUN TEST_EXE [gtest filter]   (WINE_RUN: tools/wine-run)
set -u
wine_run=$1
exe=$2
filter=${3:-WinHttp*}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d /tmp/qiwa-http-test.XXXXXX)
server_pid=
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT INT TERM

tls=
if command -v openssl >/dev/null 2>&1 &&
   openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=localhost \
     -keyout "$work/key.pem" -out "$work/cert.pem" >/dev/null 2>&1; then
  tls="--cert $work/cert.pem --key $work/key.pem"
else
  echo "openssl missing: the HTTPS case is skipped"
fi

# shellcheck disable=SC2086
python3 "$here/http_test_server.py" --record-dir "$work/records" --port-file "$work/ports" $tls &
server_pid=$!
i=0
while [ ! -f "$work/ports" ]; do
  i=$((i + 1))
  if [ $i -gt 100 ] || ! kill -0 "$server_pid" 2>/dev/null; then
    echo "test server did not start"
    exit 1
  fi
  sleep 0.1
done

QIWA_TEST_HTTP_PORT=$(sed -n 's/^http=//p' "$work/ports")
QIWA_TEST_HTTPS_PORT=$(sed -n 's/^https=//p' "$work/ports")
QIWA_TEST_CLOSED_PORT=$(sed -n 's/^closed=//p' "$work/ports")
# Wine shows the Unix root as drive Z:.
QIWA_TEST_RECORD_DIR="Z:$(printf '%s' "$work/records" | tr / '\\')"
# The HTTPS server's certificate, which a test may trust for a while (the Wine prefix does not).
QIWA_TEST_TLS_CERT=
[ -n "$tls" ] && QIWA_TEST_TLS_CERT="Z:$(printf '%s' "$work/cert.pem" | tr / '\\')"
export QIWA_TEST_HTTP_PORT QIWA_TEST_HTTPS_PORT QIWA_TEST_CLOSED_PORT QIWA_TEST_RECORD_DIR QIWA_TEST_TLS_CERT
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY no_proxy NO_PROXY
# The tests that trust the server's certificate for a while run in a process of their own: Wine's
# certificate checks read the trusted roots once a process, at its first check.
"$wine_run" "$exe" "--gtest_filter=$filter:-*Trusted*"
first=$?
"$wine_run" "$exe" "--gtest_filter=${filter}Trusted*"
second=$?
[ "$first" -eq 0 ] && [ "$second" -eq 0 ]
