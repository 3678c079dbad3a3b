#!/usr/bin/env bash
# bankprep-cli where a large database meets a small job, on the benchmark database of
# bench/make_bench_db.sh (1,000,000 payment instructions, 200,000 payees):
#   - exporting the 2 payroll lines (goal: at most 0.1 s);
#   - importing 100,000 payment lines into a copy of it, against sqlite3 loading the same
#     lines into the same schema (goal: at most 1.0 times);
#   - exporting the payments of a 100,000-instruction database, against
#     sqlite3 | iconv (goal: at most 1.2 times).
# Best of 3 runs each; the peak memory of each bankprep-cli run is printed beside it.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
build=${BUILD_DIR:-$root/build-bench}
work=${WORK_DIR:-$(mktemp -d)}

bash "$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBANKPREP_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target bench_open_payment bankprep-cli >/dev/null

big="$work/big.db"
bash "$here/make_bench_db.sh" "$build" "$big" >/dev/null
small="$work/small.db"
bash "$here/make_payments.sh" "$build" "$small" 100000 >/dev/null
# The 100,000 lines to import: the bank file of the small database's instructions of
# user 1, made all user 1's for that.
sqlite3 "$small" "update Payment set 用户编号 = '1'"
BANKPREP_PASSWORD= "$build/src/bankprep-cli" --db "$small" export-payments --payer 310100100100 \
  -o "$work/zf.txt"
iconv -f GBK -t UTF-8 "$work/zf.txt" | tail -n +2 >"$work/zf.utf8.txt"

python3 - "$build/src/bankprep-cli" "$work" <<'PY'
import os, shutil, subprocess, sys, time

cli, work = sys.argv[1], sys.argv[2]
big, small = os.path.join(work, "big.db"), os.path.join(work, "small.db")
env = dict(os.environ, BANKPREP_PASSWORD="")

def run(args, **kw):
    """Runs a command; returns (seconds, peak memory in MB)."""
    t = time.perf_counter()
    p = subprocess.Popen(args, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, **kw)
    _, status, usage = os.wait4(p.pid, 0)
    elapsed = time.perf_counter() - t
    if status != 0:
        sys.exit(f"failed: {args}")
    return elapsed, usage.ru_maxrss / 1024

def best(make, runs=3):
    results = [make() for _ in range(runs)]
    return min(r[0] for r in results), max(r[1] for r in results)

def copy_of(db, name):
    target = os.path.join(work, name)
    for suffix in ("", "-wal", "-shm"):
        if os.path.exists(target + suffix):
            os.remove(target + suffix)
    shutil.copyfile(db, target)
    return target

# 1. Two payroll lines out of the large database.
t, mem = best(lambda: run([cli, "--db", big, "export-salary", "-o", os.path.join(work, "gz.txt")], env=env))
print(f"export of 2 payroll lines (1,000,000 payments in the database): {t:.3f} s, {mem:.0f} MB (goal: at most 0.1 s)")

# 2. 100,000 payment lines into a copy of the large database.
def ours_import():
    db = copy_of(big, "ours.db")
    return run([cli, "--db", db, "import-payments", os.path.join(work, "zf.txt")], env=env)

load = """CREATE TEMP TABLE t(payer, sfb, skzh, skdw, skyh, hrdd, je, yt, bz, dess);
.mode list
.separator |
.import {file} t
BEGIN;
INSERT INTO Payment(溯枫帐号, 收款帐号, 收款单位, 收款银行, 汇入地点, 金额, 用途, 备注, 大额实时, 用户编号)
SELECT sfb, skzh, skdw, skyh, hrdd, CAST(round(je * 10000) AS INTEGER), yt, bz, dess, '1' FROM t;
COMMIT;
""".format(file=os.path.join(work, "zf.utf8.txt"))

def theirs_import():
    db = copy_of(big, "theirs.db")
    t = time.perf_counter()
    subprocess.run(["sqlite3", db], input=load.encode(), check=True, stdout=subprocess.DEVNULL)
    return time.perf_counter() - t, 0

a, mem = best(ours_import)
b, _ = best(theirs_import)
print(f"import of 100,000 lines into the large database: bankprep-cli {a:.3f} s ({mem:.0f} MB), "
      f"sqlite3 {b:.3f} s, ratio {a / b:.2f} (goal: at most 1.0)")

# 3. The payment export of the 100,000-instruction database.
query = ("select '310100100100', 溯枫帐号, 收款帐号, 收款单位, 收款银行, 汇入地点, 金额 / 10000.0, 用途, 备注, 大额实时 "
         "from Payment where 用户编号 = '1' order by rowid")
out = os.path.join(work, "out.txt")
a, mem = best(lambda: run([cli, "--db", small, "export-payments", "--payer", "310100100100", "-o", out], env=env))
def theirs_export():
    t = time.perf_counter()
    subprocess.run(f"sqlite3 '{small}' -separator '|' \"{query}\" | iconv -f UTF-8 -t GBK > '{out}.ref'",
                   shell=True, check=True)
    return time.perf_counter() - t, 0
b, _ = best(theirs_export)
print(f"export of 100,000 instructions: bankprep-cli {a:.3f} s ({mem:.0f} MB), sqlite3 | iconv {b:.3f} s, "
      f"ratio {a / b:.2f} (goal: at most 1.2)")
PY
