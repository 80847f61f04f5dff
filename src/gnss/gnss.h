// Satellite systems and satellites as values: what a system is (its letter, its numbers, its time scale and the
// constants of its orbit model), a satellite id ("G05"), and a per-run index from ids to dense positions.
// This is the one place that knows the systems; adding one touches this header, satellite.cpp and their tests.
#pragma once

#include <array>
#include <compare>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace varno {

// ---------------------------------------------------------------------------------------------------------------
// Systems. The order is that of the dense index and of every per-system listing.
enum class GnssSystem : std::uint8_t { gps, glonass, galileo, beidou, qzss, sbas, navic };
inline constexpr int kSystemCount = 7;

// What the program knows of one system. Constants are those of each system's interface document.
struct SystemInfo {
    GnssSystem system;
    char letter;              // RINEX 3 system letter: G R E C J S I
    const char* name;         // "GPS", "GLONASS", "Galileo", "BeiDou", "QZSS", "SBAS", "NavIC"
    int maxNumber;            // satellite numbers 1..maxNumber (two-digit ids of RINEX 3; 99 for every system)
    double gravitationalConstant;  // GM, m³/s², as the system's ephemeris user algorithm takes it
    double earthRotationRate;      // rad/s, as the system's ephemeris user algorithm takes it
    double secondsBehindGps;       // system time = GPS time − this (BeiDou 14 s; GLONASS and SBAS: see note)
};
// GLONASS time is UTC(SU) + 3 h and is not a fixed offset from GPS time: it needs the leap seconds of the day,
// which the navigation files state; its `secondsBehindGps` is 0 and callers convert with the leap seconds.

// The table row of a system.
const SystemInfo& systemInfo(GnssSystem system);
// The system of a RINEX letter (G R E C J S I), none for any other character.
std::optional<GnssSystem> systemOfLetter(char letter);
// Every system, in table order.
const std::array<GnssSystem, kSystemCount>& allSystems();

// ---------------------------------------------------------------------------------------------------------------
// The systems a run uses and the signal it takes of each.

// A choice of systems, indexed by GnssSystem.
using SystemSet = std::array<bool, kSystemCount>;
// GPS alone: a run's choice unless told otherwise.
inline constexpr SystemSet kGpsOnly{true, false, false, false, false, false, false};
// "G", "G,E,C", "all" (= G,E,C,J: GLONASS only when named, its code biases depend on the channel): the systems a
// run may use are G, R, E, C and J. None for an empty item or any other letter.
std::optional<SystemSet> parseSystems(std::string_view text);
// "G", "G,E,C": the letters of a choice in table order.
std::string systemsText(const SystemSet& systems);
// How many systems a choice holds.
int systemCount(const SystemSet& systems);

// The L1-band code types (RINEX 3 names) a system's pseudorange is taken from, in order of preference: of each
// satellite the first type both receivers recorded is used. GPS's list is that of the P1 role (C1W, C1P, C1Y), C1C
// serving where a record lacks it, as the readers have always done.
const std::vector<std::string>& codePreference(GnssSystem system);

// ---------------------------------------------------------------------------------------------------------------
// A satellite: a system and its number within the system (PRN for GPS, Galileo, BeiDou, QZSS; slot for GLONASS;
// PRN − 100 for SBAS as RINEX 3 writes it). Compared and hashed as a whole; written "G05".
struct SatId {
    GnssSystem system = GnssSystem::gps;
    int number = 0;

    friend constexpr auto operator<=>(const SatId&, const SatId&) = default;
    // "G05", "E12", "R07": system letter and two digits (three where the number has three).
    std::string text() const;
    // Parses "G05", "G 5", "E12" (and " 5" / "5" as GPS when `blankIsGps`, as RINEX 2 and SP3-a write them).
    // None for an unknown letter or a number outside 1..maxNumber of the system.
    static std::optional<SatId> parse(std::string_view text, bool blankIsGps = true);
    static constexpr SatId gps(int prn) { return SatId{GnssSystem::gps, prn}; }
    // Dense key over every possible satellite of every system: system · 128 + number (for tables of fixed size).
    constexpr int key() const { return static_cast<int>(system) * 128 + number; }
    static constexpr SatId fromKey(int key) { return SatId{static_cast<GnssSystem>(key / 128), key % 128}; }
};
inline constexpr int kSatKeyCount = kSystemCount * 128;

