"""Moves through the package do what was asked: small relative moves add up,
angles repeat, a stop is a stop even right after a start, and values no
stage can carry out raise ValueError with nothing sent."""

import threading
import time

import pytest

import tessaro


def test_small_relative_moves_add_up(board):
    z0, (x0, y0) = board.z.position, board.xy.position
    for _ in range(100):
        board.z.move_by(0.25)  # 12.75 steps each
    for _ in range(40):
        board.xy.move_by(0.3, -0.3)  # 15.3 steps each
    assert board.z.position == pytest.approx(z0 + 25, abs=1 / 51)
    x, y = board.xy.position
    assert (x - x0, y - y0) == pytest.approx((12, -12), abs=1 / 51)
    board.rotary.move_to(0)
    for _ in range(36):
        board.rotary.move_by(10)
    assert board.rotary.position == 0


def test_an_angle_asked_again_moves_nothing(board, sim):
    board.rotary.move_to(0)
    assert board.rotary.position == 0
    before = sim.sets_and_updates()
    board.rotary.move_to(0)
    board.rotary.move_to(360)
    assert board.rotary.position == 0
    board.rotary.move_to(-90)
    assert board.rotary.position == pytest.approx(270, abs=360 / 204000)
    assert sim.sets_and_updates() > before


@pytest.mark.parametrize("stop_from_another_thread", [False, True])
def test_a_stop_is_a_stop_with_the_position_it_left(board, stop_from_another_thread):
    start = board.z.position
    if stop_from_another_thread:
        threading.Timer(0.2, board.z.stop).start()
        with pytest.raises(tessaro.MotionStopped) as stopped:
            board.z.move_by(3000)
    else:
        # Right after the start: the start may still be on its way.
        board.z.move_by(3000, wait=False)
        board.z.stop()
        with pytest.raises(tessaro.MotionStopped) as stopped:
            board.z.wait()
    assert "stopped" in str(stopped.value)
    assert isinstance(stopped.value, tessaro.MotionError)
    assert stopped.value.position == board.z.position
    assert board.z.position != start + 3000
    time.sleep(0.3)
    assert board.z.position == stopped.value.position


@pytest.mark.parametrize("call", [
    lambda b: setattr(b.z, "speed", 1e9),
    lambda b: setattr(b.z, "speed", 100.001),
    lambda b: setattr(b.z, "speed", 1e-9),
    lambda b: setattr(b.z, "acceleration", 3e9),
    lambda b: b.z.move_to(1e9),
    lambda b: b.rotary.move_by(1e6),
    lambda b: b.z.jog(1e-9),
])
def test_values_no_stage_can_carry_out_raise_value_error(board, sim, call):
    before = sim.sets_and_updates()
    with pytest.raises(ValueError, match="lies (outside|above|below)"):
        call(board)
    assert sim.sets_and_updates() == before
