#!/usr/bin/env python3
"""Writes the benchmark tree: 2000 files, about 100 MB, in 17 directories two levels
deep. Czech prose in windows-1250 (or, with --encoding utf-8, in UTF-8) with CR LF, LF
and CR line ends, a few lines of 20,000 characters, the search word in three letter
cases about once every fifty words, and one binary file in a hundred. The same seed
always gives the same bytes.

    python3 bench/corpus.py [--encoding cp1250|utf-8] DIR

The search word is kocour in windows-1250 and žížala in UTF-8, so that the UTF-8 tree
is searched for two-byte letters."""

import argparse
import os
import random

# The word each encoding's tree is searched for.
WORDS = {"cp1250": "kocour", "utf-8": "žížala"}
FILES = 2000
TOTAL_BYTES = 100 * 1000 * 1000

VOCABULARY = (
    "příliš žluťoučký kůň úpěl ďábelské ódy a když se večer vrátil domů řekl že "
    "zítra půjdeme spolu na procházku podél řeky kde rostou vysoké stromy a "
    "na louce se pasou krávy v údolí stojí starý mlýn jehož kolo se točí už "
    "sto let děti běží ze školy a smějí se slunce svítí na střechy domů "
    "babička peče koláče s tvarohem a povidly dědeček čte noviny v křesle "
    "vítr šumí v korunách lip čeká nás dlouhá zima plná sněhu a mrazu"
).split()


def sentence(rng, words, word):
    out = []
    for _ in range(words):
        if rng.randrange(50) == 0:
            out.append(rng.choice((word, word.capitalize(), word.upper())))
        else:
            out.append(rng.choice(VOCABULARY))
    return " ".join(out)


def text_file(rng, size, encoding):
    word = WORDS[encoding]
    ending = rng.choice((b"\r\n", b"\n", b"\r"))
    parts = []
    written = 0
    while written < size:
        if rng.randrange(400) == 0:
            line = sentence(rng, 3000, word)[:20000]
        else:
            line = sentence(rng, rng.randrange(4, 16), word)
        data = line.encode(encoding) + ending
        parts.append(data)
        written += len(data)
    return b"".join(parts)


def binary_file(rng, size):
    # Bytes with NULs throughout, and never the search word.
    return bytes(rng.randrange(0, 200) for _ in range(size))


def directories():
    dirs = [""]
    for a in range(4):
        dirs.append(f"oddil{a}")
        for b in range(3):
            dirs.append(f"oddil{a}/cast{b}")
    return dirs  # the root, 4 and 12 below: 17


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--encoding", choices=sorted(WORDS), default="cp1250")
    parser.add_argument("root", nargs="?", default="corpus")
    args = parser.parse_args()
    root = args.root
    rng = random.Random(20261210)
    dirs = directories()
    for d in dirs:
        os.makedirs(os.path.join(root, d), exist_ok=True)
    average = TOTAL_BYTES // FILES
    for i in range(FILES):
        size = int(average * rng.uniform(0.2, 1.8))
        if i % 100 == 50:
            data = binary_file(rng, min(size, 20000))
            name = f"data{i:04d}.bin"
        else:
            data = text_file(rng, size, args.encoding)
            name = f"text{i:04d}.txt"
        path = os.path.join(root, dirs[i % len(dirs)], name)
        with open(path, "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
