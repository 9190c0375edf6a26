#!/usr/bin/env python3
"""Table of scripts/bench-arm64.sh: instructions per pixel per operation for
libmira and its peers, the ratio to the best peer, llvm-mca cycles per pixel
of the hot loops, and (--check) the comparison with bench/targets-arm64.txt."""
import argparse, bisect, collections, os, re, subprocess, sys

ap = argparse.ArgumentParser()
ap.add_argument('--calls', type=int, required=True)
ap.add_argument('--cases', required=True)
ap.add_argument('--marks', required=True)
ap.add_argument('--objdump', default='aarch64-linux-gnu-objdump')
ap.add_argument('--nm', default='aarch64-linux-gnu-nm')
ap.add_argument('--mca', default='llvm-mca-14')
ap.add_argument('--targets')
ap.add_argument('--check', action='store_true')
ap.add_argument('--no-mca', action='store_true')
a = ap.parse_args()

cases, libs = {}, []
for line in open(a.cases):
    f = line.split()
    if f and f[0] == 'case':
        cases[int(f[1])] = dict(op=f[2], size=f[3], impl=f[4], pixels=float(f[5]))
    elif f and f[0] == 'lib':
        libs.append((int(f[2], 16), f[1]))
libs.sort()
marks = collections.defaultdict(dict)
blocks = collections.defaultdict(list)
for line in open(a.marks):
    f = line.split()
    if f[0] == 'mark':
        marks[int(f[1])][int(f[2])] = int(f[3])
    elif f[0] == 'block':
        blocks[int(f[1])].append((int(f[2], 16), int(f[3]), int(f[4])))

# One call: (N calls - 1 call) / (N - 1), both counted from the case's start.
per_call = {}
for i, c in cases.items():
    m = marks.get(i, {})
    if 2 in m and 10 in m:
        per_call[i] = (m[2] - m[10]) / (a.calls - 1) - 2 * 0  # marks cost a handful of instructions
        c['ipp'] = per_call[i] / c['pixels']

# --- hot loops through llvm-mca -------------------------------------------
symtabs = {}
def symbols(path):
    """Sorted (address, size, name) of a shared object's functions."""
    if path not in symtabs:
        rows = []
        for dyn in ([], ['-D']):
            try:
                out = subprocess.run([a.nm, '-S', '-C', '--defined-only'] + dyn + [path],
                                     capture_output=True, text=True).stdout
            except OSError:
                out = ''
            for line in out.splitlines():
                f = line.split(None, 3)
                if len(f) == 4 and f[2] in 'tTwW':
                    rows.append((int(f[0], 16), int(f[1], 16), f[3]))
            if rows:
                break
        rows.sort()
        symtabs[path] = rows
    return symtabs[path]

def locate(pc):
    k = bisect.bisect_right([b for b, _ in libs], pc) - 1
    if k < 0:
        return None
    base, path = libs[k]
    off = pc - base
    syms = symbols(path)
    j = bisect.bisect_right([s[0] for s in syms], off) - 1
    if j < 0 or not (syms[j][0] <= off < syms[j][0] + max(syms[j][1], 1)):
        return None
    return path, off, syms[j][2]

insn_re = re.compile(r'^\s*([0-9a-f]+):\s+(?:[0-9a-f]{8}\s+)?(\S.*)$')
def loop_body(path, off, n):
    """The block's instructions when it is a loop of its own (its last
    instruction branches back to its first), else None."""
    out = subprocess.run([a.objdump, '-d', '--no-show-raw-insn', f'--start-address={off:#x}',
                          f'--stop-address={off + 4 * n:#x}', path],
                         capture_output=True, text=True).stdout
    ins = []
    for line in out.splitlines():
        m = insn_re.match(line)
        if m:
            ins.append((int(m.group(1), 16), m.group(2).split('//')[0].split('<')[0].strip()))
    if len(ins) != n:
        return None
    last = ins[-1][1]
    m = re.match(r'^(b\.\w+|b|cbn?z|tbn?z)\s+(.*?)([0-9a-f]+)\s*$', last)
    if not m or int(m.group(3), 16) != off:
        return None
    body = [t for _, t in ins[:-1]]
    body.append(f'{m.group(1)} {m.group(2)}.Lloop'.replace(', .Lloop', ', .Lloop'))
    return ['.Lloop:'] + body

mca_cache = {}
def mca_cycles(body, cpu):
    key = (tuple(body), cpu)
    if key not in mca_cache:
        r = subprocess.run([a.mca, '-mtriple=aarch64', f'-mcpu={cpu}', '-iterations=200'],
                           input='\n'.join(body) + '\n', capture_output=True, text=True)
        m = re.search(r'Total Cycles:\s+(\d+)', r.stdout)
        mca_cache[key] = int(m.group(1)) / 200 if m else None
    return mca_cache[key]

