#!/usr/bin/env python3
"""Makes a tree shaped like a real one for the benchmark: folders 1 to 12 levels deep, most of
them deep; folder sizes heavy-tailed (Pareto, alpha 1.1, 15 % empty); names of 5 to 60 bytes
with blanks, accents, Greek and CJK; files of 0 to 64 KB, mostly small. Fixed seed: every run
makes the same tree. Files are sparse (a truncate), so making it costs little more than the
inodes: it runs in every `make bench`.

usage: realistic-tree.py DIR      (BENCH_SCALE=0.1 scales folders and files)
"""

import os
import random
import sys
import time

FOLDERS = 56_250
FILES = 300_000
LARGEST = 9_300  # at scale 1; follows the Pareto law when scaled
ALPHA = 1.1
EMPTY = 0.15
DEPTH_WEIGHTS = [1, 2, 4, 7, 10, 13, 15, 15, 13, 10, 6, 4]  # depths 1 to 12: most are deep

LATIN = ("report photo holiday budget draft final notes scan invoice backup music track album "
         "video meeting slides project data export summer winter family garden house school "
         "letter contract old new copy version review plan archive misc papers receipts "
         "café été naïve Zürich año résumé façade crème São Kraków Ærø Øresund señor brûlée "
         "Ελλάδα φωτογραφία αρχείο Αθήνα σημειώσεις έκθεση ταξίδι μουσική "
         "写真 資料 東京 報告書 会議 旅行 音楽 北京 文件 照片 项目 数据").split()
EXTENSIONS = (["jpg"] * 10 + ["JPG"] * 3 + ["png"] * 4 + ["pdf"] * 5 + ["txt"] * 4 +
              ["md", "mp3", "mp3", "flac", "mp4", "mkv", "zip", "tar.gz", "docx", "xlsx", "odt",
               "c", "h", "py", "json", "log", "csv", "svg", "epub", "iso", "heic", "wav"])
SEPARATORS = [" ", " ", " ", "_", "-", " - ", "."]
# Tabulo's own outputs and the files it reads as descriptions: never a name of the tree.
RESERVED_PREFIXES = ("index", "desc.txt", "snap.gif", ".")


def clip(name, limit):
    """At most `limit` bytes of UTF-8, cut on a character's boundary."""
    raw = name.encode()
    if len(raw) <= limit:
        return name
    return raw[:limit].decode(errors="ignore").rstrip()


def make_name(rng, extension):
    words = [rng.choice(LATIN) for _ in range(rng.choice((1, 1, 2, 2, 3, 4, 6)))]
    if rng.random() < 0.4:
        words.append(str(rng.randrange(1, 10 ** rng.randrange(1, 5))))
    if rng.random() < 0.15:
        words.insert(0, f"{rng.randrange(1990, 2025)}-{rng.randrange(1, 13):02}-{rng.randrange(1, 29):02}")
    sep = rng.choice(SEPARATORS)
    stem = sep.join(words)
    suffix = "." + extension if extension else ""
    stem = clip(stem, 60 - len(suffix.encode()))
    while len(stem.encode()) + len(suffix.encode()) < 3:
        stem += "x"
    name = stem + suffix
    if name.lower().startswith(RESERVED_PREFIXES):
        name = "the " + name if len(name.encode()) <= 56 else "a" + name[1:]
    return name


def folder_sizes(rng, folders, files, largest):
    """Files per folder: 15 % empty, the rest Pareto-shaped (quantiles spread evenly, so the
    shape holds at every scale), capped at `largest`, summing to `files`."""
    full = folders - int(folders * EMPTY)
    raw = [(1.0 - (i + 0.5) / full) ** (-1.0 / ALPHA) for i in range(full)]

    def sized(scale):
        return [max(1, min(largest, round(scale * r))) for r in raw]

    low, high = 0.01, 100.0
    for _ in range(60):  # the scale whose sizes sum to `files`
        mid = (low + high) / 2
        if sum(sized(mid)) < files:
            low = mid
        else:
            high = mid
    sizes = sized(high)
    excess = sum(sizes) - files
    while excess > 0:  # trim folders of a few files, one file each
        before = excess
        for i, size in enumerate(sizes):
            if excess and 1 < size < largest:
                sizes[i] -= 1
                excess -= 1
        if excess == before:
            break
    sizes += [0] * (folders - full)
    rng.shuffle(sizes)
    return sizes


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: realistic-tree.py DIR   (BENCH_SCALE=0.1 for a smaller tree)")
    top = sys.argv[1]
    scale = float(os.environ.get("BENCH_SCALE", "1") or "1")
    if scale <= 0:
        sys.exit("BENCH_SCALE must be above 0")
    started = time.monotonic()
    rng = random.Random(20250)
    nfolders = max(len(DEPTH_WEIGHTS) + 1, round(FOLDERS * scale))
    nfiles = max(nfolders, round(FILES * scale))
    largest = max(10, round(LARGEST * scale ** (1 / ALPHA)))

    # Folders per depth, each level at least one so the deepest is 12.
    total_weight = sum(DEPTH_WEIGHTS)
    per_depth = [max(1, round((nfolders - 1) * w / total_weight)) for w in DEPTH_WEIGHTS]
    per_depth[DEPTH_WEIGHTS.index(max(DEPTH_WEIGHTS))] += nfolders - 1 - sum(per_depth)

    os.makedirs(top, exist_ok=True)
    paths = [top]
    level = [0]  # indices of the folders one level up
    names_in = [set()]
    for count in per_depth:
        # A few parents hold many subfolders, as in real trees.
        weights = [rng.paretovariate(1.5) for _ in level]
        parents = rng.choices(level, weights=weights, k=count)
        next_level = []
        for parent in parents:
            name = make_name(rng, None)
            while name in names_in[parent]:
                name = clip(name, 54) + f" ({rng.randrange(2, 999)})"
            names_in[parent].add(name)
            path = os.path.join(paths[parent], name)
            os.mkdir(path)
            next_level.append(len(paths))
            paths.append(path)
            names_in.append(set())
        level = next_level

    sizes = folder_sizes(rng, len(paths), nfiles, largest)
    now = time.time()
    flags = os.O_WRONLY | os.O_CREAT | os.O_EXCL | os.O_CLOEXEC
    files = 0
    for index, path in enumerate(paths):
        taken = names_in[index]
        for _ in range(sizes[index]):
            name = make_name(rng, rng.choice(EXTENSIONS))
            while name in taken:
                stem, dot, ext = name.rpartition(".")
                name = f"{clip(stem, 48)} {rng.randrange(2, 99999)}{dot}{ext}"
            taken.add(name)
            fd = os.open(os.path.join(path, name), flags, 0o644)
            try:
                size = int(65536 * rng.random() ** 6)  # mostly small, up to 64 KB
                if size:
                    os.ftruncate(fd, size)
                stamp = now - 86400 * 3650 * rng.random() ** 2
                os.utime(fd, (stamp, stamp))
            finally:
                os.close(fd)
            files += 1
        names_in[index] = None
    print(f"realistic tree: {len(paths)} folders, {files} files, largest folder {max(sizes)} files, "
          f"depth {len(per_depth)}, made in {time.monotonic() - started:.1f} s")


if __name__ == "__main__":
    main()
