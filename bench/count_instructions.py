#!/usr/bin/env python3
"""Instructions counted by callgrind: figures that other work on a shared machine does not move.

  count_instructions.py keys BENCH          a typed character, key event to repainted display,
                                            against the same keys in a bare line edit
  count_instructions.py startup PROGRAM...  each whole start-up, three times (name=command)

Run by tools/bench.sh --instructions; the start-ups under its X server and user.
"""
import os
import re
import statistics
import subprocess
import sys
import tempfile


def callgrind(argv, collect=None):
    """The callgrind profile of one run of argv: its lines, and those of no process it forked."""
    with tempfile.TemporaryDirectory() as folder:
        options = [f'--callgrind-out-file={folder}/out.%p']
        if collect:
            options.append(f'--toggle-collect={collect}')
        process = subprocess.run(['valgrind', '--tool=callgrind', *options, *argv],
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if process.returncode != 0:
            sys.exit(f'{argv[0]} ended with status {process.returncode} under callgrind')
        own = f'{folder}/out.{min(int(n.split(".")[1]) for n in os.listdir(folder))}'
        with open(own) as profile:
            return profile.read().splitlines()


def total(lines):
    return int(next(line for line in lines if line.startswith('totals:')).split()[1])


def calls_to(lines, function):
    """How often the profile's functions called function."""
    ids = {m.group(1) for line in lines
           for m in [re.match(r'c?fn=\((\d+)\)(.*)', line)] if m and function in m.group(2)}
    count = 0
    for line, following in zip(lines, lines[1:]):
        m = re.match(r'cfn=\((\d+)\)', line)
        if m and m.group(1) in ids and following.startswith('calls='):
            count += int(following[6:].split()[0])
    return count


def keys(bench):
    os.environ['QT_QPA_PLATFORM'] = 'offscreen'
    per_key = {}
    for name in ('BM_TypedCharacter', 'BM_TypedCharacterBaseline'):
        lines = callgrind([bench, f'--benchmark_filter=^{name}$', '--benchmark_min_time=1'],
                          collect='*typeAndRepaint*')
        per_key[name] = total(lines) / calls_to(lines, 'typeAndRepaint')
    typed, bare = per_key['BM_TypedCharacter'], per_key['BM_TypedCharacterBaseline']
    print(f'| One typed character, key event to repainted indicators, vs a bare line edit '
          f'(instructions) | {typed / 1e3:.0f} k | {bare / 1e3:.0f} k | {typed / bare:.2f}× '
          f'| ≤ 1.5×: {"met" if typed <= 1.5 * bare else "MISSED"} |')


def startup(programs):
    counts = {}
    for program in programs:
        name, command = program.split('=', 1)
        counts[name] = statistics.median(total(callgrind(command.split())) for _ in range(3))
    velmora, caption = counts['velmora'], counts['bare+caption']
    print(f'| Start-up, exec to first paint, vs bare window with one caption (instructions) '
          f'| {velmora / 1e6:.1f} M | {caption / 1e6:.1f} M | {velmora / caption:.2f}× '
          f'| ≤ 1.10×: {"met" if velmora <= 1.10 * caption else "MISSED"} |')


if __name__ == '__main__':
    if len(sys.argv) >= 3 and sys.argv[1] == 'keys':
        keys(sys.argv[2])
    elif len(sys.argv) >= 3 and sys.argv[1] == 'startup':
        startup(sys.argv[2:])
    else:
        sys.exit(__doc__)
