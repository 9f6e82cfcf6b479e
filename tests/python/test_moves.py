"""A stop through the package is a stop: `MotionStopped`, a `MotionError`,
with the position it left, also right after a start (the lifecycle test
walks series of relative moves, repeated targets and refused values)."""

import threading
import time

import pytest

import tessaro


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
    # A stop nobody waited for is no failure to hold the next move back.
    board.z.move_by(3000, wait=False)
    board.z.stop()
    board.z.move_by(1)


def test_a_target_beyond_reach_raises_value_error(board, sim):
    before = sim.sets_and_updates()
    with pytest.raises(ValueError, match="lies outside"):
        board.rotary.move_by(1e6)
    assert sim.sets_and_updates() == before
