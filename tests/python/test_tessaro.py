"""The tessaro package against tessaro-sim: every call, each error kind, the
polling thread's events, Ctrl-C, threads, and the README's example (the lifecycle
test drives it through the edges of a session)."""

import math
import os
import re
import shutil
import signal
import subprocess
import sys
import threading
import time
from pathlib import Path

import pytest

import tessaro

ROOT = Path(__file__).resolve().parents[2]


def test_connect_gives_the_drives_and_the_information_and_parameters_round_trip(board):
    assert re.fullmatch(r"\d+\.\d+\.\d+\.\d+", tessaro.__version__)
    assert [type(d) for d in (board.xy, board.z, board.rotary)] == [
        tessaro.Stage, tessaro.Focus, tessaro.Rotary]
    assert "Generation: Marivel" in board.info
    assert all(isinstance(p, tessaro.Port) for p in tessaro.ports(probe=True))
    # Seven digits reach the step: 12345.67 um is step 629629, 12345.7 um 629630.
    board.xy.move_to(12345.67, 0)
    assert board.xy.position == (629629 / 51, 0)
    board.z.speed, board.z.acceleration, board.z.flip, board.xy.flip = 2.5, 7, 1, (1, -1)
    assert (board.z.speed, board.z.acceleration, board.z.flip) == (2.5, 7, 1)
    assert board.xy.flip == (1, -1) and board.rotary.speed > 0


@pytest.mark.parametrize("call, message", [
    (lambda b: b.z.move_to(math.nan), ""),
    (lambda b: b.xy.move_by(1, math.inf), ""),
    (lambda b: setattr(b.z, "speed", 0), ""),
    (lambda b: setattr(b.z, "acceleration", 2.5), ""),
    (lambda b: setattr(b.z, "flip", 2), ""),
    (lambda b: b.z.set_limits(10, -10), ""),
    (lambda b: b.z.jog(-math.inf), ""),
    (lambda b: b.z.wait(math.nan), ""),
    (lambda b: b.rotary.move_by(1e6), "lies outside"),  # a target beyond reach
])
def test_values_not_taken_raise_before_anything_is_sent(board, sim, call, message):
    before = sim.sets_and_updates()
    with pytest.raises(ValueError, match=message):
        call(board)
    assert sim.sets_and_updates() == before


def test_a_stop_raises_motion_stopped_where_it_left_and_ctrl_c_raises(board):
    # From another thread, and right after the start, when the start may
    # still be on its way (the lifecycle's stop_move takes an ended move too).
    threading.Timer(0.2, board.z.stop).start()
    with pytest.raises(tessaro.MotionStopped, match="stopped") as stopped:
        board.z.move_by(3000)
    start = stopped.value.position
    assert start == board.z.position != 3000
    board.z.move_by(3000, wait=False)
    board.z.stop()
    with pytest.raises(tessaro.MotionStopped, match="stopped") as stopped:
        board.z.wait()
    assert stopped.value.position == board.z.position != start + 3000
    # A stop nobody waited for is no failure to hold the next move back.
    board.z.move_by(3000, wait=False)
    board.z.stop()
    board.z.move_by(1)
    # Ctrl-C raises (that it stops the motion first: the lifecycle's interrupt rule).
    press = threading.Timer(0.3, os.kill, (os.getpid(), signal.SIGINT))
    press.start()
    with pytest.raises(KeyboardInterrupt):
        try:
            board.z.move_by(200000)
        finally:
            press.cancel()


def test_limits_pair_by_axis_and_a_failure_nobody_waited_for_is_told_by_the_next_call(board):
    # The stage's second range lies wholly above its first.
    for lower, upper in [((-5, -6), (5, 6)), ((10, 11), (20, 21))]:
        board.xy.set_limits(lower, upper)
        assert board.xy.limits == tessaro.Limits(lower=lower, upper=upper)
    # (A move beyond a limit that was waited for: capi_check.)
    board.z.set_limits(-100, 100)
    board.z.move_to(150, wait=False)
    time.sleep(0.2)
    with pytest.raises(ValueError, match="last operation failed: .*above the upper limit"):
        board.z.move_by(1)
    board.z.move_by(1)
    assert board.z.position == 1


def test_a_switch_stop_is_told_by_its_own_drive(tmp_path):
    # A simulator of its own, with Z's switches at -1000 and +1000 um.
    from conftest import Simulator
    switched = Simulator(tmp_path, "--limit", "2:-51000:51000")
    try:
        with tessaro.connect(7, device=switched.link) as board:
            board.rotary.move_by(300, wait=False)
            board.z.move_to(1500, wait=False)
            with pytest.raises(tessaro.MotionError, match="stopped at a limit switch"):
                board.z.wait()
            assert board.rotary.wait() and board.rotary.position == 300
    finally:
        switched.stop()


def test_a_lost_line_knows_no_position(board, sim):
    sim.process.send_signal(signal.SIGUSR1)  # the line goes for 0.8 s
    with pytest.raises(tessaro.LineError, match="no position is known"):
        end = time.monotonic() + 5
        while time.monotonic() < end:
            board.z.position
            time.sleep(0.01)