def hot_loops(i):
    """cycles/pixel on (cortex-a55, neoverse-n2), the share of the call's
    instructions they cover, and the symbols, from the self-looping hot blocks
    holding at least 5% of the profiled call's instructions."""
    if a.no_mca or i not in per_call:
        return None
    total = marks[i][11] - marks[i][10]
    c55 = cn2 = covered = 0.0
    names = []
    for pc, n, runs in blocks.get(i, []):
        if n * runs < 0.05 * total:
            continue
        where = locate(pc)
        if not where:
            continue
        body = loop_body(where[0], where[1], n)
        if not body:
            continue
        x, y = mca_cycles(body, 'cortex-a55'), mca_cycles(body, 'neoverse-n2')
        if x is None or y is None:
            continue
        c55 += x * runs
        cn2 += y * runs
        covered += n * runs
        name = where[2].split('(')[0]
        if name not in names:
            names.append(name)
    if not covered:
        return None
    px = cases[i]['pixels']
    return c55 / px, cn2 / px, covered / total, names

# --- table ------------------------------------------------------------------
rows = collections.OrderedDict()
for i, c in sorted(cases.items()):
    rows.setdefault((c['op'], c['size']), {})[c['impl']] = i

def fmt(x, w=6, p=2):
    return f'{x:{w}.{p}f}' if x is not None else f'{"-":>{w}s}'

print(f"{'operation':26s} {'size':10s} {'mira':>6s} {'libyuv':>6s} {'opencv':>6s} {'ratio':>6s} "
      f"{'A55':>5s} {'N2':>5s} {'loops':>5s}  hot loops (libmira)        instr./pixel; cycles/pixel")
ratios = {}
for (op, size), impls in rows.items():
    if 'mira' not in impls or 'ipp' not in cases[impls['mira']]:
        continue
    ours = cases[impls['mira']]['ipp']
    peers = {k: cases[v].get('ipp') for k, v in impls.items() if k != 'mira'}
    peers = {k: v for k, v in peers.items() if v}
    best = min(peers.values()) if peers else None
    r = ours / best if best else None
    ratios[(op, size)] = (r, ours, peers)
    hl = hot_loops(impls['mira'])
    a55, n2, cover, names = hl if hl else (None, None, None, [])
    print(f"{op:26s} {size:10s} {fmt(ours)} {fmt(peers.get('libyuv'))} {fmt(peers.get('opencv'))} "
          f"{fmt(r)} {fmt(a55, 5)} {fmt(n2, 5)} {(f'{cover*100:4.0f}%' if cover else '    -')}  "
          f"{' '.join(n[:40] for n in names[:2])}")
for (op, size), impls in rows.items():
    for impl, i in impls.items():
        if impl != 'mira' and 'ipp' in cases[i]:
            hl = hot_loops(i)
            if hl:
                print(f"  peer {op:24s} {size:10s} {impl:7s} A55 {hl[0]:6.2f} N2 {hl[1]:6.2f} "
                      f"cycles/pixel ({hl[2]*100:.0f}% of its instructions): {' '.join(n[:40] for n in hl[3][:2])}")

if not a.check:
    sys.exit(0)
over, missing = [], []
print()
print(f"{'operation':26s} {'size':10s} {'peer':7s} {'ratio':>6s} {'target':>6s} {'today':>6s}")
for line in open(a.targets):
    f = line.split('#')[0].split()
    if len(f) != 5:
        continue
    op, size, peer, limit, today = f[0], f[1], f[2], float(f[3]), float(f[4])
    if (op, size) not in ratios:
        missing.append(f'{op} {size}')
        continue
    r, ours, peers = ratios[(op, size)]
    if peer != 'best':
        r = ours / peers[peer] if peer in peers else None
    if r is None:
        missing.append(f'{op} {size} {peer}')
        continue
    # Counts are deterministic; 2% (and half the recorded rounding) allows
    # for small changes of the peers' code paths, not for slower kernels.
    flags = []
    if r > limit:
        flags.append('OVER TARGET')
    if r > today * 1.02 + 0.005:
        flags.append('WORSE THAN RECORDED')
    print(f"{op:26s} {size:10s} {peer:7s} {r:6.2f} {limit:6.2f} {today:6.2f}  {' '.join(flags)}")
    if flags:
        over.append(f"{op} {size} vs {peer}: {r:.2f} (target {limit:.2f}, recorded {today:.2f})")
print()
if over:
    print(f"{len(over)} row(s) over target or worse than recorded:")
    for o in over:
        print('  ' + o)
else:
    print('every row meets its target')
if missing:
    print(f"{len(missing)} target(s) without a measured row: " + ', '.join(missing))
sys.exit(1 if over or missing else 0)
