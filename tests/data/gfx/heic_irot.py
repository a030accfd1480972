# Writes a copy of a HEIC file whose primary picture carries an irot property (turned anti-clockwise by the
# angle given): usage heic_irot.py SOURCE DEST ANGLE. Python standard library only.
import struct, sys
src, dst, angle = sys.argv[1], sys.argv[2], int(sys.argv[3])
d = bytearray(open(src, "rb").read())
def boxes(buf, start, end):
    out = []; i = start
    while i < end:
        size, typ = struct.unpack(">I4s", buf[i:i+8]); out.append((i, size, typ.decode())); i += size
    return out
top = boxes(d, 0, len(d))
meta = [b for b in top if b[2] == "meta"][0]
inner = boxes(d, meta[0] + 12, meta[0] + meta[1])
iprp = [b for b in inner if b[2] == "iprp"][0]
iloc = [b for b in inner if b[2] == "iloc"][0]
pitm = [b for b in inner if b[2] == "pitm"][0]
primary = struct.unpack(">H", d[pitm[0]+12:pitm[0]+14])[0]
sub = boxes(d, iprp[0] + 8, iprp[0] + iprp[1])
ipco = [b for b in sub if b[2] == "ipco"][0]; ipma = [b for b in sub if b[2] == "ipma"][0]
nprops = len(boxes(d, ipco[0] + 8, ipco[0] + ipco[1]))
irot = struct.pack(">I4sB", 9, b"irot", angle // 90)
# ipma (version 0, flags 0): entry_count, then per entry item_ID(16), count(8), 1-byte associations
p = ipma[0] + 12; count = struct.unpack(">I", d[p:p+4])[0]; p += 4
ins_at = None
for _ in range(count):
    item, n = struct.unpack(">HB", d[p:p+3])
    if item == primary: ins_at = p + 3 + n; d[p+2] = n + 1
    p += 3 + n
assert d[ipma[0]+8] == 0 and d[ipma[0]+11] & 1 == 0
d[ins_at:ins_at] = bytes([0x80 | (nprops + 1)])  # essential
d[ipma[0]:ipma[0]+4] = struct.pack(">I", ipma[1] + 1)
pos = ipco[0] + ipco[1]
d[pos:pos] = irot
d[ipco[0]:ipco[0]+4] = struct.pack(">I", ipco[1] + 9)
grow = 10
d[iprp[0]:iprp[0]+4] = struct.pack(">I", iprp[1] + grow)
d[meta[0]:meta[0]+4] = struct.pack(">I", meta[1] + grow)
# iloc entries point at absolute offsets behind meta: shift them (iprp comes after iloc).
i = iloc[0] + 8; version = d[i]; i += 4
os_ls = d[i]; bo_is = d[i+1]; i += 2
osz, lsz, bsz = os_ls >> 4, os_ls & 15, bo_is >> 4
isz = bo_is & 15 if version in (1, 2) else 0
n = struct.unpack(">H", d[i:i+2])[0]; i += 2
def rd(at, sz): return int.from_bytes(d[at:at+sz], "big") if sz else 0
def wr(at, sz, v): d[at:at+sz] = v.to_bytes(sz, "big")
for _ in range(n):
    i += 2
    method = 0
    if version in (1, 2): method = d[i+1] & 15; i += 2
    i += 2  # data ref index
    base = rd(i, bsz)
    if bsz and method == 0: wr(i, bsz, base + grow)
    i += bsz
    ext = struct.unpack(">H", d[i:i+2])[0]; i += 2
    for _ in range(ext):
        i += isz
        off = rd(i, osz)
        if osz and not bsz and method == 0: wr(i, osz, off + grow)
        i += osz + lsz
open(dst, "wb").write(d)
