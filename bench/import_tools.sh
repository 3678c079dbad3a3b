#!/usr/bin/env bash
# The import tools on a 1,000,000-line payment file (the GBK format the payment export
# writes): the payment import window's preview (goal ≤ 1 s), against a streaming count
# and sum of the same file by iconv and awk; then the file imported with bankprep-cli and
# the batch undone as 文件 → 撤销上次导入 does it (backup included, goal ≤ 2 s), against
# sqlite3 deleting the same rows from a copy of the same database.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
rows=${ROWS:-1000000}
build=${BUILD_DIR:-$root/build-bench}
work=${WORK_DIR:-$(mktemp -d)}
mkdir -p "$work"

bash "$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBANKPREP_TESTS=OFF >/dev/null
cmake --build "$build" --target bench_import_tools bench_open_payment bankprep-cli >/dev/null

# The input: the bank file of a database of $rows instructions, all of user 1.
src="$work/source.db"
bash "$here/make_payments.sh" "$build" "$src" "$rows"
sqlite3 "$src" "update Payment set 用户编号 = '1'"
BANKPREP_PASSWORD= "$build/src/bankprep-cli" --db "$src" export-payments --payer 310100100100 \
  -o "$work/zf.txt" >/dev/null
echo "input: $work/zf.txt ($(du -h "$work/zf.txt" | cut -f1)), $(($(wc -l < "$work/zf.txt") - 1)) instructions"

# One database holding the imported batch, copied afresh for every undo.
batch="$work/batch.db"
rm -f "$batch" "$batch-wal" "$batch-shm"
"$build/bench/bench_open_payment" "$batch" >/dev/null
BANKPREP_PASSWORD= "$build/src/bankprep-cli" --db "$batch" import-payments "$work/zf.txt" >/dev/null
sqlite3 "$batch" "PRAGMA wal_checkpoint(TRUNCATE)" >/dev/null

python3 - "$build" "$work" <<'PY'
import os, re, shutil, subprocess, sys, time

build, work = sys.argv[1], sys.argv[2]
tools = os.path.join(build, "bench", "bench_import_tools")
zf = os.path.join(work, "zf.txt")
batch = os.path.join(work, "batch.db")

def best(run, n=3):
    return min(run() for _ in range(n))

def preview():
    out = subprocess.run([tools, "preview", zf], check=True, capture_output=True, text=True).stdout
    return int(re.search(r"preview: (\d+) ms", out).group(1)) / 1000

def count_and_sum():
    t = time.perf_counter()
    subprocess.run(["bash", "-c", f"iconv -f GBK -t UTF-8 '{zf}' | tail -n +2 | "
                    "awk -F'|' '{n++; s+=$7} END {print n, s}'"], check=True, capture_output=True)
    return time.perf_counter() - t

def fresh_copy():
    copy = os.path.join(work, "undo.db")
    for suffix in ("", "-wal", "-shm"):
        if os.path.exists(copy + suffix):
            os.remove(copy + suffix)
    shutil.rmtree(os.path.join(work, "backups"), ignore_errors=True)
    shutil.copy(batch, copy)
    return copy

def undo():
    out = subprocess.run([tools, "undo", fresh_copy()], check=True, capture_output=True,
                         text=True).stdout
    return int(re.search(r"undo: (\d+) ms", out).group(1)) / 1000

def sqlite_delete():
    copy = fresh_copy()
    t = time.perf_counter()
    subprocess.run(["sqlite3", copy, "delete from Payment where 编号 between "
                    "(select min(编号) from Payment) and (select max(编号) from Payment)"],
                   check=True)
    return time.perf_counter() - t

p, c = best(preview), best(count_and_sum)
u, d = best(undo), best(sqlite_delete)
print(f"preview of the file:          {p:.3f} s (best of 3; goal: at most 1 s)")
print(f"iconv | awk count and sum:    {c:.3f} s (best of 3); ratio {p / c:.2f}")
print(f"undo of the imported batch:   {u:.3f} s (best of 3; goal: at most 2 s)")
print(f"sqlite3 delete of those rows: {d:.3f} s (best of 3); ratio {u / d:.2f}")
PY
