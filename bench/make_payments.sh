#!/usr/bin/env bash
# Usage: make_payments.sh BUILD_DIR DATABASE ROWS
# Creates DATABASE with the program's schema and ROWS payment instructions (90% of
# them user 1's), plus one payer account of user 1.
set -euo pipefail
build=$1
db=$2
rows=$3
rm -f "$db" "$db-wal" "$db-shm"
# The program creates the file with its schema; the rows come from SQL.
"$build/bench/bench_open_payment" "$db" >/dev/null
sqlite3 "$db" <<SQL
PRAGMA journal_mode=WAL;
INSERT INTO Drawee(付款帐号, 用户编号) VALUES ('310100100100', '1');
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < $rows)
INSERT INTO Payment (同城交易, 收款帐号, 溯枫帐号, 收款单位, 收款银行, 汇入地点, 金额, 大额实时, 用途, 备注, 用户编号)
SELECT CASE WHEN i % 3 = 0 THEN '否' ELSE '是' END,
       printf('6222%016d', i),
       CASE WHEN i % 5 = 0 THEN '是' ELSE '否' END,
       '某某市某某贸易有限公司' || (i % 1000),
       '中国某某银行某某分行',
       CASE WHEN i % 3 = 0 THEN '某某省某某市' ELSE '' END,
       (i % 100000) * 10000 + (i % 100) * 100,
       '否',
       '货款',
       '第' || i || '笔',
       CASE WHEN i % 10 = 0 THEN '2' ELSE '1' END
FROM n;
PRAGMA wal_checkpoint(TRUNCATE);
SQL
