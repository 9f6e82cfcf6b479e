"""python_scan_bench.py NATIVE_BUILD_DIR SIM_LINK: the README's tile scan
through the Python package against the same moves through `tessaro-host
run`, as a ratio of wall times, and the cost of one `position` read. Each
time is a whole program's (start, connect, the moves, disconnect) less the
same program's run that only connects and disconnects: what remains is the
motion. Medians of alternating runs. Prints two rows of the performance
table."""

import os
import re
import statistics
import subprocess
import sys
import tempfile
import time
import timeit
from pathlib import Path

ROUNDS = 5


def readme_scan() -> str:
    readme = (Path(__file__).resolve().parents[1] / "README.md").read_text()
    return re.search(r"```python\n(# tile_scan\.py.*?)```", readme, re.S).group(1)


def same_moves() -> str:
    """The scan's moves as one tessaro-host script."""
    moves = []
    for row in range(5):
        for column in range(5):
            moves.append(f"xy move-abs {column * 250.0} {row * 250.0}")
            moves += [f"z move-abs {offset}" for offset in (-2.0, 0.0, 2.0)]
    moves.append("z move-abs 0")
    return "; ".join(moves)


def timed(command, **options) -> float:
    started = time.perf_counter()
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL, timeout=600, **options)
    return time.perf_counter() - started


def main() -> None:
    native, link = Path(sys.argv[1]).resolve(), sys.argv[2]
    package = native / "python-package"
    env = dict(os.environ, PYTHONPATH=str(package), TESSARO_PORT="7", TESSARO_DEVICE=link)
    host = [str(native / "bin" / "tessaro-host"), "--no-metadata", "--settings", "none",
            "--port", "7", "--device", link, "run", same_moves()]
    empty_python = [sys.executable, "-c", "import os, tessaro; tessaro.connect(7, device="
                    "os.environ['TESSARO_DEVICE']).disconnect()"]
    empty_host = host[:-2] + ["pos"]
    python_times, host_times = [], []
    with tempfile.TemporaryDirectory() as work:
        (Path(work) / "tile_scan.py").write_text(readme_scan())
        for _ in range(ROUNDS):
            python_times.append(timed([sys.executable, "tile_scan.py"], cwd=work, env=env) -
                                timed(empty_python, env=env))
            host_times.append(timed(host) - timed(empty_host))
    ratio = statistics.median(python_times) / statistics.median(host_times)

    sys.path.insert(0, str(package))
    import tessaro

    with tessaro.connect(7, device=link) as board:
        reads = 20000
        seconds = timeit.timeit(lambda: board.z.position, number=reads)
    met = "yes" if ratio <= 1.02 else "**no**"
    print(f"| README tile scan (100 moves): Python package / tessaro-host run, wall time of "
          f"the moves "
          f"| {ratio:.3f} | - | <= 1.02 | {met} | medians {statistics.median(python_times):.2f} s "
          f"/ {statistics.median(host_times):.2f} s of {ROUNDS} runs each, connect and "
          f"disconnect taken out |")
    print(f"| one `position` read through the Python package | {seconds / reads * 1e6:.1f} us "
          f"| - | - | - | the drive's last polled position; no packet |")


if __name__ == "__main__":
    main()
