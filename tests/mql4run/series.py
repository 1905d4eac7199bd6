"""Bar files for the runner's checks: a CSV writer and a generated daily
series with the usual VSA mix (trends that turn, quiet and heavy bars, a few
zero volumes, gaps in the dates); and the run of a program whose output
goes to files."""
import datetime
import os
import random
import subprocess
import threading


def run_to_files(command, out, err, seconds, env=None):
    """The exit code of `command` run with stdout and stderr in the files
    `out` and `err` (processes Wine starts on the way would hold a pipe
    open). The wait blocks until the program ends: a wait with a timeout
    polls, each time up to 50 ms after the end, and the checks start
    hundreds of programs. A program still running after `seconds` is
    killed: subprocess.TimeoutExpired."""
    process = subprocess.Popen(command, stdout=out, stderr=err, stdin=subprocess.DEVNULL, env=env)
    late = threading.Event()

    def stop():
        late.set()
        process.kill()

    timer = threading.Timer(seconds, stop)
    timer.start()
    try:
        code = process.wait()
    finally:
        timer.cancel()
    if late.is_set():
        raise subprocess.TimeoutExpired(command, seconds)
    return code


def write_csv(folder, name, rows):
    """`rows` (date, open, high, low, close, volume) as a bar file in
    `folder`; its path."""
    path = os.path.join(folder, name)
    with open(path, "w") as f:
        f.write("date,open,high,low,close,volume\n")
        f.writelines(",".join(str(v) for v in row) + "\n" for row in rows)
    return path


def random_walk(folder, name, count, seed, start=datetime.date(2000, 1, 3), trend_bars=400, volume_sigma=0.5):
    """`count` daily bars from `start`: the drift turns every `trend_bars`
    bars, a date is skipped now and then, 1% of the volumes are 0."""
    rng = random.Random(seed)
    rows, close, day = [], 100.0, 0
    for i in range(count):
        day += 1 if rng.random() > 0.02 else 3
        new = max(5.0, close + rng.gauss(0.02 if (i // trend_bars) % 2 else -0.02, 1.0))
        high = max(close, new) + abs(rng.gauss(0, 0.5))
        low = min(close, new) - abs(rng.gauss(0, 0.5))
        volume = 0 if rng.random() < 0.01 else int(1000 * rng.lognormvariate(0, volume_sigma))
        date = start + datetime.timedelta(days=day)
        rows.append([date.isoformat(), "%.2f" % close, "%.2f" % high, "%.2f" % low, "%.2f" % new, volume])
        close = new
    return write_csv(folder, name, rows)


def buffers(stdout):
    """{buffer index: {date: value}} of mql4run's --dump-buffers."""
    found = {}
    for line in stdout.splitlines():
        if line.startswith("buffer\t"):
            _, index, date, value = line.split("\t")
            found.setdefault(int(index), {})[date] = float(value)
    return found
