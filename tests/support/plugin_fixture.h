// The plug-in as the host holds it, against a simulated board in process,
// connected on construction.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "tests/support/plugin_host.h"
#include "tests/support/sim_board.h"

namespace testing_support {

// The board comes first among the bases: it is made before the device and
// goes after it.
struct SimBoardOwner {
    std::unique_ptr<SimBoard> board;
};

class PluginFixture : public SimBoardOwner, public PluginHost {
  public:
    PluginFixture(int port, std::uint16_t axes, double speed = 1.0)
        : SimBoardOwner{std::make_unique<SimBoard>(port, axes, speed)} {
        Connect(port);
    }
};

}  // namespace testing_support
