// The state one run holds (its satellites, reference satellites, reference day and met values), for tests that
// call a run's stages one at a time. One set per test program; a test that uses it sets what it needs first
// (tests run one after another).
#pragma once

#include "gnss/gnss.h"
#include "models/models.h"

namespace varno {

inline SatIndex testSats;
inline RefSatTables testTables;
inline RefSatTable& testRefs = testTables.of(GnssSystem::gps);
inline RunModels testRun{&testSats, &testTables, 0, MetParams{}};

}  // namespace varno
