#!/usr/bin/env python3
"""Fails when a text the tool can show is missing from the guides, or when
the IT staff's guide leaves out one of orvictl's commands, exit codes or JSON
fields.

Every wide string literal with Chinese characters or full-width punctuation in
the product sources (app/ register/ controls/ cli/ base/) is a text a user
sees: a report line, an error text, a message box, a label, an output line of
orvictl, or a piece of one that the code joins to others. Each line of it
(split at \\r\\n and \\n, surrounding spaces dropped) must appear verbatim in
the guide of the people who read it: orvictl's (cli/) in docs/管理员指南.md,
every other in docs/使用说明.md, so a new message cannot ship unexplained.

From cli/ the check also takes, so that a new one cannot ship unexplained
either, and each must be in docs/管理员指南.md:
- every command and option the command line compares an argument with
  (Equal(command, L"list"), Equal(argv[i], L"--json")): a command as
  "orvictl NAME", an option or another spelling of a command in a code span;
- every exit code (const int kExit... = N in cli/cli.h): a row "| N |" of the
  table below the heading that names orvictl's exit codes (退出码);
- every JSON field name (WriteJsonField(L"name", ...), WriteJsonBool, and
  "name": inside a literal) as "name" with its quotes.
Usage: check-guide.py [USER_GUIDE.md [IT_GUIDE.md]]"""
import pathlib
import re
import sys

root = pathlib.Path(__file__).resolve().parent.parent
guide = pathlib.Path(sys.argv[1]) if len(sys.argv) > 1 else root / 'docs' / '使用说明.md'
it_guide = pathlib.Path(sys.argv[2]) if len(sys.argv) > 2 else root / 'docs' / '管理员指南.md'

# Literals no user reads as text.
NOT_SHOWN = {
    '宋体',  # the font face the window asks for
}

# Comments and literals in one pass, so that neither is taken for the other.
TOKEN = re.compile(r'//[^\n]*|/\*.*?\*/|(\bL)?"((?:[^"\\\n]|\\.)*)"|\'(?:[^\'\\\n]|\\.)*\'', re.S)
CHINESE = re.compile(r'[\u3000-\u303f\u3400-\u9fff\uff00-\uffef]')
ESCAPES = {'n': '\n', 'r': '\r', 't': '\t', '\\': '\\', '"': '"', "'": "'", '0': ''}
# What orvictl's parser compares an argument with.
ARGUMENT = re.compile(r'Equal\(\s*(?:command|argv\[\w+\])\s*,\s*L"([^"]+)"\s*\)')
EXIT_CODE = re.compile(r'const\s+int\s+kExit\w+\s*=\s*(\d+)\s*;')
JSON_NAME = re.compile(r'WriteJson(?:Field|Bool)\(\s*L"(\w+)"')
JSON_IN_LITERAL = re.compile(r'\\"(\w+)\\":')


def unescape(body):
    return re.sub(r'\\(.)', lambda m: ESCAPES.get(m.group(1), m.group(0)), body)


def sources(folders):
    for folder in folders:
        for source in sorted((root / folder).glob('*.[ch]*')):
            yield source, source.read_text(encoding='utf-8')


def where(source, code, at):
    return f'{source.relative_to(root)}:{code.count(chr(10), 0, at) + 1}'


def shown_texts():
    for source, code in sources(('app', 'register', 'controls', 'cli', 'base')):
        for match in TOKEN.finditer(code):
            if not match.group(1):
                continue
            text = unescape(match.group(2))
            if not CHINESE.search(text) or text in NOT_SHOWN:
                continue
            for piece in re.split(r'\r\n|\n|\r', text):
                if piece.strip():
                    yield source.parent.name, where(source, code, match.start()), piece.strip()


def exit_code_rows(text):
    """The first column of the table below the heading of orvictl's exit codes."""
    rows, inside = set(), False
    for line in text.splitlines():
        if line.startswith('#'):
            inside = 'orvictl' in line and '退出码' in line
        elif inside and line.startswith('|'):
            rows.add(line.split('|')[1].strip())
    return rows


def cli_items(it_text):
    """(where, what, found) for each command, option, exit code and JSON field of cli/."""
    codes = exit_code_rows(it_text)
    for source, code in sources(('cli',)):
        for match in ARGUMENT.finditer(code):
            name = match.group(1)
            if re.fullmatch(r'[a-z]+', name):
                yield where(source, code, match.start()), f'the command "orvictl {name}"', f'orvictl {name}' in it_text
            else:
                yield where(source, code, match.start()), f'the option {name}', re.search(
                    r'`[^`\n]*' + re.escape(name) + r'[^`\n]*`', it_text) is not None
        for match in EXIT_CODE.finditer(code):
            yield where(source, code, match.start()), f'exit code {match.group(1)} in the table of orvictl\'s exit codes', \
                match.group(1) in codes
        for pattern in (JSON_NAME, JSON_IN_LITERAL):
            for match in pattern.finditer(code):
                yield where(source, code, match.start()), f'the JSON field "{match.group(1)}"', \
                    f'"{match.group(1)}"' in it_text


text = guide.read_text(encoding='utf-8')
it_text = it_guide.read_text(encoding='utf-8')
texts = list(shown_texts())
missing = [(place, piece, it_guide if folder == 'cli' else guide)
           for folder, place, piece in texts if piece not in (it_text if folder == 'cli' else text)]
for place, piece, where_missing in missing:
    print(f'{place}: not in {where_missing.name}: {piece}')
items = list(cli_items(it_text))
left_out = [(place, what) for place, what, found in items if not found]
for place, what in left_out:
    print(f'{place}: not in {it_guide.name}: {what}')
kinds = {what.split(' ')[1] for _, what, _ in items}
if not texts or not {'command', 'option', 'code', 'JSON'} <= kinds:
    print(f'nothing to check found in the sources: {len(texts)} texts, of orvictl {sorted(kinds)}')
    sys.exit(1)
print(f'guide check: {len(texts) - len(missing)} of {len(texts)} texts the tool shows are in {guide.name} '
      f'and {it_guide.name}; {len(items) - len(left_out)} of {len(items)} commands, options, exit codes and '
      f'JSON fields of orvictl are in {it_guide.name}')
sys.exit(1 if missing or left_out else 0)
