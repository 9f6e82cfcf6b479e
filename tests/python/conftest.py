"""A tessaro-sim of its own for the package's tests, with a packet trace."""

import os
import signal
import subprocess
import time
from pathlib import Path

import pytest

import tessaro


class Simulator:
    def __init__(self, folder: Path, *options: str) -> None:
        self.link = str(folder / "com7")
        self.trace = folder / "sim-trace.txt"
        self._out = open(self.trace, "w")
        self.process = subprocess.Popen(
            [os.environ["TESSARO_SIM"], "--axes", "4", "--link", self.link, "--trace",
             "--drop-ms", "800", *options],
            stdout=self._out, stderr=subprocess.STDOUT)
        self.wait_for_line()

    def wait_for_line(self, seconds: float = 10) -> None:
        end = time.monotonic() + seconds
        while not os.path.exists(self.link):
            assert time.monotonic() < end, "the simulator's line did not come up"
            time.sleep(0.02)

    def sets_and_updates(self) -> int:
        """The packets that change the processor (polling only reads)."""
        self._out.flush()
        lines = self.trace.read_text(errors="replace").splitlines()
        return sum(1 for line in lines if " Set" in line or " Update" in line)

    def stop(self) -> None:
        self.process.send_signal(signal.SIGINT)
        self.process.wait(10)
        self._out.close()


@pytest.fixture(scope="session")
def sim(tmp_path_factory):
    simulator = Simulator(tmp_path_factory.mktemp("sim"))
    yield simulator
    simulator.stop()


@pytest.fixture
def board(sim):
    sim.wait_for_line()
    with tessaro.connect(7, device=sim.link) as connected:
        yield connected
