// What a settings file's positions can be believed about, across the
// programs that use one board. A board's counts restart at 0 wherever its
// stage stands when a disconnect resets it; positions saved at a clean
// disconnect are therefore the board's own at the next connect only when no
// other session used the board in between: a program killed while it held
// the board (which may have moved it and did not reset it), or a session
// with another settings file or none (which moved the board and reset it
// elsewhere). The plug-in cannot see either; the user's settings folder
// can keep it.
//
// The journal keeps, per board (its COM port, or the device behind it), the
// number of its last clean disconnect, drawn at random, or that a session
// holds it. A settings file saved at a clean disconnect carries that
// disconnect's number, one saved while connected the number of its session.
#pragma once

#include <cstdint>
#include <string>

namespace tessaro_host {

class BoardJournal {
  public:
    // `board`: "COM7", or the device path behind the port. Without a
    // settings folder the journal knows nothing and keeps nothing.
    explicit BoardJournal(const std::string& board);

    // What the journal says of the board's last session: the number of its
    // clean disconnect (0: none known), or that a session holds the board,
    // or died holding it.
    struct Last {
        std::uint64_t disconnect = 0;
        bool held = false;
    };
    Last LastSession() const;
    // A session holds the board from now on.
    void Hold();
    // A clean disconnect: its new number, written down (0 without a
    // journal).
    std::uint64_t Release();

  private:
    std::string m_path;
};

// A number for a disconnect or a session: random, below 2^48, so that it
// goes through the settings file's numbers (doubles) exactly; never 0.
std::uint64_t DrawBoardNumber();

}  // namespace tessaro_host
