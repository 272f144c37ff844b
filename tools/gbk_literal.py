#!/usr/bin/env python3
"""Prints a C++ string literal holding the GBK bytes of each argument.

The program keeps its texts as GBK bytes; this writes them in a form every
compiler accepts whatever its execution character set.
Usage: tools/gbk_literal.py '请输入姓名：' ...
"""
import sys

HEX = set("0123456789abcdefABCDEF")


def literal(text: str) -> str:
    out, after_escape = [], False
    for byte in text.encode("gbk"):
        ch = chr(byte)
        if byte >= 0x80:
            out.append("\\x%02x" % byte)
            after_escape = True
            continue
        if after_escape and ch in HEX:
            out.append('" "')
        after_escape = False
        if ch in '"\\':
            out.append("\\" + ch)
        elif ch == "\t":
            out.append("\\t")
        elif ch == "\n":
            out.append("\\n")
        else:
            out.append(ch)
    return '"' + "".join(out) + '"'


for arg in sys.argv[1:]:
    print(literal(arg.encode().decode("unicode_escape").encode("latin-1").decode("utf-8")))
