#!/usr/bin/env bash
# Imports a 1,000,000-line payment file (the GBK format the payment export writes)
# with bankprep-cli into a fresh database, against sqlite3's .import of the same data
# converted to UTF-8 into a table of the same columns. Prints the ratio and the peak
# memory of the program.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
rows=${ROWS:-1000000}
build=${BUILD_DIR:-$root/build-bench}
work=${WORK_DIR:-$(mktemp -d)}

bash "$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBANKPREP_TESTS=OFF >/dev/null
cmake --build "$build" --target bench_open_payment bankprep-cli >/dev/null

# The input: the bank file of a database of $rows instructions, all of user 1.
src="$work/source.db"
bash "$here/make_payments.sh" "$build" "$src" "$rows"
sqlite3 "$src" "update Payment set 用户编号 = '1'"
BANKPREP_PASSWORD= "$build/src/bankprep-cli" --db "$src" export-payments --payer 310100100100 -o "$work/zf.txt"
iconv -f GBK -t UTF-8 "$work/zf.txt" | tail -n +2 > "$work/zf.utf8.txt"
echo "input: $work/zf.txt ($(du -h "$work/zf.txt" | cut -f1)), $(($(wc -l < "$work/zf.txt") - 1)) instructions"

python3 - "$build" "$work" <<'PY'
import os, resource, subprocess, sys, time

build, work = sys.argv[1], sys.argv[2]
cli = os.path.join(build, "src", "bankprep-cli")
env = dict(os.environ, BANKPREP_PASSWORD="")

def fresh(path):
    for suffix in ("", "-wal", "-shm"):
        if os.path.exists(path + suffix):
            os.remove(path + suffix)

def ours():
    db = os.path.join(work, "ours.db")
    fresh(db)
    subprocess.run([os.path.join(build, "bench", "bench_open_payment"), db], check=True, stdout=subprocess.DEVNULL)
    t = time.perf_counter()
    subprocess.run([cli, "--db", db, "import-payments", os.path.join(work, "zf.txt")], check=True, env=env,
                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL)
    return time.perf_counter() - t

def theirs():
    db = os.path.join(work, "theirs.db")
    fresh(db)
    subprocess.run(["sqlite3", db, "create table Payment(payer text, 溯枫帐号 text, 收款帐号 text, 收款单位 text, 收款银行 text, "
                    "汇入地点 text, 金额 text, 用途 text, 备注 text, 大额实时 text)"], check=True)
    t = time.perf_counter()
    subprocess.run(["sqlite3", db, "-cmd", ".mode list", "-cmd", ".separator |",
                    ".import " + os.path.join(work, "zf.utf8.txt") + " Payment"], check=True)
    return time.perf_counter() - t

a = min(ours() for _ in range(3))
peak_kb = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
b = min(theirs() for _ in range(3))
print(f"bankprep-cli import-payments: {a:.3f} s (best of 3)")
print(f"sqlite3 .import:              {b:.3f} s (best of 3)")
print(f"ratio: {a / b:.2f} (goal: at most 1.5)")
print(f"peak memory of bankprep-cli: {peak_kb / 1024:.0f} MB (goal: under 1 GB)")
PY
