#!/usr/bin/env bash
# Makes the spreadsheet fixtures of the payroll import tests with LibreOffice headless.
# Only for refreshing the committed files; neither the program nor its tests need it.
#   apt-get install libreoffice-calc-nogui && tests/data/make_fixtures.sh
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

python3 - "$work" <<'PY'
import sys, os
from xml.sax.saxutils import escape
work = sys.argv[1]

def cell(v):
    if v is None:
        return '<table:table-cell/>'
    kind, value = v
    if kind == 's':
        return f'<table:table-cell office:value-type="string"><text:p>{escape(value)}</text:p></table:table-cell>'
    if kind == 'n':
        return f'<table:table-cell office:value-type="float" office:value="{value}"><text:p>{value}</text:p></table:table-cell>'
    if kind == 'd':
        return (f'<table:table-cell table:style-name="date" office:value-type="date" office:date-value="{value}">'
                f'<text:p>{value}</text:p></table:table-cell>')
    raise ValueError(kind)

def sheet(name, rows):
    out = [f'<table:table table:name="{name}">']
    for r in rows:
        out.append('<table:table-row>' + ''.join(cell(v) for v in r) + '</table:table-row>')
    out.append('</table:table>')
    return ''.join(out)

def fods(path, sheets, active):
    with open(path, 'w', encoding='utf-8') as f:
        f.write(f'''<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0"
 xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
 xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0"
 xmlns:number="urn:oasis:names:tc:opendocument:xmlns:datastyle:1.0"
 xmlns:config="urn:oasis:names:tc:opendocument:xmlns:config:1.0"
 office:version="1.2" office:mimetype="application/vnd.oasis.opendocument.spreadsheet">
<office:settings><config:config-item-set config:name="ooo:view-settings">
<config:config-item-map-indexed config:name="Views"><config:config-item-map-entry>
<config:config-item config:name="ViewId" config:type="string">view1</config:config-item>
<config:config-item config:name="ActiveTable" config:type="string">{active}</config:config-item>
</config:config-item-map-entry></config:config-item-map-indexed></config:config-item-set></office:settings>
<office:automatic-styles>
<number:date-style style:name="iso"><number:year number:style="long"/><number:text>-</number:text>
<number:month number:style="long"/><number:text>-</number:text><number:day number:style="long"/></number:date-style>
<style:style style:name="date" style:family="table-cell" style:data-style-name="iso"/>
</office:automatic-styles>
<office:body><office:spreadsheet>{''.join(sheet(n, r) for n, r in sheets)}</office:spreadsheet></office:body>
</office:document>''')

S = lambda v: ('s', v)
N = lambda v: ('n', v)
titles = [S('编号'), S('姓名'), S('卡号'), S('实发工资')]
payroll = [titles,
           [S('1001'), S('王小明'), S('6200000000000001'), N('3500.5')],
           [S('1002'), S('李样本'), S('6200000000000002'), N('4200')],
           [S('1003'), S('赵示例'), S('6200000000000003'), N('0.1')]]
fods(f'{work}/payroll.fods', [('工资', payroll)], '工资')
# A gap in the title row; a blank row in the data.
fods(f'{work}/gaps.fods', [('Sheet1', [[S('编号'), S('姓名'), None, S('卡号'), S('实发工资')],
                                       [S('1'), S('甲'), None, S('c1'), N('10')],
                                       [None, None, None, None, None],
                                       [S('3'), S('丙'), None, S('c3'), N('30')]])], 'Sheet1')
# An empty employee number in row 2.
fods(f'{work}/emptyfirst.fods', [('Sheet1', [titles, [None, S('甲'), S('c1'), N('1')],
                                             [S('2'), S('乙'), S('c2'), N('2')]])], 'Sheet1')
# Card numbers as text and as a 19-digit number; a date and a whole number.
fods(f'{work}/cards.fods', [('Sheet1', [titles + [S('入职')],
                                        [N('7'), S('文本卡'), S('6222021234567890123'), N('1500'), ('d', '2024-03-05')],
                                        [N('8'), S('数字卡'), N('6222021234567890123'), N('1500'), None]])], 'Sheet1')
# The payroll on the second sheet, which is the active one.
fods(f'{work}/twosheets.fods', [('说明', [[S('这不是工资表')], [S('x')]]), ('工资', payroll)], '工资')
PY

cd "$work"
for f in payroll gaps emptyfirst cards twosheets; do
  soffice --headless --convert-to xls --outdir "$work" "$f.fods" >/dev/null 2>&1
  soffice --headless --convert-to xlsx --outdir "$work" "$f.fods" >/dev/null 2>&1
  cp "$f.xls" "$f.xlsx" "$here/"
done
# Converted without a window, LibreOffice records the first sheet as the active one:
# make the second sheet of twosheets the active one, as a clerk who saved it there would.
python3 - "$here" <<'PY'
import sys, zipfile, shutil, re
here = sys.argv[1]
src = f"{here}/twosheets.xlsx"
tmp = src + ".tmp"
with zipfile.ZipFile(src) as zin, zipfile.ZipFile(tmp, "w", zipfile.ZIP_DEFLATED) as zout:
    for item in zin.infolist():
        data = zin.read(item.filename)
        if item.filename == "xl/workbook.xml":
            data = re.sub(rb'activeTab="\d+"', b'activeTab="1"', data)
        zout.writestr(item, data)
shutil.move(tmp, src)
# In the .xls, the WINDOW1 record (0x003D, 18 bytes) holds the active tab at offset 10.
data = bytearray(open(f"{here}/twosheets.xls", "rb").read())
at = data.find(b"\x3d\x00\x12\x00")
assert at >= 0, "no WINDOW1 record"
data[at + 4 + 10] = 1
open(f"{here}/twosheets.xls", "wb").write(bytes(data))
PY

# The payroll as CSV: GBK, and UTF-8 with its byte-order mark.
soffice --headless --convert-to 'csv:Text - txt - csv (StarCalc):44,34,76' --outdir "$work" payroll.fods >/dev/null 2>&1
printf '\xEF\xBB\xBF' > "$here/payroll-utf8.csv"
cat payroll.csv >> "$here/payroll-utf8.csv"
iconv -f UTF-8 -t GBK payroll.csv > "$here/payroll-gbk.csv"
ls -l "$here"

# continued.xls (400 payroll rows whose shared strings run over CONTINUE records, a
# string cut in the middle) is written by the benchmark's generator:
#   python3 bench/make_payroll.py 400 /tmp/continued && cp /tmp/continued.xls tests/data/
