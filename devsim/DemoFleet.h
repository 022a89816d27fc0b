// DemoFleet.h: the built-in fleet of --demo (the text of devsim/demo-fleet.xml).
#pragma once

namespace quorlin::devsim {

extern const char* const kDemoFleet;

}  // namespace quorlin::devsim
