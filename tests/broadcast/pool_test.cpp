// The pool and the choice of a record: repeats, reach, nearest toe, ties, health, INAV before FNAV, and the
// record chosen at the epoch serving every signal time of it.
#include <gtest/gtest.h>

#include <thread>

#include "broadcast/broadcast.h"

namespace varno {
namespace {

const GpsTime kDay = gpsTimeOfMjd(55378, 0.0);

// A circular GPS-like orbit whose record is told apart by its clock (af0 = the toe in hours).
Ephemeris record(SatId sat, double toeHours, double transmittedHours, NavMessage message = NavMessage::lnav) {
    Ephemeris r;
    r.sat = sat;
    r.message = message;
    r.toe = r.toc = kDay + toeHours * 3600.0;
    r.transmitted = kDay + transmittedHours * 3600.0;
    r.toeSeconds = 4 * 86400.0 + toeHours * 3600.0;
    r.sqrtA = 5153.7;
    r.i0 = 0.96;
    r.af0 = toeHours;
    return r;
}

double chosen(const NavPool& pool, SatId sat, double hours) {
    const Ephemeris* r = chooseRecord(pool, sat, kDay + hours * 3600.0);
    return r == nullptr ? -1.0 : r->af0;
}

TEST(ChooseRecord, NearestHealthyWithinReachLaterTransmittedOnATie) {
    NavPool pool;
    const SatId g = SatId::gps(5);
    EXPECT_TRUE(pool.add(record(g, 2, 1.9)));
    EXPECT_FALSE(pool.add(record(g, 2, 1.95)));  // same toe and issue: a repeat
    Ephemeris sick = record(g, 3, 2.5);
    sick.healthy = false;
    pool.add(sick);
    pool.add(record(g, 4, 3.9));
    EXPECT_EQ(pool.recordCount(), 3);
    EXPECT_EQ(pool.repeats(), 1);
    EXPECT_EQ(chosen(pool, g, 0.0), 2.0);    // exactly 2 h away: within reach
    EXPECT_EQ(chosen(pool, g, -0.01), -1.0);  // beyond it
    EXPECT_EQ(chosen(pool, g, 2.9), 2.0);    // the nearer record at 3 h is not healthy
    EXPECT_EQ(chosen(pool, g, 3.1), 4.0);
    Ephemeris second = record(g, 4, 3.95);  // a new upload with the same toe and another issue of data
    second.issue = 9;
    second.af0 = 44.0;
    pool.add(second);
    EXPECT_EQ(chosen(pool, g, 4.5), 44.0);
    Ephemeris fit = record(g, 10, 9.0);  // a fit interval of 6 h stated: reach 3 h
    fit.fitHours = 6.0;
    pool.add(fit);
    EXPECT_EQ(chosen(pool, g, 13.0), 10.0);
    EXPECT_EQ(chosen(pool, SatId::gps(6), 2.0), -1.0);

    const SatId e = SatId{GnssSystem::galileo, 3};
    pool.add(record(e, 2, 1.9, NavMessage::inav));
    pool.add(record(e, 2.5, 2.4, NavMessage::fnav));
    EXPECT_EQ(chosen(pool, e, 2.6), 2.0);   // INAV before a nearer FNAV record
    EXPECT_EQ(chosen(pool, e, 5.9), 2.0);   // Galileo's reach: 4 h
    EXPECT_EQ(chosen(pool, e, 6.4), 2.5);   // no INAV record in reach: FNAV
}

TEST(BroadcastOrbit, TheEpochChoosesTheRecordForEverySignalTime) {
    NavPool pool;
    const SatId g = SatId::gps(5);
    pool.add(record(g, 2, 1.9));
    pool.add(record(g, 4, 3.9));
    const BroadcastOrbit orbit(pool, 55378);
    SatelliteState s;
    OrbitMiss miss = OrbitMiss::none;
    // The epoch lies nearer 2 h; a signal time past 3 h still uses the 2 h record.
    ASSERT_TRUE(orbit.state(g, 3.0 * 3600 + 0.07, 3.0 * 3600 - 0.01, s, miss));
    EXPECT_EQ(s.clock, 2.0);
    ASSERT_TRUE(orbit.state(g, 3.0 * 3600 - 0.07, 3.0 * 3600 + 0.01, s, miss));
    EXPECT_EQ(s.clock, 4.0);
    EXPECT_FALSE(orbit.state(g, 7 * 3600.0, 7 * 3600.0, s, miss));
    EXPECT_EQ(miss, OrbitMiss::noRecord);
    EXPECT_FALSE(orbit.state(SatId::gps(6), 3 * 3600.0, 3 * 3600.0, s, miss));
    EXPECT_EQ(miss, OrbitMiss::notCarried);
    EXPECT_EQ(orbit.firstTime(), 0.0);
    EXPECT_EQ(orbit.lastTime(), 6 * 3600.0);
}

// Signal times near the epoch come from the expansion about it: within its stated bound of the direct evaluation.
TEST(BroadcastOrbit, ExpansionAboutTheEpochMatchesTheRecord) {
    NavPool pool;
    Ephemeris r = record(SatId::gps(5), 2, 1.9);
    r.e = 0.02;
    r.af1 = 1e-11;
    pool.add(r);
    const BroadcastOrbit orbit(pool, 55378);
    const double epoch = 2.5 * 3600;
    for (double dt : {-0.5, -0.08, 0.0, 0.07, 0.5, 0.7}) {
        SatelliteState s;
        OrbitMiss miss = OrbitMiss::none;
        ASSERT_TRUE(orbit.state(r.sat, epoch + dt, epoch, s, miss));
        const SatelliteState direct = ephemerisState(r, orbit.timeOf(epoch + dt));
        for (std::size_t k = 0; k < 3; ++k) EXPECT_NEAR(s.position[k], direct.position[k], 2e-6) << dt;
        EXPECT_EQ(s.clock, direct.clock);
    }
}

// What an orbit keeps about each epoch serves a later pass on another thread as a fresh orbit would.
TEST(BroadcastOrbit, KeptExpansionsServeEveryPassAndThreadAlike) {
    NavPool pool;
    pool.add(record(SatId::gps(5), 2, 1.9));
    pool.add(record(SatId::gps(5), 4, 3.9));
    const BroadcastOrbit kept(pool, 55378);
    const auto pass = [&] {  // either side of a record change and of a whole minute
        for (double epoch : {3 * 3600.0 + 0.01, 3 * 3600.0 - 0.01, 7680.0, 7679.999}) {
            SatelliteState a, b;
            OrbitMiss miss = OrbitMiss::none;
            ASSERT_TRUE(kept.state(SatId::gps(5), epoch - 0.07, epoch, a, miss));
            ASSERT_TRUE(BroadcastOrbit(pool, 55378).state(SatId::gps(5), epoch - 0.07, epoch, b, miss));
            EXPECT_TRUE(a.position == b.position && a.clock == b.clock) << epoch;
        }
    };
    pass();
    std::thread(pass).join();
}

TEST(PoolListing, SaysWhatWasRead) {
    NavPool pool;
    pool.files = {"brdc0770.10n"};
    pool.add(record(SatId::gps(5), 2, 1.9));
    pool.add(record(SatId::gps(5), 2, 1.9));
    pool.add(record(SatId::gps(7), 4, 3.9));
    pool.add(record(SatId{GnssSystem::galileo, 3}, 3, 2.9, NavMessage::inav));
    const std::vector<std::string> expected{
        " orbit -- broadcast ephemerides, files 1", " ephemeris file -- brdc0770.10n",
        " ephemerides GPS -- records 2 satellites 2", " ephemerides Galileo -- records 1 satellites 1",
        " ephemerides repeated 1 other messages passed over 0",
        " ephemerides first/last toe -- 2010-07-01 02:00:00 2010-07-01 04:00:00"};
    EXPECT_EQ(poolListing(pool), expected);
}

}  // namespace
}  // namespace varno