// A satellite's name: its number ("5"), or when `lettered` its id ("E12").
std::string satelliteName(SatId sat, bool lettered);
// The same right-justified in `width` columns.
std::string satelliteField(SatId sat, int width, bool lettered);

// ---------------------------------------------------------------------------------------------------------------
// The satellites of one run in the order they were added, each with its dense position 0..size−1. Arrays that
// hold a value per satellite are sized by size() and indexed by position; nothing assumes a fixed count.
class SatIndex {
public:
    // Position of `sat`, or −1 when it is not held.
    int find(SatId sat) const { return keys_[static_cast<std::size_t>(sat.key())]; }
    bool contains(SatId sat) const { return find(sat) >= 0; }
    // Adds `sat` when absent; returns its position either way.
    int add(SatId sat);
    // Removes `sat`, moving the later ones down one position (their positions change); false when absent.
    bool remove(SatId sat);
    SatId at(int position) const { return sats_[static_cast<std::size_t>(position)]; }
    int size() const { return static_cast<int>(sats_.size()); }
    // How many satellites of `system` are held.
    int count(GnssSystem system) const;
    const std::vector<SatId>& satellites() const { return sats_; }
    // Removes every satellite; the systems stay.
    void clear();

    // The systems of the run these satellites belong to (GPS alone until set). With any choice but GPS alone the
    // run names its satellites with their system letter, in every output.
    void setSystems(const SystemSet& systems) { systems_ = systems; }
    const SystemSet& systems() const { return systems_; }
    bool letteredNames() const { return systems_ != kGpsOnly; }
    // A satellite's name as the run writes it, and the same right-justified in `width` columns.
    std::string name(SatId sat) const { return satelliteName(sat, letteredNames()); }
    std::string field(SatId sat, int width) const { return satelliteField(sat, width, letteredNames()); }

    SatIndex() { keys_.fill(-1); }

private:
    std::vector<SatId> sats_;
    std::array<int, kSatKeyCount> keys_{};
    SystemSet systems_ = kGpsOnly;
};

// ---------------------------------------------------------------------------------------------------------------
// The run's satellites: a SatIndex whose slots 1..size() are its positions + 1, in order of insertion; the arrays
// of the adjustment hold one value per slot. Each run holds its own (in its run context); the operations below
// act on the index they are given.

// At most this many GPS satellites take part in a run (a rule of the run, not the size of any array); the other
// systems are limited only by their numbers.
inline constexpr int kMaxGpsSatellites = 32;

// Empties the table.
void newprn(SatIndex& table);
// n = number of satellites held.
void numprn(const SatIndex& table, int& n);
// True with `slot` when `sat` is held; otherwise false with slot = count + 1.
bool getprn(const SatIndex& table, SatId sat, int& slot);
// Inserts `sat` when absent and the rule allows it: true, slot = 0. Already present: false, slot = its slot.
// A GPS satellite beyond the kMaxGpsSatellites-th: false, slot = 0.
bool putprn(SatIndex& table, SatId sat, int& slot);
// Removes `sat`, moving the later entries down one slot: true, n = new count. Absent: false, n = count.
bool delprn(SatIndex& table, SatId sat, int& n);
// The satellite held in `slot`; a slot outside 1..count stops the run with code 74358.
SatId invprn(const SatIndex& table, int slot);

}  // namespace varno

template <>
struct std::hash<varno::SatId> {
    std::size_t operator()(const varno::SatId& sat) const noexcept { return static_cast<std::size_t>(sat.key()); }
};
