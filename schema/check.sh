#!/bin/sh
# Builds a fresh database from sqlite/erp.sql and runs check.sql against it
# with the sqlite3 shell. Exits non-zero on any SQL error or failed check.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
db=$(mktemp "${TMPDIR:-/tmp}/erp-check.XXXXXX")
trap 'rm -f "$db"' EXIT
rm -f "$db"
sqlite3 -bail "$db" < "$here/sqlite/erp.sql"
out=$(sqlite3 "$db" < "$here/check.sql")
printf '%s\n' "$out" | grep -E '^(FAIL|checks passed)' || true
if printf '%s\n' "$out" | grep -q '^FAIL'; then
  exit 1
fi
printf '%s\n' "$out" | grep -q '^checks passed' || { echo "check.sql did not finish"; exit 1; }
