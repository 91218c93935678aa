#!/usr/bin/env python3
"""Writes the binary korvplus form of a text database.

The text form holds the same words as the binary one, as decimal integers separated by white
space: item ids, -1 after each event, -2 after each sequence. Lines carry no meaning, but one
sequence per line reads best. Usage: encode_sequences.py small.txt small.bin
"""
import struct
import sys


def main() -> None:
    if len(sys.argv) != 3:
        sys.exit("usage: encode_sequences.py input.txt output.bin")
    with open(sys.argv[1], encoding="ascii") as text:
        words = [int(token) for token in text.read().split()]
    with open(sys.argv[2], "wb") as binary:
        binary.write(struct.pack("<%di" % len(words), *words))


if __name__ == "__main__":
    main()
