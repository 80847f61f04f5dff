// The precise orbit as an OrbitSource: a table of positions and clocks on a grid, one column per satellite,
// interpolated by the 9-point Lagrange polynomial.
#include <algorithm>
#include <cstddef>
#include <memory>
#include <utility>
#include <vector>

#include "orbit/orbit.h"
#include "orbit/orbit_table.h"

namespace varno {

namespace {

class TabulatedOrbit final : public OrbitSource {
public:
    TabulatedOrbit(OrbitTable table, std::vector<SatId> columns)
        : table_(std::move(table)), columns_(std::move(columns)) {
        columnOf_.fill(0);
        for (std::size_t c = 0; c < columns_.size(); ++c) {
            columnOf_[static_cast<std::size_t>(columns_[c].key())] = static_cast<int>(c) + 1;
        }
    }

    bool state(SatId sat, double t, double /*epoch*/, SatelliteState& state, OrbitMiss& miss) const override {
        const int column = columnOf(sat);
        int error = 0;
        if (column == 0) return missed(OrbitMiss::notCarried, miss);
        double x = 0.0, y = 0.0, z = 0.0, clock = 0.0;
        if (!oterp2(column, t, table_, x, y, z, clock, error)) return missed(static_cast<OrbitMiss>(error), miss);
        state.position = {x, y, z};
        state.clock = clock;
        return true;
    }

    bool position(SatId sat, double t, double /*epoch*/, std::array<double, 3>& position,
                  OrbitMiss& miss) const override {
        const int column = columnOf(sat);
        int error = 0;
        if (column == 0) return missed(OrbitMiss::notCarried, miss);
        double x = 0.0, y = 0.0, z = 0.0;
        if (!oterpPosition(column, t, table_, x, y, z, error)) return missed(static_cast<OrbitMiss>(error), miss);
        position = {x, y, z};
        return true;
    }

    bool positions(SatId a, double tA, SatId b, double tB, double epoch, std::array<double, 3>& positionA,
                   std::array<double, 3>& positionB, OrbitMiss& miss) const override {
        const int columnA = columnOf(a);
        const int columnB = columnOf(b);
        if (columnA == 0 || columnB == 0) {
            return OrbitSource::positions(a, tA, b, tB, epoch, positionA, positionB, miss);
        }
        int error = 0;
        if (!oterpPositions(columnA, tA, columnB, tB, table_, positionA, positionB, error)) {
            return missed(static_cast<OrbitMiss>(error), miss);
        }
        return true;
    }

    std::vector<SatId> satellites() const override {
        std::vector<SatId> sorted = columns_;
        std::sort(sorted.begin(), sorted.end());
        return sorted;
    }
    double firstTime() const override { return table_.firstTime; }
    double lastTime() const override { return table_.lastTime; }

private:
    int columnOf(SatId sat) const {
        const int key = sat.key();
        return key >= 0 && key < kSatKeyCount ? columnOf_[static_cast<std::size_t>(key)] : 0;
    }
    static bool missed(OrbitMiss why, OrbitMiss& miss) {
        miss = why;
        return false;
    }

    OrbitTable table_;
    std::vector<SatId> columns_;
    std::array<int, kSatKeyCount> columnOf_{};
};

}  // namespace

bool OrbitSource::position(SatId sat, double t, double epoch, std::array<double, 3>& position,
                           OrbitMiss& miss) const {
    SatelliteState s;
    if (!state(sat, t, epoch, s, miss)) return false;
    position = s.position;
    return true;
}

bool OrbitSource::positions(SatId a, double tA, SatId b, double tB, double epoch, std::array<double, 3>& positionA,
                            std::array<double, 3>& positionB, OrbitMiss& miss) const {
    return position(a, tA, epoch, positionA, miss) && position(b, tB, epoch, positionB, miss);
}

std::unique_ptr<OrbitSource> loadSp3Orbit(const std::vector<TextFile*>& files, int jd0,
                                          const std::vector<SatId>& wanted, bool letteredNames, int epochs,
                                          double start, double stop) {
    OrbitTable table;
    std::vector<SatId> columns = wanted;
    lodorb(files, jd0, table, columns, letteredNames, epochs, start, stop);
    return std::make_unique<TabulatedOrbit>(std::move(table), std::move(columns));
}

std::unique_ptr<OrbitSource> tabulatedOrbit(const std::vector<SatId>& sats, double firstTime, double interval,
                                            int epochs, const std::vector<SatelliteState>& states) {
    OrbitTable table;
    const int columns = static_cast<int>(sats.size());
    table.layOut(epochs, columns);
    for (int k = 1; k <= epochs; ++k) {
        table.at(table.timeBase + k - 1) = firstTime + static_cast<double>(k - 1) * interval;
        for (int c = 1; c <= columns; ++c) {
            const SatelliteState& s = states.at(static_cast<std::size_t>((k - 1) * columns + (c - 1)));
            lodor2(table, k, c, s.position[0], s.position[1], s.position[2], s.clock);
        }
    }
    table.firstTime = firstTime;
    table.lastTime = firstTime + static_cast<double>(epochs - 1) * interval;
    table.interval = interval;
    table.lastWindowStart = epochs - 8;
    table.lastWindowTime = firstTime + static_cast<double>(epochs - 9) * interval;
    itrini(table);
    return std::make_unique<TabulatedOrbit>(std::move(table), sats);
}

}  // namespace varno
