#!/usr/bin/env bash
# Regenerates fuzz/corpus/tsql/: every distinct text the component sends over
# a demonstration company's checks, lists, close, reopen, daily-costing and
# CheckOutUpdate calls, one file per text named by its hash.
#
#   fuzz/make_tsql_seeds.sh [TOOL]      (default build/marl-checkout)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
tool=$(realpath "${1:-$here/../build/marl-checkout}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

t() { "$tool" "$@" --db x.db --trace-sql trace.jsonl >/dev/null 2>&1; }
call() { "$tool" call --db x.db --trace-sql trace.jsonl "$@" >/dev/null; }

"$tool" init --db x.db --demo --scale tiny --seed 1 >/dev/null
t check
for kind in balances costs batches; do t list "$kind"; done
t list balances --filter "FCostID='*'"
t list balances --lang chs
t list balances-dept --dept D02 --type 0
t list balances-dept --dept D01 --type 1
t list costs --lang chs
t list batches --lang cht
t status
t close --yes
t reopen --yes
call CloseData DayCost_SetEndBal 2024 11 C1 2024-11-01 2024-11-30 \
  -- DayCost_SetBegBal 2024 11 '{"CurYearPeriodCycle":"C1","CurBeginDate":"2024-11-01","CurEndDate":"2024-11-30","NextYearPeriodCycle":"C2","NextBeginDate":"2024-12-01","NextEndDate":"2024-12-31"}' \
  -- UnCheckOnlineBalance 2024 11 -- SetDayAccount 2024 11 2024 12
call CheckOutUpdate TransPeriod -- UpdateCostBalance
call CheckOutInfo CheckHasVoucher 2024 11 -- CheckHaveRevert 2024 11
call CheckOutUpdate Delete '{"FYear":2024,"FPeriod":11,"FCostID":"01"}'
call CloseData SetCurrentPeriod 2024 12 -- SetCurrentPeriod 2024 11 true

# The seeds are named by hash; other files there (inputs of past findings)
# stay.
mkdir -p "$here/corpus/tsql"
find "$here/corpus/tsql" -regextype posix-extended -regex '.*/[0-9a-f]{16}' -delete
python3 - "$here/corpus/tsql" <<'PY'
import hashlib, json, sys
out = sys.argv[1]
seen = set()
for line in open("trace.jsonl", encoding="utf-8"):
    text = json.loads(line)["text"]
    if text in seen:
        continue
    seen.add(text)
    data = text.encode("utf-8")
    name = hashlib.sha1(data).hexdigest()[:16]
    with open(f"{out}/{name}", "wb") as f:
        f.write(data)
print(f"{len(seen)} distinct texts")
PY
