#!/usr/bin/env python3
"""Fails when a text the tool can show is missing from the user guide.

Every wide string literal with Chinese characters or full-width punctuation in
the product sources (app/ register/ controls/ cli/ base/) is a text a user
sees: a report line, an error text, a message box, a label, an output line of
orvictl, or a piece of one that the code joins to others. Each line of it
(split at \\r\\n and \\n, surrounding spaces dropped) must appear verbatim in
docs/使用说明.md, so a new message cannot ship unexplained.
Usage: check-guide.py [GUIDE.md]"""
import pathlib
import re
import sys

root = pathlib.Path(__file__).resolve().parent.parent
guide = pathlib.Path(sys.argv[1]) if len(sys.argv) > 1 else root / 'docs' / '使用说明.md'

# Literals no user reads as text.
NOT_SHOWN = {
    '宋体',  # the font face the window asks for
}

# Comments and literals in one pass, so that neither is taken for the other.
TOKEN = re.compile(r'//[^\n]*|/\*.*?\*/|(\bL)?"((?:[^"\\\n]|\\.)*)"|\'(?:[^\'\\\n]|\\.)*\'', re.S)
CHINESE = re.compile(r'[\u3000-\u303f\u3400-\u9fff\uff00-\uffef]')
ESCAPES = {'n': '\n', 'r': '\r', 't': '\t', '\\': '\\', '"': '"', "'": "'", '0': ''}


def unescape(body):
    return re.sub(r'\\(.)', lambda m: ESCAPES.get(m.group(1), m.group(0)), body)


def shown_texts():
    for folder in ('app', 'register', 'controls', 'cli', 'base'):
        for source in sorted((root / folder).glob('*.[ch]*')):
            code = source.read_text(encoding='utf-8')
            for match in TOKEN.finditer(code):
                if not match.group(1):
                    continue
                text = unescape(match.group(2))
                if not CHINESE.search(text) or text in NOT_SHOWN:
                    continue
                line = code.count('\n', 0, match.start()) + 1
                for piece in re.split(r'\r\n|\n|\r', text):
                    if piece.strip():
                        yield f'{source.relative_to(root)}:{line}', piece.strip()


text = guide.read_text(encoding='utf-8')
texts = list(shown_texts())
missing = [(where, piece) for where, piece in texts if piece not in text]
for where, piece in missing:
    print(f'{where}: not in {guide.name}: {piece}')
if not texts:
    print('no texts found in the sources')
    sys.exit(1)
print(f'guide check: {len(texts) - len(missing)} of {len(texts)} texts the tool shows are in {guide.name}')
sys.exit(1 if missing else 0)
