"""What a script can do to the library from several threads, and what it may
forget to do, without taking the program down."""

import logging
import os
import subprocess
import sys
import textwrap
import time

import pytest

import tessaro


def test_a_busy_drive_is_moving_and_a_wait_ends_at_its_timeout(board):
    assert not board.z.is_moving
    board.z.speed = 0.5
    board.z.move_by(3000, wait=False)
    assert board.z.is_moving and not board.rotary.is_moving
    with pytest.raises(tessaro.BusyError, match="still carrying out"):
        board.z.move_by(500, wait=False)
    # 0.25 s in slices of 0.1 s leaves a remainder under a millisecond,
    # which once made a slice of 0 and a wait to the move's end.
    start = time.monotonic()
    assert board.z.wait(timeout=0.25) is False
    assert time.monotonic() - start < 1.0
    board.z.stop()
    with pytest.raises(tessaro.MotionStopped):
        board.z.wait()
    assert not board.z.is_moving and board.z.wait() is True  # nothing left to wait for
    # A jog moves until it is stopped.
    board.rotary.jog(0.5)
    time.sleep(0.4)
    assert board.rotary.is_moving
    board.rotary.stop()
    assert not board.rotary.is_moving


@pytest.mark.parametrize("call, name", [
    (lambda b: b.on_position("not callable"), "callback"),
    (lambda b: setattr(b.xy, "flip", 0), "flip"),
    (lambda b: b.z.move_to("5"), "target"),
    (lambda b: b.xy.move_by(1, None), "dy"),
])
def test_a_wrong_type_raises_type_error_naming_it(board, call, name):
    with pytest.raises(TypeError, match=name):
        call(board)


def test_a_callback_may_call_the_library_and_a_dropped_board_stays_until_exit(sim, tmp_path):
    # Each of these hung the program while callbacks ran inside the
    # library's locks: removing itself, disconnecting (reads from callbacks:
    # thread_hammer). A board the program dropped lost its callback object
    # while it still reported positions (a crash at the next report), and
    # its settings were never written. In a process of its own: a hang fails.
    settings = tmp_path / "settings.txt"
    script = textwrap.dedent(f"""
        import gc, time, tessaro
        board = tessaro.connect(7, device={sim.link!r})
        calls = []

        def removes_itself(drive, position):
            calls.append(drive)
            board.on_position(None)

        board.on_position(removes_itself)
        board.z.move_by(5)
        time.sleep(0.2)
        assert len(calls) == 1, calls
        board.on_position(lambda drive, position: board.disconnect())
        board.z.move_by(5)
        end = time.monotonic() + 5
        while board._handle is not None and time.monotonic() < end:
            time.sleep(0.01)
        assert board._handle is None
        board = tessaro.connect(7, device={sim.link!r}, settings={str(settings)!r})
        board.on_position(lambda drive, position: None)
        board.z.jog(2.0)
        del board
        gc.collect()
        time.sleep(0.5)
    """)
    done = subprocess.run([sys.executable, "-c", script], env=dict(os.environ), timeout=60)
    assert done.returncode == 0
    assert settings.read_text().startswith("# tessaro-host settings")


def test_numbers_cross_the_same_in_a_decimal_comma_locale(sim, tmp_path):
    # GUI toolkits set the numeric locale; with a decimal comma the settings
    # file once read as defaults (speed 10, z 0) and was overwritten so.
    locales = tmp_path / "locales"
    locales.mkdir()
    # Its exit code counts warnings too; the locale is there or not.
    subprocess.run(["localedef", "-i", "de_DE", "-f", "UTF-8", str(locales / "de_DE.UTF-8")],
                   capture_output=True)
    assert (locales / "de_DE.UTF-8").is_dir()
    settings = tmp_path / "settings.txt"
    script = textwrap.dedent(f"""
        import locale, tessaro
        locale.setlocale(locale.LC_NUMERIC, "de_DE.UTF-8")
        assert locale.str(2.5) == "2,5"
        with tessaro.connect(7, device={sim.link!r}, settings={str(settings)!r}) as board:
            board.z.speed = 2.5
            board.z.move_to(100.5)
        with tessaro.connect(7, device={sim.link!r}, settings={str(settings)!r}) as board:
            assert board.z.speed == 2.5, board.z.speed
            assert abs(board.z.position - 100.5) < 0.02, board.z.position
    """)
    done = subprocess.run([sys.executable, "-c", script], timeout=60,
                          env=dict(os.environ, LOCPATH=str(locales)))
    assert done.returncode == 0


def test_the_devices_lines_reach_the_logger(sim, tmp_path, caplog):
    # A settings line that cannot be used (at connect, before any callback
    # could be installed) and a value the drive does not take: warnings.
    settings = tmp_path / "settings.txt"
    settings.write_text("z: speed_revolutionPerSecond=fast;\n")
    caplog.set_level(logging.INFO, logger="tessaro")
    with tessaro.connect(7, device=sim.link, settings=str(settings)) as board:
        with pytest.raises(ValueError):
            board.z.speed = 150.0
        end = time.monotonic() + 5
        while len([r for r in caplog.records if r.levelno == logging.WARNING]) < 2:
            assert time.monotonic() < end, [r.getMessage() for r in caplog.records]
            time.sleep(0.02)
    warnings = [r.getMessage() for r in caplog.records if r.levelno == logging.WARNING]
    assert all(any(m in w for w in warnings) for m in ("not used", "kept speed_rev")), warnings


@pytest.mark.parametrize("spoil, problem", [
    (lambda text: text + "z: speed_revolutionPerSecond=fast;\n", "not used"),
    (lambda text: text.replace("z: speed_revolutionPerSecond=10;",
                               "z: speed_revolutionPerSecond=150;"), "kept speed_rev"),
])
def test_strict_settings_raise_and_leave_the_file_others_take_what_they_can(
        sim, tmp_path, spoil, problem):
    good, bad = tmp_path / "good.txt", tmp_path / "bad.txt"
    with tessaro.connect(7, device=sim.link) as board:
        board.z.speed = 3.0
        board.save_settings(str(good))
        bad.write_text(spoil(good.read_text().replace("speed_revolutionPerSecond=3;",
                                                      "speed_revolutionPerSecond=10;")))
        with pytest.raises(tessaro.SettingsError, match=problem):
            board.load_settings(str(bad), strict=True)
        assert board.z.speed == 3.0  # strict: nothing of the file taken
        board.load_settings(str(bad))
        assert board.z.speed == (3.0 if problem.startswith("kept") else 10.0)
    text = bad.read_text()
    with pytest.raises(tessaro.SettingsError, match=problem):
        tessaro.connect(7, device=sim.link, settings=str(bad), strict=True)
    assert bad.read_text() == text and not (tmp_path / "bad.txt.bak").exists()
