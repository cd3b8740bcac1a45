"""Deterministic data sets of the benchmark and the changes of each round.

  datagen.py tree DIR             (a) 2,000 files of 50 KB in nested folders, half text-like,
                                      half random (about 100 MB)
  datagen.py tree-round DIR R     round R of (a): 20 files overwritten in place, 5 appended to,
                                      2 added, 2 deleted
  datagen.py big FILE             (b) one 256 MB file, text-like and random megabytes alternating
  datagen.py big-round FILE R     round R of (b): 10 small scattered overwrites, one 12 KB insertion

Every byte and every modification time follows from the arguments alone, so each run of the
benchmark sees the same data. (c), the compound document, is written by crnbench.exe.
"""
import os
import random
import sys

KB = 1024
MB = 1024 * KB
FILE_SIZE = 50 * KB
FOLDERS = [("d%d" % top, "s%d" % sub) for top in range(4) for sub in range(5)]
FILES_PER_FOLDER = 100
BIG_SIZE = 256 * MB
BASE_TIME = 1_700_000_000  # modification times of the generated files

WORDS = [w.encode() for w in (
    "archive snapshot revision folder stream the of and record content change older newest history "
    "difference a to is file document in for that with on as by it this be are from at or an was "
    "which we can not all were when there been has more if will one would each about how up out them "
    "then she many some so these would other into has her two like him see time could no make than "
    "first been its who now people my made over did down only way find use may water long little very "
    "after words called just where most know get through back much before go good new write our used "
    "me man too any day same right look think also around another came come work three word must "
    "because does part even place well such here take why things help put years different away again "
    "off went old number great tell men say small every found still between name should home big give "
    "air line set own under read last never us left end along while might next sound below saw "
    "something thought both few those always looked show large often together asked house don't world "
    "going want school important until form food keep children feet land side without boy once animals "
    "life enough took sometimes four head above kind began almost live page got earth need far hand "
    "high year mother light parts country father let night following picture being study second eyes "
    "soon times story boys since white days ever paper hard near sentence better best across during "
    "today others however sure means knew it's try told young miles sun ways thing whole hear example "
    "heard several change answer room sea against top turned learn point city play toward five using "
    "himself usually").split()]


def text_bytes(rng, size):
    """Words of a fixed vocabulary separated by spaces and, now and then, line ends."""
    out = bytearray()
    words = WORDS
    n = len(words)
    while len(out) < size:
        picks = rng.randbytes(4096)
        line = b" ".join(words[b % n] for b in picks)
        out += line.replace(b" the ", b"\nthe ", 1) if picks[0] & 1 else line
        out += b"\n"
    return bytes(out[:size])


def content(rng, size, text):
    return text_bytes(rng, size) if text else rng.randbytes(size)


def set_time(path, seconds):
    os.utime(path, (seconds, seconds))


def tree_files(root):
    for i, (top, sub) in enumerate(FOLDERS):
        for f in range(FILES_PER_FOLDER):
            yield i * FILES_PER_FOLDER + f, os.path.join(root, top, sub, "f%03d.%s" % (f, "txt" if f % 2 == 0 else "bin"))


def make_tree(root):
    for n, path in tree_files(root):
        os.makedirs(os.path.dirname(path), exist_ok=True)
        rng = random.Random(n)
        with open(path, "wb") as out:
            out.write(content(rng, FILE_SIZE, path.endswith(".txt")))
        set_time(path, BASE_TIME)


def tree_round(root, r):
    rng = random.Random(10_000 + r)
    stamp = BASE_TIME + r * 3600
    files = [path for _, path in tree_files(root) if os.path.exists(path)]
    chosen = rng.sample(files, 27)
    for path in chosen[:20]:  # small overwrites in place
        size = os.path.getsize(path)
        at = rng.randrange(0, size - 100)
        with open(path, "r+b") as f:
            f.seek(at)
            f.write(content(rng, 100, path.endswith(".txt")))
        set_time(path, stamp)
    for path in chosen[20:25]:  # appended to
        with open(path, "ab") as f:
            f.write(content(rng, KB, path.endswith(".txt")))
        set_time(path, stamp)
    for path in chosen[25:27]:
        os.remove(path)
    for k in range(2):
        top, sub = FOLDERS[rng.randrange(len(FOLDERS))]
        path = os.path.join(root, top, sub, "new%02d_%d.%s" % (r, k, "txt" if k == 0 else "bin"))
        with open(path, "wb") as out:
            out.write(content(rng, FILE_SIZE, k == 0))
        set_time(path, stamp)


def make_big(path):
    with open(path, "wb") as out:
        for m in range(BIG_SIZE // MB):
            out.write(content(random.Random(100_000 + m), MB, m % 2 == 0))
    set_time(path, BASE_TIME)


def big_round(path, r):
    rng = random.Random(20_000 + r)
    with open(path, "r+b") as f:
        size = os.fstat(f.fileno()).st_size
        for _ in range(10):
            at = rng.randrange(0, size - 256)
            f.seek(at)
            f.write(rng.randbytes(rng.randrange(16, 256)))
        at = rng.randrange(0, size)
        f.seek(at)
        tail = f.read()
        f.seek(at)
        f.write(text_bytes(rng, 12 * KB))
        f.write(tail)
    set_time(path, BASE_TIME + r * 3600)


def main(argv):
    command, target = argv[1], argv[2]
    if command == "tree":
        make_tree(target)
    elif command == "tree-round":
        tree_round(target, int(argv[3]))
    elif command == "big":
        make_big(target)
    elif command == "big-round":
        big_round(target, int(argv[3]))
    else:
        sys.exit("datagen.py: unknown command " + command)


if __name__ == "__main__":
    main(sys.argv)
