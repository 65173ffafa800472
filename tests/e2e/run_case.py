#!/usr/bin/env python3
"""Runs one end-to-end case file of velkor and murelpage-sim; status 0 passed, 1 failed, 77 skipped.

Usage: run_case.py --velkor BIN --sim BIN --source DIR [--emulator CMD] [--version V] CASE.test

Lines of a case file, top to bottom ("# text": a comment; LABELS:, RESOURCE_LOCK: for CMake):
  REQUIRES: non-root | private-shm | no-default-page   the rest runs only when it holds (the last:
                          no "/murelpage" nor "/murelpage-lock" exists; the run removes them)
  FILE: PATH              a text file of the lines that follow, each behind "> " (">" alone: empty)
  BLOCK: PATH FROM [@OFFSET=HEX]... [pad=SIZE:HEX] [size=SIZE] [crc] [badcrc]
                          a binary file from a file or "zero" (2036 zero bytes), the words applied
                          in order (badcrc: the valid CRC with its lowest bit flipped)
  RUN: [NAME=VALUE]... PROGRAM ARGUMENT...   words as in sh without expansions; MUREL_PAGE and
                          MUREL_PAGELOCK unset unless given; %{A|B} runs once per alternative
  checks of the last RUN (default: status 0, no output): OUT: / ERR: TEXT (one more line),
  OUT-FILE: PATH, OUT-HEX: PATH ("%08X: " and 32 bytes a row), OUT-DUMP: DESC BLOCK [little]
  (the verbose dump of the entries DESC lists), JSON: TEXT (stdout is the JSON document of these
  lines), FAIL: TEXT (a line of stderr, status 1), OPTION-ERROR: TEXT ("velkor: TEXT", the --help
  line, status 1); of files: CMP: PATH PATH (same bytes), ABSENT: PATH.
Placeholders: %t scratch directory, %S source tree, %sample and %desc the examples' block and
description, %page %lock %shm{TAG} unique shared-memory names (removed after the run), %P for
"--page=%page --pagelock=%lock", %TAB, %x{HH} the byte HH, %velkor %sim the programs for a shell
command, %version, %%; then %hex{PATH} the file's bytes as upper-case hex.
"""
import argparse, json, os, pathlib, re, shlex, shutil, subprocess, sys, tempfile

PLACEHOLDER = re.compile(r'%(?:shm\{(\w+)\}|x\{([0-9A-F]{2})\}|'
                         r'(sample|desc|page|lock|TAB|velkor|sim|version|P|S|t|%))')


def block_crc(block):
    crc = 0xFFFFFFFF
    for byte in block[4:2032]:
        crc ^= byte << 24
        for _ in range(8):
            crc = ((crc << 1) ^ 0x04C11DB7 if crc & 0x80000000 else crc << 1) & 0xFFFFFFFF
    return crc ^ 0xFFFFFFFF ^ int.from_bytes(block[2032:2036], 'big')


def hex_rows(data):
    return ''.join(f'{i:08X}: ' + data[i:i + 32].hex().upper() + '\n'
                   for i in range(0, len(data), 32))


def verbose_dump(description, block, order='big'):
    sizes = {'INT8': 1, 'UINT8': 1, 'INT16': 2, 'UINT16': 2, 'INT32': 4, 'UINT32': 4,
             'INT64': 8, 'UINT64': 8}
    lines = ''
    for line in open(description, encoding='utf-8'):
        address, group, entry, kind, count = (line.split() + [''] * 5)[:5]
        if kind in sizes and not line.startswith('#'):
            at, size = int(address, 16), sizes[kind]
            elements = [block[at + i * size:at + (i + 1) * size] for i in range(int(count))]
            lines += f'{group}.{entry}=' + ''.join(
                (e if order == 'little' else e[::-1]).hex().upper() for e in elements) + '\n'
    return lines


