"""orvoaes beside cryptography in one Python process: AESGCM.encrypt per call at 64 B and 1 KiB,
throughput at 16 KiB and 1 MiB, AESGCMSIV at 16 KiB, encrypt beside encrypt_into into a buffer
made once (what making the result costs), GCM's two halves (counter mode, GHASH) on each side,
and two threads of 16 MiB each against the same work
done serially.

Each figure is the median of ROUNDS rounds, ours and theirs alternating, so both see the same
machine. Two clocks: wall time, and the CPU time of the calling thread (time.thread_time),
which a machine shared with other work disturbs much less; the ratios are given for both. The
two-thread rows can only use wall time: on a loaded machine the threads wait for a core.

    PYTHONPATH=build/release/python /root/.pyenv/versions/3.11.7/bin/python3 bench/python_vs_cryptography.py
"""
import os
import statistics
import sys
import threading
import time

import cryptography
import orvoaes
from cryptography.hazmat.primitives.ciphers import Cipher, aead, algorithms, modes

ROUNDS = int(os.environ.get("BENCH_ROUNDS", "11"))
CLOCKS = (time.perf_counter, time.thread_time)


def batch(f, budget=0.02):
    """Calls of f in about budget seconds."""
    n = 1
    while True:
        t = time.perf_counter()
        for _ in range(n):
            f()
        if time.perf_counter() - t > budget:
            return n
        n *= 2


def time_once(f, n):
    """Seconds per call of n calls of f: (wall, CPU of this thread)."""
    w, c = time.perf_counter(), time.thread_time()
    for _ in range(n):
        f()
    return (time.perf_counter() - w) / n, (time.thread_time() - c) / n


def alternate(fs):
    """Median (wall, CPU) seconds per call of each function in fs, timed in turn ROUNDS times."""
    ns = [batch(f) for f in fs]
    runs = [[] for _ in fs]
    for _ in range(ROUNDS):
        for f, n, r in zip(fs, ns, runs):
            r.append(time_once(f, n))
    return [tuple(statistics.median(x[k] for x in r) for k in (0, 1)) for r in runs]


def figure(seconds, size):
    return f"{seconds * 1e9:.0f} ns" if size <= 1024 else f"{size / seconds / 1e9:.2f} GB/s"


def compare(make_ours, make_theirs, size):
    key, nonce, data = os.urandom(32), os.urandom(12), os.urandom(size)
    ours, theirs = make_ours(key), make_theirs(key)
    assert ours.encrypt(nonce, data, None) == theirs.encrypt(nonce, data, None)
    return alternate([lambda: ours.encrypt(nonce, data, None), lambda: theirs.encrypt(nonce, data, None)])


def two_threads(g, size=16 << 20):
    inputs, nonce = [os.urandom(size), os.urandom(size)], os.urandom(12)
    serial, threaded = [], []
    for _ in range(ROUNDS):
        t = time.perf_counter()
        for d in inputs:
            g.encrypt(nonce, d, None)
        serial.append(time.perf_counter() - t)
        threads = [threading.Thread(target=g.encrypt, args=(nonce, d, None)) for d in inputs]
        t = time.perf_counter()
        for th in threads:
            th.start()
        for th in threads:
            th.join()
        threaded.append(time.perf_counter() - t)
    return statistics.median(serial), statistics.median(threaded), min(serial), min(threaded)


def main():
    print(f"Python {sys.version.split()[0]}, cryptography {cryptography.__version__}, orvoaes {orvoaes.__version__}; "
          f"load average {os.getloadavg()[0]:.2f}; median of {ROUNDS} rounds")
    print()
    print("| AES-256-GCM encrypt | orvoaes (wall) | cryptography (wall) | ratio, wall | ratio, CPU time |")
    print("|---|---|---|---|---|")
    rows = [(f"{size} B, per call" if size <= 1024 else f"{size // 1024} KiB", aead.AESGCM, orvoaes.AESGCM, size)
            for size in (64, 1024, 16384, 1 << 20)]
    if hasattr(aead, "AESGCMSIV"):
        rows.append(("AES-256-GCM-SIV 16 KiB", aead.AESGCMSIV, orvoaes.AESGCMSIV, 16384))
    for name, theirs, ours, size in rows:
        (ow, oc), (tw, tc) = compare(ours, theirs, size)
        print(f"| {name} | {figure(ow, size)} | {figure(tw, size)} | {tw / ow:.2f} | {tc / oc:.2f} |")
    print()
    print("(ratio: cryptography's time over ours; above 1, ours is faster)")
    print()
    print("| orvoaes.AESGCM | encrypt (new bytes) | encrypt_into (a buffer made once) | into / encrypt, CPU time |")
    print("|---|---|---|---|")
    g = orvoaes.AESGCM(os.urandom(32))
    nonce = os.urandom(12)
    for size in (64, 1024, 16384, 1 << 20):
        data, buf = os.urandom(size), bytearray(size + 16)
        (ew, ec), (iw, ic) = alternate([lambda: g.encrypt(nonce, data, None),
                                        lambda: g.encrypt_into(nonce, data, None, buf)])
        print(f"| {size} B | {figure(ec, size)} | {figure(ic, size)} | {ic / ec:.2f} |")
    print()
    print("GCM's two halves, 16 KiB, CPU time: counter mode alone (AESCTR / Cipher CTR), GHASH alone")
    print("(AESGCM with the 16 KiB as associated data and no plain text), and the whole.")
    print()
    print("| 16 KiB, AES-256 | orvoaes | cryptography | ratio |")
    print("|---|---|---|---|")
    key, nonce, data = os.urandom(32), os.urandom(12), os.urandom(16384)
    ctr_iv = nonce + bytes(4)
    ctr_ours = orvoaes.AESCTR(key)
    # (theirs: one encryptor made once and fed on, whose counter runs on; making one per call
    # would time its set-up)
    ctr_theirs = Cipher(algorithms.AES(key), modes.CTR(ctr_iv)).encryptor()
    assert ctr_ours.encrypt(ctr_iv, data) == ctr_theirs.update(data)
    go, gt = orvoaes.AESGCM(key), aead.AESGCM(key)
    halves = (
        ("counter mode", lambda: ctr_ours.encrypt(ctr_iv, data), lambda: ctr_theirs.update(data)),
        ("GHASH (GMAC)", lambda: go.encrypt(nonce, b"", data), lambda: gt.encrypt(nonce, b"", data)),
        ("GCM", lambda: go.encrypt(nonce, data, None), lambda: gt.encrypt(nonce, data, None)),
    )
    for name, fo, ft in halves:
        (_, oc), (_, tc) = alternate([fo, ft])
        print(f"| {name} | {figure(oc, 16384)} | {figure(tc, 16384)} | {tc / oc:.2f} |")
    print()
    print("| 2 x 16 MiB AES-256-GCM | serial | two threads | threads / serial (median) | best of each |")
    print("|---|---|---|---|---|")
    for name, cls in (("orvoaes", orvoaes.AESGCM), ("cryptography", aead.AESGCM)):
        s, p, bs, bp = two_threads(cls(os.urandom(32)))
        print(f"| {name} | {s * 1e3:.1f} ms | {p * 1e3:.1f} ms | {p / s:.2f} | {bp / bs:.2f} |")
    print()
    print(f"load average after: {os.getloadavg()[0]:.2f}")


if __name__ == "__main__":
    main()
