#!/usr/bin/env bash
# Imports the same payroll list with bankprep-cli import-salary from a .csv, an .xlsx
# and an .xls file (bench/make_payroll.py writes them), each into a fresh database, and
# prints how long the spreadsheets take against the .csv (goal: at most 1.5 times):
# 100,000 rows from .xlsx, and 65,535 from .xls, the most one sheet of that format holds.
# Also the .csv against Python's csv module and sqlite3 executemany on the same schema
# (goal: at most 1.0). Best of 3 runs each.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
rows=${ROWS:-100000}
build=${BUILD_DIR:-$root/build-bench}
work=${WORK_DIR:-$(mktemp -d)}

bash "$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBANKPREP_TESTS=OFF >/dev/null
cmake --build "$build" --target bench_open_payment bankprep-cli >/dev/null

python3 "$here/make_payroll.py" "$rows" "$work/payroll"
python3 "$here/make_payroll.py" 65535 "$work/payroll-biff"
ls -l "$work"/payroll*.*

python3 - "$build" "$work" "$rows" <<'PY'
import os, resource, subprocess, sys, time

build, work, rows = sys.argv[1], sys.argv[2], int(sys.argv[3])
cli = os.path.join(build, "src", "bankprep-cli")
env = dict(os.environ, BANKPREP_PASSWORD="")

def fresh_database(file_name):
    """A new database with its schema and user 1 (empty password)."""
    db = os.path.join(work, file_name)
    for suffix in ("", "-wal", "-shm"):
        if os.path.exists(db + suffix):
            os.remove(db + suffix)
    subprocess.run([os.path.join(build, "bench", "bench_open_payment"), db], check=True,
                   stdout=subprocess.DEVNULL)
    return db

def run(name, count):
    db = fresh_database("salary.db")
    t = time.perf_counter()
    out = subprocess.run([cli, "--db", db, "import-salary", os.path.join(work, name),
                          "--col", "编号=1", "--col", "姓名=2", "--col", "卡号=3", "--col", "实发工资=4"],
                         check=True, env=env, stdin=subprocess.DEVNULL, capture_output=True)
    elapsed = time.perf_counter() - t
    expected = f"共导入数据{count}条。"
    if out.stdout.decode().strip() != expected:
        sys.exit(f"{name}: {out.stdout.decode().strip()} {out.stderr.decode().strip()}")
    return elapsed

def reference(name):
    """What a user could script instead: Python's csv module and sqlite3 executemany into
    the same schema, in one transaction, amounts as exact ten-thousandths."""
    import csv, decimal, sqlite3
    db = fresh_database("reference.db")
    t = time.perf_counter()
    with open(os.path.join(work, name), encoding="gbk", newline="") as f:
        lines = csv.reader(f)
        next(lines)
        values = [(r[0], r[1], r[2], int(decimal.Decimal(r[3]) * 10000), "1") for r in lines]
    con = sqlite3.connect(db)
    with con:
        con.executemany('INSERT INTO "Salary" ("员工编号", "姓名", "卡号", "金额", "用户编号") '
                        "VALUES (?, ?, ?, ?, ?)", values)
    con.close()
    return time.perf_counter() - t

best = lambda name, count: min(run(name, count) for _ in range(3))
ref = min(reference("payroll.csv") for _ in range(3))
csv, xlsx = best("payroll.csv", rows), best("payroll.xlsx", rows)
csv2, xls = best("payroll-biff.csv", 65535), best("payroll-biff.xls", 65535)
peak_kb = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
print(f"{rows} rows:  .csv {csv:.3f} s, Python csv + sqlite3 executemany {ref:.3f} s: "
      f"ratio {csv / ref:.2f} (goal: at most 1.0)")
print(f"{rows} rows:  .csv {csv:.3f} s, .xlsx {xlsx:.3f} s: ratio {xlsx / csv:.2f} (goal: at most 1.5)")
print(f"65535 rows: .csv {csv2:.3f} s, .xls  {xls:.3f} s: ratio {xls / csv2:.2f} (goal: at most 1.5)")
print(f"peak memory of bankprep-cli: {peak_kb / 1024:.0f} MB")
PY
