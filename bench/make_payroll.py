#!/usr/bin/env python3
"""Writes the same payroll list of N rows as .csv (GBK), .xlsx and .xls (BIFF8 in a
compound file, shared strings with CONTINUE records) for bench/import_salary.sh. A sheet
of an .xls holds at most 65,536 rows: for more, no .xls is written.

usage: make_payroll.py ROWS OUT_PREFIX    (writes OUT_PREFIX.csv, .xlsx, .xls)
"""
import struct
import sys
import zipfile

rows = int(sys.argv[1])
prefix = sys.argv[2]
titles = ["编号", "姓名", "卡号", "实发工资"]
surnames = "王李张刘陈杨黄赵吴周徐孙马朱胡郭何高林罗"
given = "伟芳娜敏静丽强磊军洋勇艳杰娟涛明超秀霞平"


def person(i):
    name = surnames[i % 20] + given[(i // 20) % 20] + given[(i // 400) % 20]
    return [f"E{i:06d}", name, f"62220202{i:011d}", f"{3000 + i % 5000}.{i % 100:02d}"]


data = [person(i) for i in range(1, rows + 1)]

# ---- csv (GBK, as Excel writes it in China) ------------------------------------------
with open(prefix + ".csv", "wb") as f:
    f.write((",".join(titles) + "\r\n").encode("gbk"))
    for r in data:
        f.write((",".join(r) + "\r\n").encode("gbk"))

# ---- xlsx ------------------------------------------------------------------------------
def col(c):
    return "ABCD"[c]


strings = {}


def sst(text):
    return strings.setdefault(text, len(strings))


sheet = ['<?xml version="1.0" encoding="UTF-8" standalone="yes"?>',
         '<worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"><sheetData>']
for r, values in enumerate([titles] + data, start=1):
    cells = []
    for c, v in enumerate(values):
        if r > 1 and c == 3:
            cells.append(f'<c r="{col(c)}{r}"><v>{v}</v></c>')
        else:
            cells.append(f'<c r="{col(c)}{r}" t="s"><v>{sst(v)}</v></c>')
    sheet.append(f'<row r="{r}">' + "".join(cells) + "</row>")
sheet.append("</sheetData></worksheet>")
shared = ['<?xml version="1.0" encoding="UTF-8" standalone="yes"?>',
          f'<sst xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" uniqueCount="{len(strings)}">']
shared += [f"<si><t>{s}</t></si>" for s in strings]
shared.append("</sst>")
rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships"
with zipfile.ZipFile(prefix + ".xlsx", "w", zipfile.ZIP_DEFLATED) as z:
    z.writestr("[Content_Types].xml",
               '<?xml version="1.0" encoding="UTF-8"?><Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
               '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
               '<Default Extension="xml" ContentType="application/xml"/></Types>')
    z.writestr("_rels/.rels",
               '<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
               f'<Relationship Id="rId1" Type="{rel}/officeDocument" Target="xl/workbook.xml"/></Relationships>')
    z.writestr("xl/workbook.xml",
               '<?xml version="1.0" encoding="UTF-8"?><workbook xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" '
               f'xmlns:r="{rel}"><sheets><sheet name="工资" sheetId="1" r:id="rId1"/></sheets></workbook>')
    z.writestr("xl/_rels/workbook.xml.rels",
               '<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
               f'<Relationship Id="rId1" Type="{rel}/worksheet" Target="worksheets/sheet1.xml"/>'
               f'<Relationship Id="rId2" Type="{rel}/sharedStrings" Target="sharedStrings.xml"/></Relationships>')
    z.writestr("xl/worksheets/sheet1.xml", "".join(sheet))
    z.writestr("xl/sharedStrings.xml", "".join(shared))

if rows > 65535:
    sys.exit(0)

# ---- xls: BIFF8 records -----------------------------------------------------------------
def record(rtype, payload):
    return struct.pack("<HH", rtype, len(payload)) + payload


def unicode_string(text):
    raw = text.encode("utf-16-le")
    return struct.pack("<HB", len(text), 1) + raw


# The shared string table, cut into CONTINUE records of at most 8224 bytes; a string
# that does not fit goes on after an option byte.
sst_records = []
current = bytearray(struct.pack("<II", len(strings), len(strings)))
first = True
for s in strings:
    header = struct.pack("<HB", len(s), 1)
    chars = s.encode("utf-16-le")
    if len(current) + len(header) + 2 > 8224:
        sst_records.append((0x00FC if first else 0x003C, bytes(current)))
        first = False
        current = bytearray()
    current += header
    while chars:
        room = (8224 - len(current)) // 2 * 2
        if room <= 0:
            sst_records.append((0x00FC if first else 0x003C, bytes(current)))
            first = False
            current = bytearray(b"\x01")
            continue
        current += chars[:room]
        chars = chars[room:]
sst_records.append((0x00FC if first else 0x003C, bytes(current)))

bof_globals = record(0x0809, struct.pack("<HHHHII", 0x0600, 0x0005, 0, 0, 0, 0))
bof_sheet = record(0x0809, struct.pack("<HHHHII", 0x0600, 0x0010, 0, 0, 0, 0))
eof = record(0x000A, b"")
xfs = b"".join(record(0x00E0, struct.pack("<HHHBBBBIIH", 0, 0, 0xFFF5 if i < 15 else 1, 0x20, 0, 0, 0, 0, 0, 0x20C0))
               for i in range(16))
window1 = record(0x003D, struct.pack("<HHHHHHHHH", 0, 0, 0x4000, 0x2000, 0x38, 0, 0, 1, 0x258))
sst_bytes = b"".join(record(t, p) for t, p in sst_records)
name = "工资"
boundsheet_len = 4 + 4 + 8 + 2 * len(name)


def globals_with(offset):
    bs = record(0x0085, struct.pack("<IBB", offset, 0, 0) + struct.pack("<BB", len(name), 1) + name.encode("utf-16-le"))
    return bof_globals + record(0x0042, struct.pack("<H", 1200)) + window1 + xfs + bs + sst_bytes + eof


globals_part = globals_with(0)
globals_part = globals_with(len(globals_part))
cells = bytearray()
for r, values in enumerate([titles] + data):
    for c, v in enumerate(values):
        if r > 0 and c == 3:
            cells += record(0x0203, struct.pack("<HHHd", r, c, 15, float(v)))
        else:
            cells += record(0x00FD, struct.pack("<HHHI", r, c, 15, strings[v]))
workbook = globals_part + bof_sheet + bytes(cells) + eof

# ---- the compound file around it ----------------------------------------------------------
SECTOR = 512
if len(workbook) < 4096:
    workbook += b"\0" * (4096 - len(workbook))
wb_sectors = (len(workbook) + SECTOR - 1) // SECTOR
workbook += b"\0" * (wb_sectors * SECTOR - len(workbook))
dir_sectors = 1
entries_per_fat = SECTOR // 4
fat_sectors = 1
while (wb_sectors + dir_sectors + fat_sectors + entries_per_fat - 1) // entries_per_fat > fat_sectors:
    fat_sectors += 1
difat_sectors = 0
if fat_sectors > 109:
    difat_sectors = (fat_sectors - 109 + 126) // 127
    while (wb_sectors + dir_sectors + fat_sectors + difat_sectors + entries_per_fat - 1) // entries_per_fat > fat_sectors:
        fat_sectors += 1
        difat_sectors = (fat_sectors - 109 + 126) // 127
ENDOFCHAIN, FATSECT, DIFSECT, FREESECT = 0xFFFFFFFE, 0xFFFFFFFD, 0xFFFFFFFC, 0xFFFFFFFF
fat = []
for i in range(wb_sectors):
    fat.append(i + 1 if i + 1 < wb_sectors else ENDOFCHAIN)
dir_start = len(fat)
fat.append(ENDOFCHAIN)
fat_start = len(fat)
fat += [FATSECT] * fat_sectors
difat_start = len(fat)
fat += [DIFSECT] * difat_sectors
fat += [FREESECT] * (fat_sectors * entries_per_fat - len(fat))
fat_list = list(range(fat_start, fat_start + fat_sectors))


def dir_entry(ename, etype, start, size, child=FREESECT):
    n = ename.encode("utf-16-le") + b"\0\0"
    return (n.ljust(64, b"\0") + struct.pack("<HBB", len(n), etype, 1) + struct.pack("<III", FREESECT, FREESECT, child)
            + b"\0" * 16 + b"\0" * 4 + b"\0" * 16 + struct.pack("<IQ", start, size))


directory = dir_entry("Root Entry", 5, ENDOFCHAIN, 0, 1) + dir_entry("Workbook", 2, 0, len(workbook))
directory = directory.ljust(SECTOR, b"\0")
header = bytearray(b"\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1" + b"\0" * 16)
header += struct.pack("<HHHHH", 0x3E, 3, 0xFFFE, 9, 6) + b"\0" * 6
header += struct.pack("<IIIIIIIII", 0, fat_sectors, dir_start, 0, 4096, ENDOFCHAIN, 0,
                      difat_start if difat_sectors else ENDOFCHAIN, difat_sectors)
head = fat_list[:109] + [FREESECT] * (109 - min(109, len(fat_list)))
header += struct.pack("<109I", *head)
difat = bytearray()
rest = fat_list[109:]
for k in range(difat_sectors):
    chunk = rest[k * 127:(k + 1) * 127]
    chunk += [FREESECT] * (127 - len(chunk))
    nxt = difat_start + k + 1 if k + 1 < difat_sectors else ENDOFCHAIN
    difat += struct.pack("<128I", *(chunk + [nxt]))
with open(prefix + ".xls", "wb") as f:
    f.write(bytes(header))
    f.write(workbook)
    f.write(directory)
    f.write(struct.pack("<%dI" % len(fat), *fat))
    f.write(bytes(difat))