def test_positions_come_from_the_polling_thread(board):
    seen = []
    board.on_position(lambda name, position: seen.append((name, position, threading.get_ident())))
    board.xy.move_to(3, 4)
    board.z.move_by(2)
    board.on_position(None)
    assert {("xy", (3.0, 4.0)), ("z", 2.0)} <= {(n, p) for n, p, _ in seen}
    assert threading.get_ident() not in {t for _, _, t in seen}


def test_a_disconnect_lets_a_waiting_thread_out_stops_the_move_and_skips_a_stray_count(sim):
    board = tessaro.connect(7, device=sim.link)
    board.z.move_by(200000, wait=False)
    seen = []
    thread = threading.Thread(
        target=lambda: seen.append(pytest.raises(tessaro.LineError, board.z.wait)))
    thread.start()
    time.sleep(0.3)
    # Ctrl-C can land between a call's return and its bookkeeping.
    board._users[threading.get_ident()] += 1
    started = time.monotonic()
    board.disconnect()
    assert time.monotonic() - started < 2, "the move was not stopped"
    thread.join(5)
    assert seen and not thread.is_alive()


def test_collected_moves_start_together_are_the_threads_own_and_an_exception_drops_them(board):
    with board.collect():
        board.xy.move_to(5, 6)
        other = threading.Thread(target=board.z.move_by, args=(20,))
        other.start()
        other.join(10)
        board.z.move_to(30)
        # The other thread's move ran, this thread's are only stored.
        assert (board.z.position, board.xy.position) == (20, (0, 0))
    assert (board.z.position, board.xy.position) == (30, (5, 6))
    with pytest.raises(RuntimeError), board.collect():
        board.z.move_to(60)
        raise RuntimeError
    board.z.move_by(5)
    assert board.z.position == 35


def test_no_jog_while_collected_moves_run(board):
    def collected():
        with pytest.raises(tessaro.MotionError), board.collect():
            board.z.move_by(200000)

    thread = threading.Thread(target=collected)
    thread.start()
    time.sleep(0.3)
    with pytest.raises(tessaro.Error, match="still carrying out"):
        board.z.jog(1)
    board.z.stop()
    thread.join(10)


def test_settings_are_written_as_tessaro_host_does(board, tmp_path):
    # (Read back: test_library_edges' strict settings and locale tests.)
    board.z.speed = 3.25
    board.save_settings(str(tmp_path / "settings.txt"))
    text = (tmp_path / "settings.txt").read_text()
    assert text.startswith("# tessaro-host settings")
    assert re.search(r"^z: .*speed_revolutionPerSecond=3\.25;", text, re.M)
    with pytest.raises(ValueError, match="no settings file"):
        board.save_settings()


def test_connection_problems_name_the_port(board, sim, tmp_path):
    with pytest.raises(tessaro.Error, match="connected already"):
        tessaro.connect(7, device=str(tmp_path))
    board.disconnect()
    # A device is for its connection only: COM7 is the system's again.
    tessaro.connect(7, device=sim.link).disconnect()
    with pytest.raises(tessaro.LineError, match="COM7"):
        tessaro.connect(7).disconnect()
    with pytest.raises(tessaro.LineError, match=r"COM7 \(.*missing"):
        tessaro.connect("COM7", device=str(tmp_path / "missing"))
    with pytest.raises(tessaro.Error, match="a folder, not a module"):
        tessaro.connect(7, device=str(tmp_path), module=str(tmp_path))
    with pytest.raises(ValueError):
        tessaro.connect(255)
    with pytest.raises(tessaro.LineError, match="disconnected"):
        board.z.position


def test_the_readme_example_runs_as_written(sim, tmp_path):
    readme = (ROOT / "README.md").read_text()
    script = re.search(r"```python\n(# tile_scan\.py.*?)```", readme, re.S).group(1)
    (tmp_path / "tile_scan.py").write_text(script)
    env = dict(os.environ, TESSARO_PORT="7", TESSARO_DEVICE=sim.link)
    run = subprocess.run([sys.executable, "tile_scan.py"], cwd=tmp_path, env=env,
                         capture_output=True, text=True, timeout=300)
    assert run.returncode == 0, run.stderr
    visited = (tmp_path / "positions.csv").read_text().splitlines()
    assert len(visited) == 1 + 5 * 5 * 3


def test_pip_installs_the_package_without_the_network(tmp_path):
    source = Path(tessaro.__file__).resolve().parents[1]
    shutil.copytree(source, tmp_path / "source")
    subprocess.run([sys.executable, "-m", "pip", "install", "-q", "--no-build-isolation",
                    "--no-index", "--target", str(tmp_path / "site"), str(tmp_path / "source")],
                   check=True, timeout=300)
    env = dict(os.environ, PYTHONPATH=str(tmp_path / "site"))
    out = subprocess.run([sys.executable, "-c", "import tessaro; print(tessaro.__file__)"],
                         env=env, capture_output=True, text=True, check=True).stdout
    assert out.startswith(str(tmp_path / "site"))
    assert (tmp_path / "site" / "tessaro" / "py.typed").exists()