class Case:
    def __init__(self, args):
        self.args, self.failures = args, []
        self.name = os.path.splitext(os.path.basename(args.case))[0]
        self.scratch = tempfile.mkdtemp(prefix=f'velkor-case-{self.name}-')
        self.shm = {}

    def shm_name(self, tag):
        return self.shm.setdefault(tag, f'/velkor-case-{self.name}-{os.getpid()}-{tag}')

    def expand(self, text):
        def one(m):
            key = m.group(3)
            if m.group(1):
                return self.shm_name(m.group(1))
            if m.group(2):  # bytes above 127 as the surrogates that stand for them in file names
                byte = int(m.group(2), 16)
                return chr(byte if byte < 0x80 else 0xDC00 + byte)
            program = {'velkor': self.args.velkor, 'sim': self.args.sim}.get(key)
            if program:
                return ' '.join(self.args.emulator + [program])
            return {'t': self.scratch, 'S': self.args.source, '%': '%', 'TAB': '\t',
                    'version': self.args.version,
                    'sample': f'{self.args.source}/examples/adjust-block.bin',
                    'desc': f'{self.args.source}/examples/adjust-block.txt',
                    'page': self.shm_name('page'), 'lock': self.shm_name('lock'),
                    'P': f'--page={self.shm_name("page")} --pagelock={self.shm_name("lock")}'}[key]
        return re.sub(r'%hex\{([^}]*)\}', lambda m: open(m.group(1), 'rb').read().hex().upper(),
                      PLACEHOLDER.sub(one, text))

    def unmet(self, condition):
        if condition == 'non-root':
            return os.geteuid() == 0
        if condition == 'private-shm':
            return not shutil.which('unshare') or subprocess.run(
                ['unshare', '--map-root-user', '--mount', 'sh', '-c',
                 'mount -t tmpfs tmpfs /dev/shm'], capture_output=True).returncode != 0
        if condition == 'no-default-page':
            return any(os.path.exists(f'/dev/shm{name}')
                       for name in ('/murelpage', '/murelpage-lock'))
        raise ValueError(f'unknown condition {condition!r}')

    def remove_shm(self):
        for name in self.shm.values():
            pathlib.Path(f'/dev/shm{name}').unlink(missing_ok=True)

    def fail(self, where, message):
        self.failures.append(f'{self.args.case}:{where}: {message}')

    def compare(self, where, stream, expected, actual):
        if expected != actual:
            self.fail(where, f'{stream}: expected\n{expected}--- actual\n{actual}---')

    def write_block(self, where, words):
        path, source, *edits = words
        data = bytearray(2036) if source == 'zero' else bytearray(open(source, 'rb').read())
        for word in edits:
            if m := re.fullmatch(r'@(\d+)=([0-9A-Fa-f]*)', word):
                at, patch = int(m.group(1)), bytes.fromhex(m.group(2))
                data[at:at + len(patch)] = patch
            elif m := re.fullmatch(r'pad=(\d+):([0-9A-Fa-f]{2})', word):
                data += bytes.fromhex(m.group(2)) * max(0, int(m.group(1)) - len(data))
            elif m := re.fullmatch(r'size=(\d+)', word):
                del data[int(m.group(1)):]
            elif word in ('crc', 'badcrc'):
                data[0:4] = (block_crc(data) ^ (word == 'badcrc')).to_bytes(4, 'little')
            else:
                raise ValueError(f'line {where}: bad BLOCK word {word!r}')
        with open(path, 'wb') as f:
            f.write(data)

    def run(self, where, words):
        env = {k: v for k, v in os.environ.items() if k not in ('MUREL_PAGE', 'MUREL_PAGELOCK')}
        while words and re.fullmatch(r'[A-Za-z_]\w*=.*', words[0], re.S):
            name, value = words.pop(0).split('=', 1)
            env[name] = value
        program = {'velkor': self.args.velkor, 'murelpage-sim': self.args.sim}.get(words[0])
        command = (self.args.emulator + [program] if program else [words[0]]) + words[1:]
        # A run that hangs is killed after 60 s and ends the case with the exception.
        p = subprocess.run(command, env=env, capture_output=True, timeout=60,
                           stdin=subprocess.DEVNULL)
        return p.returncode, p.stdout, p.stderr

    def check_run(self, where, result, expect):
        status, out, err = result
        text = lambda b: b.decode('utf-8', 'surrogateescape')
        if 'json' in expect:
            if json.loads(out) != json.loads(expect['json']):  # output that is no JSON raises
                self.fail(where, f'JSON differs: expected\n{expect["json"]}--- actual\n{text(out)}')
        else:
            self.compare(where, 'standard output', expect['out'], text(out))
        self.compare(where, 'standard error', expect['err'], text(err))
        if status != expect['exit']:
            self.fail(where, f'exit status {status}, expected {expect["exit"]}')

    def execute(self, lines):
        pending = None  # (line number, [(alternative, result)], expectations) of the last RUN

        def settle():
            nonlocal pending
            for alternative, result in pending[1] if pending else []:
                self.check_run(f'{pending[0]}{alternative and f" ({alternative})"}', result,
                               pending[2])
            pending = None

        number, ran = 0, False
        while number < len(lines):
            raw = lines[number]
            number += 1
            key, _, rest = raw.partition(': ') if ': ' in raw else (raw.rstrip(':'), '', '')
            value = self.expand(rest)
            if not raw.strip() or raw.startswith('#') or key in ('LABELS', 'RESOURCE_LOCK'):
                continue
            if key == 'REQUIRES':
                if self.unmet(value):
                    settle()
                    print(f'skipped from line {number} on: {self.args.case} needs {value}')
                    return 1 if self.failures else 0 if ran else 77
                if value == 'no-default-page':
                    self.shm.update(default_page='/murelpage', default_lock='/murelpage-lock')
                continue
            if key in ('OUT', 'ERR', 'FAIL', 'OUT-FILE', 'OUT-HEX', 'OUT-DUMP', 'JSON',
                       'OPTION-ERROR'):
                expect = pending[2]
                if key in ('OUT', 'ERR', 'FAIL'):
                    expect['out' if key == 'OUT' else 'err'] += value + '\n'
                    if key == 'FAIL':
                        expect['exit'] = 1
                elif key == 'OUT-FILE':
                    expect['out'] += open(value, encoding='utf-8').read()
                elif key == 'OUT-HEX':
                    expect['out'] += hex_rows(open(value, 'rb').read())
                elif key == 'OUT-DUMP':
                    description, block, *order = shlex.split(value)
                    expect['out'] += verbose_dump(description, open(block, 'rb').read(), *order)
                elif key == 'OPTION-ERROR':
                    expect['err'] += (f"velkor: {value}\nvelkor: Use option '--help' for "
                                      "detailed information.\n")
                    expect['exit'] = 1
                else:
                    expect['json'] = expect.get('json', '') + value + '\n'
                continue
            settle()
            if key == 'FILE':
                body = []
                while number < len(lines) and lines[number].startswith('>'):
                    body.append(self.expand(lines[number][2:]) + '\n')
                    number += 1
                with open(value, 'w', encoding='utf-8', errors='surrogateescape') as f:
                    f.write(''.join(body))
            elif key == 'BLOCK':
                self.write_block(number, shlex.split(value))
            elif key == 'RUN':
                ran = True
                head, alternatives, tail = (re.split(r'%\{([^}]*)\}', value, 1) + ['', ''])[:3]
                pending = (number, [(v, self.run(number, shlex.split(head + v + tail)))
                                    for v in alternatives.split('|')],
                           {'out': '', 'err': '', 'exit': 0})
            elif key == 'CMP':
                a, b = shlex.split(value)
                if not (os.path.exists(a) and open(a, 'rb').read() == open(b, 'rb').read()):
                    self.fail(number, f'{a} does not hold the bytes of {b}')
            elif key == 'ABSENT':
                if os.path.lexists(value):
                    self.fail(number, f'{value} exists')
            else:
                raise ValueError(f'line {number}: unknown directive {raw!r}')
        settle()
        return 1 if self.failures else 0


def main():
    p = argparse.ArgumentParser()
    for option in ('--velkor', '--sim', '--source', '--emulator', '--version'):
        p.add_argument(option, default='')
    p.add_argument('case')
    args = p.parse_args()
    args.emulator = shlex.split(args.emulator)
    case = Case(args)
    try:
        with open(args.case, encoding='utf-8') as f:
            status = case.execute(f.read().split('\n'))
    finally:
        case.remove_shm()
        shutil.rmtree(case.scratch, ignore_errors=True)
    for failure in case.failures:
        print(failure)
    return status


if __name__ == '__main__':
    sys.exit(main())
