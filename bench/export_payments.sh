#!/usr/bin/env bash
# Times exporting 1,000,000 payment instructions with bankprep-cli (the program's own
# code: open the database, log in, build the bank's GBK file, write it) against
#   sqlite3 data.db -separator '|' "select ..." | iconv -f UTF-8 -t GBK > out
# on the same database, and prints the ratio.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
rows=${ROWS:-1000000}
build=${BUILD_DIR:-$root/build-bench}
work=${WORK_DIR:-$(mktemp -d)}

bash "$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBANKPREP_TESTS=OFF >/dev/null
cmake --build "$build" --target bench_open_payment bankprep-cli >/dev/null

db="$work/data.db"
bash "$here/make_payments.sh" "$build" "$db" "$rows"
echo "database: $db ($(du -h "$db" | cut -f1)), $rows rows"

python3 - "$build/src/bankprep-cli" "$db" "$work" <<'PY'
import os, resource, subprocess, sys, time

cli, db, work = sys.argv[1], sys.argv[2], sys.argv[3]
env = dict(os.environ, BANKPREP_PASSWORD="")
ours_out = os.path.join(work, "ours.txt")
theirs_out = os.path.join(work, "theirs.txt")
query = ("select '310100100100', 溯枫帐号, 收款帐号, 收款单位, 收款银行, 汇入地点, 金额 / 10000.0, 用途, 备注, 大额实时 "
         "from Payment where 用户编号 = '1' order by rowid")

def timed(run, runs=3):
    best = None
    for _ in range(runs):
        t = time.perf_counter()
        run()
        d = time.perf_counter() - t
        best = d if best is None else min(best, d)
    return best

def ours():
    subprocess.run([cli, "--db", db, "export-payments", "--payer", "310100100100", "-o", ours_out],
                   check=True, env=env, stdin=subprocess.DEVNULL)

def theirs():
    subprocess.run(f"sqlite3 '{db}' -separator '|' \"{query}\" | iconv -f UTF-8 -t GBK > '{theirs_out}'",
                   shell=True, check=True)

subprocess.run(["sqlite3", db, "select count(*) from Payment"], check=True, stdout=subprocess.DEVNULL)
a = timed(ours)
peak_kb = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
b = timed(theirs)
lines = sum(1 for _ in open(ours_out, "rb"))
print(f"bankprep-cli export-payments: {a:.3f} s (best of 3), {lines} lines, {os.path.getsize(ours_out) / 1e6:.0f} MB")
print(f"sqlite3 | iconv:              {b:.3f} s (best of 3)")
print(f"ratio: {a / b:.2f} (goal: at most 1.5)")
print(f"peak memory of bankprep-cli: {peak_kb / 1024:.0f} MB")
PY
