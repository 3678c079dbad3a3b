#!/usr/bin/env bash
# Usage: make_bench_db.sh BUILD_DIR DATABASE [PAYMENTS] [PAYEES]
# The database of the desktop benchmark: PAYMENTS payment instructions (default
# 1,000,000, see make_payments.sh), PAYEES payee accounts (default 200,000) in ten
# classifications, two payroll lines and a few purposes of user 1.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$1
db=$2
payments=${3:-1000000}
payees=${4:-200000}
bash "$here/make_payments.sh" "$build" "$db" "$payments"
sqlite3 "$db" <<SQL
PRAGMA journal_mode=WAL;
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 10)
INSERT INTO CompanyType(type) SELECT '分类' || i FROM n;
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < $payees)
INSERT INTO Company (收款帐号, 收款单位, 备注, 溯枫帐号, 收款银行, 汇入地点, 账号分类, 自定编号)
SELECT printf('9558%016d', (i * 7919) % 1000000007),
       substr('张王李赵刘陈杨黄周吴', 1 + i % 10, 1) || '氏' ||
           substr('华夏东方南方北方西部中原', 1 + (i / 10) % 12, 2) || '商贸有限公司' || (i % 5000),
       '',
       CASE WHEN i % 4 = 0 THEN '是' ELSE '否' END,
       '中国某某银行' || substr('北京上海广州深圳杭州', 1 + 2 * (i % 5), 2) || '分行',
       CASE WHEN i % 4 = 0 THEN '' ELSE '某某省某某市' END,
       CAST(1 + i % 10 AS TEXT),
       printf('%06d', i)
FROM n;
INSERT INTO Salary(员工编号, 姓名, 卡号, 金额, 用户编号)
VALUES ('001', '张三', '6222000011112222', 12345600, '1'),
       ('002', '李四', '6222000011113333', 22345600, '1');
INSERT INTO Use(用途) VALUES ('货款'), ('工资'), ('服务费');
PRAGMA wal_checkpoint(TRUNCATE);
SQL
